// The "MPE-Filter" page: the reception filters of the current profile, their
// apply (table, counters, adapter), and the per-filter traffic figures.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "datapath/filter_settings.h"
#include "datapath/filter_table.h"
#include "datapath/stream_counters.h"
#include "platform/user_interface.h"
#include "platform/win_types.h"

class SettingsStore;

// The device's own MAC address, when its driver offers one (an extension with
// CAP_MAC). The main dialog hands the page an object answering from the graph
// (CGraphMacSource, in app/).
class CHardwareMacSource {
 public:
  virtual ~CHardwareMacSource() = default;
  virtual bool GetHardwareMac(BYTE mac[6]) = 0;
};

// The virtual-adapter operations an apply runs; by default the program's adapter.
class CFilterAdapter {
 public:
  virtual ~CFilterAdapter() = default;
  virtual void Close(DWORD delay) = 0;
  // componentId: the adapter kind chosen on the Setup page; mayTakeOver is asked
  // before an adapter that another program seems to use is configured.
  virtual int Open(unsigned instance, const BYTE ip[4], int useDhcp, DWORD tapDelay, DWORD leaseTime,
                   const char* componentId, const AdapterTakeOverQuestion& mayTakeOver) = 0;
  virtual BOOL GetMac(BYTE mac[6]) = 0;
  virtual int WriteMac(const BYTE mac[6], const char* componentId) = 0;
};
CFilterAdapter& TheFilterAdapter();

// What the page rewrites and reads: the program's table, counters and callback
// lock unless a test supplies its own.
struct FILTER_PAGE_TARGETS {
  FilterTable* table;
  StreamCounters* counters;
  std::mutex* lock;  // held by the streaming thread for each whole buffer
};
FILTER_PAGE_TARGETS ProgramFilterTargets();

// The stored filter values of one profile, with their defaults.
struct PROFILE_FILTER_VALUES {
  std::string macText;
  std::string ipText;
  WORD pid[kFilterCount];
  int useIpFilter;
  int useDhcp;
  int setMac;
  std::string ipMacPrefixText;
};
PROFILE_FILTER_VALUES ReadProfileFilterValues(SettingsStore& store, const std::string& section,
                                              const std::string& hardwareMacText);

// Remote filter commands (registered message "GRAYHERON_FILTER").
enum : unsigned {
  kFilterCmdApply = 0,
  kFilterCmdUnicastPid = 1,
  kFilterCmdBroadcastPid = 2,
  kFilterCmdMulticastPid = 3,
  kFilterCmdIp = 4,
  kFilterCmdUseDhcp = 5,
};

class CFilterDlg {
 public:
  // macSource may be null (no device, or no MAC from it); store null: the program's store.
  CFilterDlg(CDialogControls& dialog, unsigned instance, CHardwareMacSource* macSource = nullptr,
             SettingsStore* store = nullptr, CFilterAdapter* adapter = nullptr,
             FILTER_PAGE_TARGETS targets = ProgramFilterTargets());

  // Page initialisation: CRC table, hardware MAC, list columns, refresh time.
  void OnInitDialog();

  // The two explicit exchanges between members and controls.
  void TakeControlValues();
  void ShowMembers();

  void LoadFilterSettings();
  void SaveFilterSettings();
  // A profile became current; with a source profile its values are copied to the new one.
  void LoadProfileFilters(const std::string& profile, const std::string& sourceProfile = {});
  // Validates, stores and applies the filters; false when it stopped with an error box.
  bool ApplyFilterSettings();
  // Once a second: 1 when data flowed in this refresh, else 0.
  int RefreshStatistics();
  void ResetStreamCounters();

  // Control handlers.
  void UseHardwareMac();
  void MacFromIp();
  void OnApplySettings();
  void OnStreamStatisticClicked();
  void OnStatisticLineDoubleClick();
  // A control's notification (WM_COMMAND): id and code (BN_CLICKED 0, STN_DBLCLK 1).
  // True when the page handled it.
  bool OnCommand(int id, int notification);
  // A "GRAYHERON_FILTER" command: 1 for a listed command, 0 otherwise.
  int HandleFilterCommand(unsigned command, uint32_t value);

  // Members (the page's state).
  const std::string& MacText() const { return m_macText; }
  const std::string& IpText() const { return m_ipText; }
  const std::string& PidText(int filter) const { return m_pidText[filter]; }
  WORD Pid(int filter) const { return m_pid[filter]; }
  int UseIpFilter() const { return m_useIpFilter; }
  int UseDhcp() const { return m_useDhcp; }
  int SetMac() const { return m_setMac; }
  const std::string& HardwareMacText() const { return m_hardwareMacText; }
  const std::string& Profile() const { return m_profile; }
  bool StreamStatistic() const { return m_streamStatistic; }

 private:
  struct FILTER_RATE {
    uint64_t current = 0;
    uint64_t previous = 0;
    uint64_t shownBytes = 0;
    float history[3] = {0.0f, 0.0f, 0.0f};  // kBit/s, newest first
  };

  FILTER_TEXTS CurrentTexts() const;
  void TakeValues(const PROFILE_FILTER_VALUES& values);
  void ResetRates();

  CDialogControls& m_dialog;
  SettingsStore* m_store;
  CFilterAdapter& m_adapter;
  FILTER_PAGE_TARGETS m_targets;
  CHardwareMacSource* m_macSource;

  std::string m_hardwareMacText = "00:00:00:00:00:00";
  std::string m_macText = m_hardwareMacText;
  std::string m_ipText = "192.168.238.238";
  WORD m_pid[kFilterCount] = {0, 0, 0};
  std::string m_pidText[kFilterCount] = {"0", "0", "500"};
  int m_useIpFilter = 0;
  int m_useDhcp = 1;
  int m_setMac = 0;
  std::string m_ipMacPrefixText;
  std::string m_profile;
  unsigned m_instance;
  bool m_streamStatistic = false;

  FILTER_RATE m_rate[kFilterCount];
  DWORD m_lastRefresh = 0;
  // The user's answer per adapter (NetCfgInstanceId) to taking it from another
  // program: asked once a run, not at every apply.
  std::map<std::string, bool> m_takeOverAnswers;
};

// What an apply of a stored profile would log and list, without touching the
// program's table, counters, adapter or store (for the command-line tool).
// The error box text for a refused filter text (strings 112, 113, 114).
std::string ValidationErrorText(const FILTER_VALIDATION& v);

struct FILTER_APPLY_PREVIEW {
  bool valid = false;
  std::string error;                  // the error box text when not valid
  std::vector<std::string> logLines;  // without time stamps
  std::vector<FILTER_ROW> rows;
};
FILTER_APPLY_PREVIEW PreviewFilterApply(SettingsStore& store, const std::string& profile,
                                        const std::string& hardwareMacText = "00:00:00:00:00:00");
// The preview as printable text: the log lines, then one tab-separated line per list row.
std::string FormatFilterApplyPreview(const FILTER_APPLY_PREVIEW& preview);
