// What the Windows window services leave to the program's own painting: the
// decorations of a freshly created dialog and the owner-drawn items of its controls.
#pragma once
#include <windows.h>

class CWin32WindowPainter {
 public:
  virtual ~CWin32WindowPainter() = default;
  // Right after the dialog of this template exists, before the program fills it.
  virtual void Decorate(int templateId, HWND dialog) = 0;
  // WM_DRAWITEM of one of the dialog's controls: true when drawn.
  virtual bool DrawItem(const DRAWITEMSTRUCT& item) = 0;
};

// Installs the painter every dialog created from now on uses (null: none).
void SetWin32WindowPainter(CWin32WindowPainter* painter);

// Where dialog templates, menus and the language's pictures come from: the loaded
// language module, else the program itself.
HINSTANCE Win32ResourceModule();
