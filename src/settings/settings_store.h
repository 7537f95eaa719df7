// The one persistent store of the program's settings: sections ("Common" and one
// per profile) of named 32-bit integers and texts, kept either under a per-user
// registry key or in an ini file beside the executable.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/win_types.h"

class CRegistry;
class CProfileFile;

constexpr char kCompanyName[] = "Tarnwick";
constexpr char kApplicationBaseName[] = "Grayheron";
constexpr char kCommonSection[] = "Common";
constexpr DWORD kIniTextBufferSize = 4096;
constexpr DWORD kSectionNamesBufferSize = 65536;
constexpr DWORD kSectionNameMaxChars = 99;

// The unsigned decimal number at the start of the command line; 0 when absent or unreadable.
unsigned ParseInstanceNumber(const char* commandLine);
// "Grayheron", followed directly by the instance number when it is greater than 0.
std::string MakeApplicationName(unsigned instance, const char* baseName = kApplicationBaseName);
// The executable's directory (up to and including its last path separator),
// the application name and ".ini".
std::string MakeIniPath(const std::string& modulePath, const std::string& applicationName);

class SettingsStore {
 public:
  enum class Backend { Registry, Ini };

  virtual ~SettingsStore() = default;

  virtual Backend GetBackend() const = 0;
  // Registry: "Software\Tarnwick\<application name>"; ini: the file's path.
  virtual std::string Location() const = 0;

  // The stored integer, or the default when the value (or its section) is absent.
  virtual int ReadInt(const char* section, const char* name, int defaultValue) = 0;
  virtual bool WriteInt(const char* section, const char* name, int value) = 0;
  // The stored text, or the default.
  virtual std::string ReadText(const char* section, const char* name, const char* defaultText) = 0;
  // text == nullptr deletes the value.
  virtual bool WriteText(const char* section, const char* name, const char* text) = 0;
  // Removes the section with every value (and, in the registry, every sub-key) in it.
  virtual bool RemoveSection(const char* section) = 0;
  // Writes every value of section `from` into section `to` as it is stored (a rename keeps
  // what no page writes back); false when a value could not be carried.
  virtual bool CopySection(const char* from, const char* to) = 0;
  // Registry: sub-keys of the application key in enumeration order; ini: the file's sections.
  virtual std::vector<std::string> ListSections() = 0;
  // Whether this back end can keep a section of that name (a profile name).
  virtual bool CanHoldSection(const std::string& section) const = 0;
  // Whether two names address one section, as this back end compares them (registry
  // keys and ini sections ignore case, ini sections also blanks around the name).
  virtual bool SameSection(const std::string& a, const std::string& b) const = 0;
  // Whether a section name addresses "Common", the program-wide section.
  bool IsCommonSection(const std::string& section) const { return SameSection(section, kCommonSection); }

  // Registry back end under HKEY_CURRENT_USER\Software\Tarnwick\<applicationName>,
  // through `registry` (the platform's Registry() when null; must outlive the store).
  static std::unique_ptr<SettingsStore> CreateRegistryStore(const std::string& applicationName,
                                                            CRegistry* registry = nullptr);
  // Ini back end on the file `iniPath`, through `file` (the platform's ProfileFile() when null).
  static std::unique_ptr<SettingsStore> CreateIniStore(const std::string& iniPath,
                                                       CProfileFile* file = nullptr);
  // The start-up choice: the ini back end when <module dir><applicationName>.ini can be
  // opened for reading (an empty file will do), else the registry back end.
  static std::unique_ptr<SettingsStore> Choose(const std::string& modulePath,
                                               const std::string& applicationName,
                                               CRegistry* registry = nullptr,
                                               CProfileFile* file = nullptr);
};

// The program-wide store. Until start-up installs the chosen one it is a private
// in-memory registry store, so nothing touches real settings by accident.
SettingsStore& TheSettingsStore();
// Installs the program-wide store (start-up, tests); nullptr restores the in-memory
// default. Returns the previous store (ownership stays with the caller).
SettingsStore* SetTheSettingsStore(SettingsStore* store);
