#include "ui/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "ui/string_table.h"

void ShowError(CDialogControls& owner, const std::string& text) {
  owner.ShowMessageBox(text, LoadResString(IDS_ERROR_CAPTION), BoxIcon::Error, BoxButtons::Ok);
}

void ShowError(CDialogControls& owner, unsigned stringId) { ShowError(owner, LoadResString(stringId)); }

void ShowWarning(CDialogControls& owner, const std::string& text) {
  owner.ShowMessageBox(text, LoadResString(IDS_WARNING_CAPTION), BoxIcon::Warning, BoxButtons::Ok);
}

void ShowWarning(CDialogControls& owner, unsigned stringId) { ShowWarning(owner, LoadResString(stringId)); }

BoxResult AskQuestion(CDialogControls& owner, const std::string& text) {
  BoxResult r = owner.ShowMessageBox(text, LoadResString(IDS_QUESTION_CAPTION), BoxIcon::Question,
                                     BoxButtons::YesNo);
  // Anything but an explicit Yes counts as No.
  return r == BoxResult::Yes ? BoxResult::Yes : BoxResult::No;
}

BoxResult AskQuestion(CDialogControls& owner, unsigned stringId) {
  return AskQuestion(owner, LoadResString(stringId));
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    out.assign(buffer.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}
