#include "platform/win32/wide_text.h"

#include <climits>
#include <cwchar>

namespace {
// The conversion calls take int lengths; longer texts are not texts this program has.
int ClampLength(size_t length) { return length > size_t(INT_MAX) ? INT_MAX : static_cast<int>(length); }

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = ClampLength(text.size());
  int n = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  n = ::MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), n);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}
}  // namespace

std::wstring Utf8ToWide(std::string_view text) { return ToWide(CP_UTF8, text); }

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = ClampLength(text.size());
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), n, nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string WideToUtf8(const wchar_t* text) {
  return text ? WideToUtf8(std::wstring_view(text, std::wcslen(text))) : std::string();
}

size_t CopyWideBounded(wchar_t* field, size_t fieldChars, std::string_view text) {
  if (!field || fieldChars == 0) return 0;
  const std::wstring wide = Utf8ToWide(text.substr(0, text.find('\0')));
  size_t n = wide.size() < fieldChars - 1 ? wide.size() : fieldChars - 1;
  // A high surrogate whose partner did not fit is left out with it.
  if (n < wide.size() && n > 0 && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;
  std::wmemcpy(field, wide.data(), n);
  std::wmemset(field + n, L'\0', fieldChars - n);
  return n;
}

std::string AnsiToUtf8(std::string_view text) { return WideToUtf8(ToWide(CP_ACP, text)); }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  const std::wstring wa = Utf8ToWide(a), wb = Utf8ToWide(b);
  return ::CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()),
                                TRUE) == CSTR_EQUAL;
}
