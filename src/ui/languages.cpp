#include "ui/languages.h"

#include "platform/process.h"
#include "platform/system.h"
#include "platform/text_util.h"
#include "platform/user_interface.h"
#include "settings/settings_store.h"
#include "ui/string_table.h"

namespace {

// Locale 9: the neutral English locale, whose name the built-in language shows.
constexpr unsigned kNeutralEnglishLocale = 9;

class CModuleStringSource final : public CStringSource {
 public:
  explicit CModuleStringSource(CLanguageModule& module) : m_module(module) {}
  bool Lookup(unsigned id, std::string& text) override { return m_module.LoadString(id, text); }

 private:
  CLanguageModule& m_module;
};

// A code becomes part of a file name: letters and digits only.
bool IsUsableCode(const std::string& code) {
  if (code.empty() || code.size() > 3) return false;
  for (char c : code)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

}  // namespace

CMultiLang::CMultiLang() { m_table.push_back({kBuiltInLanguageCode, "English"}); }

CMultiLang::~CMultiLang() { Unload(); }

void CMultiLang::Unload() {
  if (m_source) {
    // Only hand back the previous source if nobody replaced ours meanwhile.
    CStringSource* current = SetStringSource(m_previousSource);
    if (current != m_source.get()) SetStringSource(current);
  }
  m_source.reset();
  m_module.reset();
  m_previousSource = nullptr;
}

SettingsStore& CMultiLang::Store() const { return m_store ? *m_store : TheSettingsStore(); }

std::string CMultiLang::ModulePath(const std::string& code) const {
  // Joined, not formatted: a '%' in the directory must not act as a format.
  std::string path = m_directory + m_baseName + "." + code;
  // The buffer counts characters: a directory with accented letters takes no more room.
  if (Utf16Length(path) >= kLanguageModulePathBuffer) return {};
  return path;
}

void CMultiLang::SetUp(const std::string& baseName, const std::string& section, const std::string& valueName,
                       SettingsStore* store) {
  Unload();
  m_baseName = baseName;
  m_section = section;
  m_valueName = valueName;
  m_store = store;
  std::string modulePath = SystemServices().GetModulePath();
  size_t slash = modulePath.find_last_of("\\/");
  m_directory = slash == std::string::npos ? std::string() : modulePath.substr(0, slash + 1);

  CProcessServices& process = ProcessServices();
  m_table.clear();
  std::string english = process.LocaleEnglishLanguageName(kNeutralEnglishLocale);
  m_table.push_back({kBuiltInLanguageCode, english.empty() ? "English" : english});
  for (const LOCALE_RECORD& locale : process.EnumerateLocales()) {
    std::string code = locale.abbreviated.substr(0, 3);
    if (!IsUsableCode(code)) continue;
    bool known = false;
    for (const CMultiLangLang& l : m_table) known = known || l.code == code;
    if (known) continue;
    std::string path = ModulePath(code);
    if (!path.empty() && process.FileExists(path)) m_table.push_back({code, locale.englishName});
  }

  std::string choice = Store().ReadText(m_section.c_str(), m_valueName.c_str(), "");
  m_current = 0;
  if (!choice.empty())
    for (size_t i = 1; i < m_table.size(); ++i)
      if (m_table[i].code == choice) m_current = int(i);

  if (m_current == 0) return;
  const std::string path = ModulePath(m_table[size_t(m_current)].code);
  m_module = process.LoadLanguageModule(path);
  if (!m_module) {
    // The user sees the built-in texts without a word; whoever traces learns why.
    SystemServices().OutputDebugString(("Language module " + path + " refused, built-in texts used\n").c_str());
    return;
  }
  m_source = std::make_unique<CModuleStringSource>(*m_module);
  m_previousSource = SetStringSource(m_source.get());
}

void CMultiLang::FillList(CDialogControls& dialog, int listId) const {
  dialog.ResetContent(listId);
  for (size_t i = 0; i < m_table.size(); ++i) {
    int item = dialog.AddString(listId, m_table[i].name);
    if (item >= 0) dialog.SetItemData(listId, item, intptr_t(i));
  }
  int count = dialog.GetCount(listId);
  for (int item = 0; item < count; ++item)
    if (dialog.GetItemData(listId, item) == m_current) dialog.SetCurSel(listId, item);
}

bool CMultiLang::Choose(CDialogControls& dialog, int listId) {
  int item = dialog.GetCurSel(listId);
  if (item < 0) return false;
  intptr_t index = dialog.GetItemData(listId, item);
  if (index < 0 || size_t(index) >= m_table.size() || index == m_current) return false;
  m_current = int(index);
  Store().WriteText(m_section.c_str(), m_valueName.c_str(), m_table[size_t(index)].code.c_str());
  return true;
}

CMultiLang& TheLanguages() {
  static CMultiLang languages;
  return languages;
}
