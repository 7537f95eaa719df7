// The program's texts are UTF-8; the Windows backends call the wide ("W") functions
// and convert at that boundary, so no text depends on the system's ANSI code page.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// Invalid UTF-8 bytes become U+FFFD; nothing is dropped silently.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// A zero-terminated wide text (null: empty), as the system's records and COM hand them out.
std::string WideToUtf8(const wchar_t* text);
// Texts the system gives only in the ANSI code page (the IP helper's adapter records).
std::string AnsiToUtf8(std::string_view text);

// Copies into a zero-terminated wide field of `fieldChars` characters (the system's
// fixed-size records: pin and filter names, the tray tip). A longer text is cut,
// never between the two halves of a surrogate pair; the rest of the field is zero.
// The characters copied, without the terminator.
size_t CopyWideBounded(wchar_t* field, size_t fieldChars, std::string_view text);

// Whether two names are one to the system's registry and ini files, which fold the case
// of every letter (ordinal, as the registry compares key names).
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Wide text for a call that takes null for "none" (a value or key name left out).
class CWideArg {
 public:
  explicit CWideArg(const char* text) : m_null(text == nullptr), m_text(text ? Utf8ToWide(text) : std::wstring()) {}
  const wchar_t* Get() const { return m_null ? nullptr : m_text.c_str(); }

 private:
  bool m_null;
  std::wstring m_text;
};
