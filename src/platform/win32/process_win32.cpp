// Windows process services: the real calls, with UTF-8 texts at the boundary.
#include "platform/process.h"

#include <winsock2.h>
#include <commctrl.h>
#include <objbase.h>

#include <cwchar>
#include <mutex>
#include <vector>

#include "platform/win32/wide_text.h"

namespace {

class CWin32LanguageModule final : public CLanguageModule {
 public:
  explicit CWin32LanguageModule(HMODULE module) : m_module(module) {}
  ~CWin32LanguageModule() override { ::FreeLibrary(m_module); }
  CWin32LanguageModule(const CWin32LanguageModule&) = delete;
  CWin32LanguageModule& operator=(const CWin32LanguageModule&) = delete;

  bool LoadString(unsigned id, std::string& text) override {
    const wchar_t* resource = nullptr;
    // A zero length hands out a pointer into the resource itself (not terminated).
    int n = ::LoadStringW(m_module, id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (n <= 0 || !resource) return false;
    text = WideToUtf8(std::wstring(resource, size_t(n)));
    return true;
  }

  bool LoadMenuItemText(unsigned menuId, unsigned itemId, std::string& text) override {
    HMENU menu = ::LoadMenuW(m_module, MAKEINTRESOURCEW(menuId));
    if (!menu) return false;
    bool found = FindItem(menu, itemId, text, 0);
    ::DestroyMenu(menu);
    return found;
  }

  void* NativeHandle() override { return m_module; }

 private:
  static bool FindItem(HMENU menu, unsigned itemId, std::string& text, int depth) {
    if (depth > 8) return false;
    int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      if (HMENU sub = ::GetSubMenu(menu, i)) {
        if (FindItem(sub, itemId, text, depth + 1)) return true;
      } else if (::GetMenuItemID(menu, i) == itemId) {
        wchar_t buffer[256] = {};
        int n = ::GetMenuStringW(menu, UINT(i), buffer, 256, MF_BYPOSITION);
        if (n < 0) return false;
        text = WideToUtf8(std::wstring(buffer, size_t(n)));
        return true;
      }
    }
    return false;
  }

  HMODULE m_module;
};

// EnumSystemLocalesW hands no context to its callback.
thread_local std::vector<DWORD>* t_localeIds = nullptr;

BOOL CALLBACK CollectLocale(LPWSTR text) {
  wchar_t* end = nullptr;
  unsigned long id = std::wcstoul(text, &end, 16);
  if (t_localeIds && end != text && id != 0) t_localeIds->push_back(DWORD(id));
  return TRUE;
}

std::string LocaleText(DWORD id, LCTYPE type, size_t maxChars) {
  wchar_t buffer[128] = {};
  int n = ::GetLocaleInfoW(id, type, buffer, 128);
  if (n <= 1) return {};
  std::wstring text(buffer, size_t(n - 1));
  if (text.size() > maxChars) text.resize(maxChars);
  return WideToUtf8(text);
}

class CWin32ProcessServices final : public CProcessServices {
 public:
  MUTEX_RESULT CreateInstanceMutex(const std::string& name) override {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.empty() ? nullptr : Utf8ToWide(name).c_str());
    if (!mutex) return MUTEX_RESULT::Failed;
    bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    // Kept open until the process ends, whichever answer it gave.
    std::lock_guard<std::mutex> g(m_lock);
    m_mutexes.push_back(mutex);
    return existed ? MUTEX_RESULT::AlreadyExists : MUTEX_RESULT::Created;
  }

  HRESULT InitializeCom() override { return ::CoInitialize(nullptr); }
  void UninitializeCom() override { ::CoUninitialize(); }

  bool StartupSockets(WORD version) override {
    WSADATA data{};
    if (::WSAStartup(version, &data) != 0) return false;
    if (data.wVersion != version) {
      ::WSACleanup();
      return false;
    }
    return true;
  }
  void CleanupSockets() override { ::WSACleanup(); }

  void InitCommonControls() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
  }

  bool SetPriorityClass(int priority) override {
    DWORD cls = priority == kPriorityNormal     ? NORMAL_PRIORITY_CLASS
                : priority == kPriorityRealtime ? REALTIME_PRIORITY_CLASS
                                                : HIGH_PRIORITY_CLASS;
    return ::SetPriorityClass(::GetCurrentProcess(), cls) != FALSE;
  }

  bool SetAffinityMask(uintptr_t mask) override {
    return ::SetProcessAffinityMask(::GetCurrentProcess(), DWORD_PTR(mask)) != FALSE;
  }

  bool GetSystemAffinityMask(uintptr_t* mask) override {
    if (!mask) return false;
    DWORD_PTR process = 0, system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return false;
    *mask = uintptr_t(system);
    return true;
  }

  std::vector<LOCALE_RECORD> EnumerateLocales() override {
    std::vector<DWORD> ids;
    t_localeIds = &ids;
    ::EnumSystemLocalesW(CollectLocale, LCID_SUPPORTED);
    t_localeIds = nullptr;
    std::vector<LOCALE_RECORD> locales;
    locales.reserve(ids.size());
    for (DWORD id : ids)
      locales.push_back(LOCALE_RECORD{id, LocaleText(id, LOCALE_SABBREVLANGNAME, 3),
                                      LocaleText(id, LOCALE_SENGLANGUAGE, 80)});
    return locales;
  }

  std::string LocaleEnglishLanguageName(DWORD id) override { return LocaleText(id, LOCALE_SENGLANGUAGE, 80); }

  bool FileExists(const std::string& path) override {
    DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::unique_ptr<CLanguageModule> LoadLanguageModule(const std::string& path) override {
    // As an image resource: nothing of the module runs, a damaged file is refused.
    HMODULE module = ::LoadLibraryExW(Utf8ToWide(path).c_str(), nullptr,
                                      LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return nullptr;
    // A module without a string table is no language module.
    if (!::FindResourceW(module, MAKEINTRESOURCEW(1 + 100 / 16), MAKEINTRESOURCEW(6) /* RT_STRING */)) {
      ::FreeLibrary(module);
      return nullptr;
    }
    return std::make_unique<CWin32LanguageModule>(module);
  }

 private:
  std::mutex m_lock;
  std::vector<HANDLE> m_mutexes;
};

}  // namespace

CProcessServices& OsProcessServices() {
  static CWin32ProcessServices services;
  return services;
}
