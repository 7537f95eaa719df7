// The splash dialog shown while the main dialog opens the device: a picture
// above one line of text that start-up rewrites as it goes.
#pragma once
#include <memory>

#include "platform/window_services.h"

class CSplashDlg final : public CWindowHandler {
 public:
  CSplashDlg() = default;
  ~CSplashDlg() override;
  // Creates and shows the modeless window; false when it cannot be created.
  bool Create();
  // Shows the string with this id at once (start-up blocks the message loop meanwhile).
  void SetSplashText(unsigned stringId);
  CWindow* Window() { return m_window.get(); }

  bool OnInitDialog(CWindow& window) override;
  bool OnMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return false; }

 private:
  std::unique_ptr<CWindow> m_window;
};
