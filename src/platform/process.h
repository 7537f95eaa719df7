// Process-level services of start-up and the Setup page: the single-instance
// mutex, COM and Windows Sockets start-up, priority class and affinity, the
// common controls, and the locales and language modules of the interface.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_types.h"

// Values of the "Priority" setting.
constexpr int kPriorityNormal = 0;
constexpr int kPriorityHigh = 1;
constexpr int kPriorityRealtime = 2;

enum class MUTEX_RESULT { Created, AlreadyExists, Failed };

// One locale as the system enumerates it.
struct LOCALE_RECORD {
  DWORD id;                 // LCID
  std::string abbreviated;  // LOCALE_SABBREVLANGNAME, e.g. "DEU"
  std::string englishName;  // LOCALE_SENGLANGUAGE, e.g. "German"
};

// A loaded language module: its string table (dialogs, menus and icons come
// with it on Windows, where `NativeHandle` is the HMODULE).
class CLanguageModule {
 public:
  virtual ~CLanguageModule() = default;
  // false when the module has no text for the id.
  virtual bool LoadString(unsigned id, std::string& text) = 0;
  // The text of one item of a menu (the tray menu 200); false when the module has none.
  virtual bool LoadMenuItemText(unsigned menuId, unsigned itemId, std::string& text) {
    (void)menuId, (void)itemId, (void)text;
    return false;
  }
  virtual void* NativeHandle() { return nullptr; }
};

class CProcessServices {
 public:
  virtual ~CProcessServices() = default;

  // Creates the named mutex without initial ownership and keeps it open until
  // the process ends. AlreadyExists when another process (or an earlier call) holds it.
  virtual MUTEX_RESULT CreateInstanceMutex(const std::string& name) = 0;

  // COM for the calling thread as a single-threaded apartment.
  virtual HRESULT InitializeCom() = 0;
  virtual void UninitializeCom() = 0;
  // Windows Sockets with this version requested and required (0x0101 for 1.1).
  virtual bool StartupSockets(WORD version) = 0;
  virtual void CleanupSockets() = 0;
  virtual void InitCommonControls() = 0;

  // Priority: kPriorityNormal, kPriorityRealtime, any other value high.
  virtual bool SetPriorityClass(int priority) = 0;
  virtual bool SetAffinityMask(uintptr_t mask) = 0;
  // The system's affinity mask (one bit per processor).
  virtual bool GetSystemAffinityMask(uintptr_t* mask) = 0;

  // The locales the system supports, in its enumeration order.
  virtual std::vector<LOCALE_RECORD> EnumerateLocales() = 0;
  // English name of a locale (id 9: the neutral English locale).
  virtual std::string LocaleEnglishLanguageName(DWORD id) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Loads a language module file; null when it is missing or damaged.
  virtual std::unique_ptr<CLanguageModule> LoadLanguageModule(const std::string& path) = 0;
};

// The process-wide services; the operating system's backend unless replaced.
CProcessServices& ProcessServices();
// Replaces the services (tests, emulation); nullptr restores the default. Returns the previous.
CProcessServices* SetProcessServices(CProcessServices* services);
CProcessServices& OsProcessServices();
