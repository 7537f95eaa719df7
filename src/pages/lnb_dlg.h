// The "DiSEqC/LNB" page: the LNB oscillators and supply and the DiSEqC switching
// of the current profile. The Status/Tuner page owns the values and runs the
// switching; this page shows them, edits them and asks for an apply.
#pragma once
#include <cstdint>
#include <string>

#include "pages/tuner_pages.h"
#include "pages/tuning_rules.h"

class CLnbDlg final : public CLnbPage {
 public:
  CLnbDlg(CDialogControls& dialog, CBdaGraph& graph, unsigned instance);

  void OnInitDialog() override;
  bool OnCommand(int id, int notification) override;
  void ShowMembers() override;
  int HandleTunerCommand(unsigned command, uint32_t value) override;

  void TakeControlValues();
  // A profile's values: clamped, shown, and the enabling rules applied.
  void SetLnbSettings(const LnbSettings& settings);
  // The values as the controls hold them now.
  LnbSettings GetLnbSettings();
  // "Apply settings" was pressed since the last call; clears the request.
  bool TakeApplyRequest();
  bool ApplyRequested() const { return m_applyRequest; }

 private:
  void EnableByCapabilities();
  void EnableByCheckBoxes();
  void SetLofTexts(DWORD lof1, DWORD lof2, DWORD lofSwitch);

  CDialogControls& m_dialog;
  CBdaGraph& m_graph;
  LnbSettings m_settings;
  std::string m_lofText[3] = {"9750", "10600", "11700"};
  bool m_applyRequest = false;
};

// Switches the antenna or LNB supply off as the program ends.
void SwitchOffAntennaPower(CBdaGraph& graph);
