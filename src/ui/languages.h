// Interface languages: the table of the languages whose module lies beside the
// executable, the choice stored in the settings, and the module of the chosen
// language as the source of the program's texts for the rest of the run.
#pragma once
#include <memory>
#include <string>
#include <vector>

class CDialogControls;
class CLanguageModule;
class CStringSource;
class SettingsStore;

// One language: the locale's abbreviated language name ("DEU") and its English name.
struct CMultiLangLang {
  std::string code;
  std::string name;
};

// Code of the built-in language, table entry 0.
constexpr char kBuiltInLanguageCode[] = "DEF";
// Buffer the module file name is formed in; a longer name counts as absent.
constexpr size_t kLanguageModulePathBuffer = 274;

class CMultiLang {
 public:
  CMultiLang();
  ~CMultiLang();
  CMultiLang(const CMultiLang&) = delete;
  CMultiLang& operator=(const CMultiLang&) = delete;

  // Builds the table from the system's locales and the module files beside the
  // executable, reads the stored choice and loads its module; a missing or damaged
  // module leaves the built-in texts, silently. store null: TheSettingsStore().
  void SetUp(const std::string& baseName, const std::string& section, const std::string& valueName,
             SettingsStore* store = nullptr);

  // The list holds the display names in table order, each with its table index as
  // item data; the current language is selected.
  void FillList(CDialogControls& dialog, int listId) const;
  // Fewer than two languages: the list is then disabled.
  bool FewLanguages() const { return m_table.size() < 2; }
  // Takes the list's selection; true when it changed the language (and stored it).
  bool Choose(CDialogControls& dialog, int listId);

  const std::vector<CMultiLangLang>& Table() const { return m_table; }
  int CurrentIndex() const { return m_current; }
  const std::string& CurrentCode() const { return m_table[size_t(m_current)].code; }
  // The loaded module (null: built-in texts); on Windows its NativeHandle is the
  // HMODULE that dialogs, the tray menu and icon 204 are taken from.
  CLanguageModule* Module() const { return m_module.get(); }
  // <executable's directory><base name>.<code>; empty when it does not fit the buffer.
  std::string ModulePath(const std::string& code) const;

 private:
  SettingsStore& Store() const;
  void Unload();

  std::string m_baseName;
  std::string m_section;
  std::string m_valueName;
  std::string m_directory;
  SettingsStore* m_store = nullptr;
  std::vector<CMultiLangLang> m_table;
  int m_current = 0;
  std::unique_ptr<CLanguageModule> m_module;
  std::unique_ptr<CStringSource> m_source;
  CStringSource* m_previousSource = nullptr;
};

// The program's languages.
CMultiLang& TheLanguages();
