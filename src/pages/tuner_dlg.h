// The "Status/Tuner" page: the tuning values of the current profile, their
// validation and the tuning flow for every delivery type (with the satellite
// switching of the DiSEqC/LNB page), frequency stepping, and the signal shown
// once per timer tick with the retune after a lost lock.
#pragma once
#include <cstdint>
#include <string>

#include "bda/bda_types.h"
#include "pages/tuner_pages.h"
#include "pages/tuning_rules.h"

class CLnbDlg;

// The stored tuning values of one profile, with their defaults and load ranges.
struct TUNER_PROFILE_VALUES {
  std::string freqText = "11263";
  std::string symrateText = "33000";
  int pol = 0;
  int fec = 0;
  int qam = 2;
  int specInv = -1;  // 0 normal, 1 inverted, -1 automatic
  int mis = 1;
  int plsMode = 1;
  int plsCode = 0;
  int modcode = 0;
  int snrLim10 = 90;
  int bandWidth = 1;
  int antPwr = 0;
  int dvbsMode = 1;
  LnbSettings lnb;
};
TUNER_PROFILE_VALUES ReadTunerProfileValues(SettingsStore& store, const std::string& section);
// Writes every value in the page's order; `satellite` chooses "FEC" over "QAM".
void WriteTunerProfileValues(SettingsStore& store, const std::string& section, const TUNER_PROFILE_VALUES& values,
                             bool satellite);

class CTunerDlg final : public CTunerPage {
 public:
  CTunerDlg(CDialogControls& dialog, CBdaGraph& graph, CLnbPage* lnbPage, CMonitorSettings* setupPage,
            CDialogControls& mainDialog, unsigned instance, SettingsStore* store);

  void OnInitDialog() override;
  bool OnCommand(int id, int notification) override;
  void ShowMembers() override;
  void LoadProfile(const std::string& name, const std::string& source) override;
  void ApplySettings() override;
  bool PeriodicUpdate() override;
  SIGNAL_STATE Signal() const override { return m_signal; }
  uint64_t RetuneCount() const override { return m_retunes; }
  int HandleTunerCommand(unsigned command, uint32_t value) override;

  // The up-down beside the frequency: delta as the notification gives it.
  void OnFrequencySpin(int delta) override;
  void TakeControlValues();
  // Loads a profile's values into the members (clamped to their ranges).
  void LoadSettings(const std::string& section);
  void SaveSettings();

  const TUNER_PROFILE_VALUES& Values() const { return m_values; }
  const PARAM_TUNE& TuneRecord() const { return m_tune; }
  const std::string& StatusText() const { return m_statusText; }
  bool ApskEnabled() const { return m_apsk; }
  bool StatisticLogOn() const { return m_logStat; }
  const std::string& StatisticFile() const { return m_statFile; }

 private:
  LONG DeliveryType() const;
  DWORD Caps() const;
  void SetUpControls();
  void EnableS2Controls();
  void SelectSymbolRateText();
  // Validates and tunes; false when the input was refused.
  bool ApplySatellite(int64_t symbolRate);
  bool ApplyCable(int64_t symbolRate);
  bool ApplyTerrestrial();
  bool CheckChannelFrequency(int64_t* frequency);
  void SendDiseqcMessage(BYTE message[4], const LnbSettings& lnb);
  void SendStreamSettings();
  void Tune();
  void ReadSignal(DWORD now);
  // Enables or disables the APSK modcodes by the measured SNR.
  void SwitchApsk(double snr);
  void PlaySignalSounds();
  void SayValue(int value, bool eachDigit);
  void Retune(DWORD now);
  SettingsStore& Store() const;
  void LoadStatisticLogSetting();
  void OnLogStatistic();
  void WriteStatisticLine();
  int ReadRangedInt(int id, int low, int high, int current);
  int InversionField() const;

  CDialogControls& m_dialog;
  CBdaGraph& m_graph;
  CLnbPage* m_lnbPage;
  CMonitorSettings* m_setup;
  CDialogControls& m_mainDialog;
  SettingsStore* m_store;
  [[maybe_unused]] unsigned m_instance;

  std::string m_profile;
  TUNER_PROFILE_VALUES m_values;
  PARAM_TUNE m_tune;
  DWORD m_lastTune = 0;  // ticks; 0 = no tune yet
  uint64_t m_retunes = 0;
  DWORD m_lastRead = 0;  // ticks; 0 = read at the next tick
  bool m_apsk = false;
  SIGNAL_STATE m_signal;
  std::string m_statusText;
  std::unique_ptr<CStatusPublisher> m_publisher;
  bool m_previousLock = false;  // at the last sound tick
  uint8_t m_soundTick = 0;       // sounds go out every second tick
  bool m_logStat = false;
  std::string m_statFile;
};
