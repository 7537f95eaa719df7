// "Data Service": the name of a new or renamed profile, and for a new one the
// profile whose settings it starts with.
#pragma once
#include <string>
#include <vector>

#include "platform/window_services.h"

class SettingsStore;

class CProfilDlg final : public CWindowHandler {
 public:
  // In edit mode the window is cut above its "Take settings from:" row.
  static constexpr int kEditModeShrink = 50;

  CProfilDlg(const std::vector<std::string>& names, const std::string& presetName, bool editMode,
             SettingsStore* store = nullptr)
      : m_names(names), m_name(presetName), m_editMode(editMode), m_store(store) {}

  // IDOK or IDCANCEL (-1 when the dialog cannot be created).
  INT_PTR DoModal(CWindow* owner);

  const std::string& Name() const { return m_name; }
  const std::string& Source() const { return m_source; }

  bool OnInitDialog(CWindow& window) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  void OnOk();

  std::vector<std::string> m_names;
  std::string m_name;
  std::string m_source;
  std::string m_initialName;
  bool m_editMode;
  SettingsStore* m_store;
  CWindow* m_window = nullptr;
};
