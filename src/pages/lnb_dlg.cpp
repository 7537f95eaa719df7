#include "pages/lnb_dlg.h"

#include <algorithm>

#include "bda/bda_graph.h"
#include "pages/lnb_dlg_ids.h"
#include "ui/message_box.h"

namespace {

constexpr int kMaxRepeat = 2;
constexpr int kMaxPort = 15;
constexpr int kMaxSlot = 60;
constexpr int kMaxDelay = 300;
constexpr int kDelayStep = 50;
constexpr int kLofEdits[3] = {IDC_LNB_LOF1, IDC_LNB_LOF2, IDC_LNB_SWITCH};

struct PRESET {
  int button;
  const char* text[3];
};
constexpr PRESET kPresets[] = {{IDC_LNB_KU_LINEAR, {"9750", "10600", "11700"}},
                               {IDC_LNB_KU_CIRCULAR, {"10750", "0", "0"}},
                               {IDC_LNB_C_BAND, {"5150", "0", "0"}}};

// Each mode check box and the controls that follow it.
struct MODE_GROUP {
  int bit;
  int check;
  int members[6];
};
constexpr MODE_GROUP kGroups[] = {
    {kDiseqcToneBurst, IDC_LNB_SIMPLE, {IDC_LNB_TONEBURST_A, IDC_LNB_TONEBURST_B}},
    {kDiseqcCommitted, IDC_LNB_V10,
     {IDC_LNB_POSITION_LABEL, IDC_LNB_POSITION_A, IDC_LNB_POSITION_B, IDC_LNB_OPTION_LABEL, IDC_LNB_OPTION_A,
      IDC_LNB_OPTION_B}},
    {kDiseqcUncommitted, IDC_LNB_V11, {IDC_LNB_PORT_LABEL, IDC_LNB_PORT}},
    {kDiseqcPositioner, IDC_LNB_V12, {IDC_LNB_SLOT_LABEL, IDC_LNB_SLOT}},
};

int Clamp(int v, int low, int high) { return std::clamp(v, low, high); }

DWORD LofFromText(const std::string& text) {
  // Negative texts and values beyond 32 bits mean nothing to an LNB.
  int64_t v = ParseScaledDecimal(text, 1000);
  return DWORD(std::clamp<int64_t>(v, 0, 0xFFFFFFFFLL));
}

void CheckRadioPair(CDialogControls& d, int first, int second, int value) {
  d.CheckButton(first, value ? 0 : 1);
  d.CheckButton(second, value ? 1 : 0);
}

}  // namespace

CLnbDlg::CLnbDlg(CDialogControls& dialog, CBdaGraph& graph, unsigned)
    : m_dialog(dialog), m_graph(graph) {
  // A new page shows every list on its first entry.
  m_settings.repeat = 0;
  m_settings.delay = 0;
}

void CLnbDlg::OnInitDialog() {
  m_dialog.ResetContent(IDC_LNB_PORT);
  for (int i = 0; i <= kMaxPort; ++i) m_dialog.AddString(IDC_LNB_PORT, std::to_string(i));
  m_dialog.ResetContent(IDC_LNB_SLOT);
  for (int i = 0; i <= kMaxSlot; ++i) m_dialog.AddString(IDC_LNB_SLOT, std::to_string(i));
  m_dialog.ResetContent(IDC_LNB_REPEAT);
  for (int i = 0; i <= kMaxRepeat; ++i) m_dialog.AddString(IDC_LNB_REPEAT, std::to_string(i));
  m_dialog.ResetContent(IDC_LNB_DELAY);
  for (int i = 0; i <= kMaxDelay; i += kDelayStep) m_dialog.AddString(IDC_LNB_DELAY, std::to_string(i));
  ShowMembers();
  EnableByCapabilities();
  EnableByCheckBoxes();
}

void CLnbDlg::EnableByCapabilities() {
  const DWORD caps = DWORD(m_graph.GetCaps());
  const bool diseqc = (caps & CAP_DISEQC) != 0;
  const bool committed = (caps & (CAP_DISEQC | CAP_DISEQC_POSITION)) != 0;
  const bool burst = (caps & CAP_TONEBURST) != 0;
  const bool enable[] = {burst, committed, diseqc, diseqc};
  for (size_t g = 0; g < std::size(kGroups); ++g) {
    m_dialog.EnableItem(kGroups[g].check, enable[g]);
    for (int id : kGroups[g].members)
      if (id) m_dialog.EnableItem(id, enable[g]);
  }
}

void CLnbDlg::EnableByCheckBoxes() {
  // A group the device cannot serve stays disabled whatever its box says.
  for (const MODE_GROUP& g : kGroups) {
    if (!m_dialog.IsItemEnabled(g.check)) continue;
    bool on = m_dialog.IsButtonChecked(g.check) != 0;
    for (int id : g.members)
      if (id) m_dialog.EnableItem(id, on);
  }
}

void CLnbDlg::TakeControlValues() {
  int mode = 0;
  for (const MODE_GROUP& g : kGroups)
    if (m_dialog.IsButtonChecked(g.check)) mode |= g.bit;
  m_settings.mode = mode;
  m_settings.toneBurst = m_dialog.IsButtonChecked(IDC_LNB_TONEBURST_B) ? 1 : 0;
  m_settings.position = m_dialog.IsButtonChecked(IDC_LNB_POSITION_B) ? 1 : 0;
  m_settings.option = m_dialog.IsButtonChecked(IDC_LNB_OPTION_B) ? 1 : 0;
  m_settings.port = Clamp(m_dialog.GetCurSel(IDC_LNB_PORT), 0, kMaxPort);
  m_settings.slot = Clamp(m_dialog.GetCurSel(IDC_LNB_SLOT), 0, kMaxSlot);
  m_settings.repeat = Clamp(m_dialog.GetCurSel(IDC_LNB_REPEAT), 0, kMaxRepeat);
  m_settings.delay = Clamp(m_dialog.GetCurSel(IDC_LNB_DELAY), 0, kMaxDelay / kDelayStep) * kDelayStep;
  for (int k = 0; k < 3; ++k) m_lofText[k] = m_dialog.GetItemText(kLofEdits[k]);
  m_settings.lof1 = LofFromText(m_lofText[0]);
  m_settings.lof2 = LofFromText(m_lofText[1]);
  m_settings.lofSwitch = LofFromText(m_lofText[2]);
  m_settings.lnbPower = m_dialog.IsButtonChecked(IDC_LNB_POWER) ? 1 : 0;
}

void CLnbDlg::ShowMembers() {
  for (const MODE_GROUP& g : kGroups) m_dialog.CheckButton(g.check, (m_settings.mode & g.bit) ? 1 : 0);
  CheckRadioPair(m_dialog, IDC_LNB_TONEBURST_A, IDC_LNB_TONEBURST_B, m_settings.toneBurst);
  CheckRadioPair(m_dialog, IDC_LNB_POSITION_A, IDC_LNB_POSITION_B, m_settings.position);
  CheckRadioPair(m_dialog, IDC_LNB_OPTION_A, IDC_LNB_OPTION_B, m_settings.option);
  m_dialog.SetCurSel(IDC_LNB_PORT, m_settings.port);
  m_dialog.SetCurSel(IDC_LNB_SLOT, m_settings.slot);
  m_dialog.SetCurSel(IDC_LNB_REPEAT, m_settings.repeat);
  m_dialog.SetCurSel(IDC_LNB_DELAY, m_settings.delay / kDelayStep);
  for (int k = 0; k < 3; ++k) m_dialog.SetItemText(kLofEdits[k], m_lofText[k]);
  m_dialog.CheckButton(IDC_LNB_POWER, m_settings.lnbPower ? 1 : 0);
}

void CLnbDlg::SetLofTexts(DWORD lof1, DWORD lof2, DWORD lofSwitch) {
  const DWORD v[3] = {lof1, lof2, lofSwitch};
  for (int k = 0; k < 3; ++k) m_lofText[k] = FormatText("%.3f", double(v[k]) / 1000.0);
}

void CLnbDlg::SetLnbSettings(const LnbSettings& s) {
  m_settings = s;
  m_settings.mode = s.mode & (kDiseqcToneBurst | kDiseqcCommitted | kDiseqcUncommitted | kDiseqcPositioner);
  m_settings.repeat = Clamp(s.repeat, 0, kMaxRepeat);
  m_settings.port = Clamp(s.port, 0, kMaxPort);
  m_settings.slot = Clamp(s.slot, 0, kMaxSlot);
  // The list offers 0..300 in steps of 50: a stored value between steps shows the one below.
  m_settings.delay = Clamp(std::min(s.delay, kMaxDelay) / kDelayStep, 0, kMaxDelay / kDelayStep) * kDelayStep;
  m_settings.toneBurst = s.toneBurst ? 1 : 0;
  m_settings.position = s.position ? 1 : 0;
  m_settings.option = s.option ? 1 : 0;
  m_settings.lnbPower = s.lnbPower ? 1 : 0;
  SetLofTexts(s.lof1, s.lof2, s.lofSwitch);
  ShowMembers();
  EnableByCheckBoxes();
}

LnbSettings CLnbDlg::GetLnbSettings() {
  TakeControlValues();
  return m_settings;
}

bool CLnbDlg::TakeApplyRequest() {
  bool requested = m_applyRequest;
  m_applyRequest = false;
  return requested;
}

bool CLnbDlg::OnCommand(int id, int notification) {
  if (notification != 0) return false;
  for (const MODE_GROUP& g : kGroups) {
    if (id == g.check) {
      EnableByCheckBoxes();
      return true;
    }
  }
  for (const PRESET& p : kPresets) {
    if (id == p.button) {
      TakeControlValues();
      for (int k = 0; k < 3; ++k) m_lofText[k] = p.text[k];
      ShowMembers();
      EnableByCheckBoxes();
      return true;
    }
  }
  if (id == IDC_LNB_APPLY) {
    m_applyRequest = true;
    return true;
  }
  return false;
}

int CLnbDlg::HandleTunerCommand(unsigned command, uint32_t value) {
  if (command < 8 || command > 15) return 0;
  TakeControlValues();
  LnbSettings& s = m_settings;
  switch (command) {
    case 8: s.lnbPower = value ? 1 : 0; break;
    case 9: s.lof1 = value; break;
    case 10: s.lof2 = value; break;
    case 11: s.lofSwitch = value; break;
    case 12:
      if (value <= 1) {
        s.mode |= kDiseqcToneBurst;
        s.toneBurst = int(value);
      } else {
        s.mode &= ~kDiseqcToneBurst;
      }
      break;
    case 13:
      if (value <= 3) {
        s.mode |= kDiseqcCommitted;
        s.option = (value >> 1) & 1;
        s.position = value & 1;
      } else {
        s.mode &= ~kDiseqcCommitted;
      }
      break;
    case 14:
      if (value <= 15) {
        s.mode |= kDiseqcUncommitted;
        s.port = int(value);
      } else {
        s.mode &= ~kDiseqcUncommitted;
      }
      break;
    case 15:
      if (value <= 60) {
        s.mode |= kDiseqcPositioner;
        s.slot = int(value);
      } else {
        s.mode &= ~kDiseqcPositioner;
      }
      break;
  }
  if (command >= 9 && command <= 11) SetLofTexts(s.lof1, s.lof2, s.lofSwitch);
  ShowMembers();
  EnableByCheckBoxes();
  return 1;
}

void SwitchOffAntennaPower(CBdaGraph& graph) {
  const bool lnbPower = (DWORD(graph.GetCaps()) & CAP_LNB_POWER) != 0;
  if (graph.NetworkType() == NET_SATELLITE) {
    if (lnbPower) {
      graph.SetLnbPower(0);
    } else {
      // Without a power switch, polarisation "not defined" drops the LNB supply.
      PARAM_TUNE tune = graph.CurrentTuning();
      tune.field[kTuneSatPolarisation] = 0;
      graph.ChangeParameters(tune);
    }
  } else if (graph.NetworkType() == NET_TERRESTRIAL && lnbPower) {
    graph.SetLnbPower(0);
  }
}
