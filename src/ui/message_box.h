// The program's three message boxes, owned by the calling dialog. Each takes a
// text or a string-table id; captions come from the string table too.
#pragma once
#include <string>

#include "platform/user_interface.h"

// Caption 101 "Error !", error icon, OK.
void ShowError(CDialogControls& owner, const std::string& text);
void ShowError(CDialogControls& owner, unsigned stringId);
// Caption 102 "Warning !", warning icon, OK.
void ShowWarning(CDialogControls& owner, const std::string& text);
void ShowWarning(CDialogControls& owner, unsigned stringId);
// Caption 103 "Question ?", question icon, Yes/No: BoxResult::Yes or BoxResult::No.
BoxResult AskQuestion(CDialogControls& owner, const std::string& text);
BoxResult AskQuestion(CDialogControls& owner, unsigned stringId);

// printf-style formatting into a string (texts such as "Invalid %s-PID %u > %u !").
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
