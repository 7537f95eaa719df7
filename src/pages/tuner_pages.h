// What the main dialog asks of the Status/Tuner and DiSEqC/LNB pages. The pages
// implement these; the dialog creates them through CreateTunerPage/CreateLnbPage.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/user_interface.h"
#include "platform/win_types.h"

class CBdaGraph;
class SettingsStore;

// The Setup page's options the signal monitor follows.
class CMonitorSettings {
 public:
  virtual ~CMonitorSettings() = default;
  virtual int SignalUpdateSeconds() const = 0;  // 0..10
  virtual int RetuneSeconds() const = 0;        // 0..10, 0 = never
};

// The signal as the page last read it, for the status icon and status output.
struct SIGNAL_STATE {
  bool locked = false;
  LONG level = 0;    // 0..100
  LONG quality = 0;  // 0..100
  bool haveExtended = false;  // the extension offers RF level, SNR and BER
  LONG rfLevel = 0;
  double snr = 0.0;
  double ber = 0.0;
};

class CLnbPage {
 public:
  virtual ~CLnbPage() = default;
  // The page window exists: fill and enable the controls.
  virtual void OnInitDialog() = 0;
  // A control's notification (WM_COMMAND id and code); true when handled.
  virtual bool OnCommand(int id, int notification) = 0;
  // Shows the members in the controls (after remote commands).
  virtual void ShowMembers() = 0;
  // "GRAYHERON_TUNER" commands 8 to 15: 1 for a listed command, 0 otherwise.
  virtual int HandleTunerCommand(unsigned command, uint32_t value) = 0;
};

class CTunerPage {
 public:
  virtual ~CTunerPage() = default;
  virtual void OnInitDialog() = 0;
  virtual bool OnCommand(int id, int notification) = 0;
  // The up-down beside the frequency: delta as the notification gives it.
  virtual void OnFrequencySpin(int delta) = 0;
  virtual void ShowMembers() = 0;
  // A profile became current: load from `source` when given (a copy), else from
  // `name`; hand the LNB values to the LNB page; show; apply.
  virtual void LoadProfile(const std::string& name, const std::string& source) = 0;
  // Validates and tunes with the page's values ("Apply settings", resume, remote apply).
  virtual void ApplySettings() = 0;
  // The main timer's tick: the signal monitor. True when the tuner is locked.
  virtual bool PeriodicUpdate() = 0;
  virtual SIGNAL_STATE Signal() const = 0;
  // Retunes the signal monitor made after a lost lock, since the page was created.
  virtual uint64_t RetuneCount() const { return 0; }
  // "GRAYHERON_TUNER" commands 0 to 15 (8 to 15 passed on to the LNB page): 1 listed, 0 not.
  virtual int HandleTunerCommand(unsigned command, uint32_t value) = 0;
};

// Where the Status/Tuner page publishes its status text at every signal read, for
// other programs to watch. The page opens it when it is created and closes it with
// itself; without one (none installed, or it could not be created) the page works
// unpublished.
class CStatusPublisher {
 public:
  virtual ~CStatusPublisher() = default;
  virtual void Publish(const std::string& text) = 0;
};
using STATUS_PUBLISHER_FACTORY = std::unique_ptr<CStatusPublisher> (*)(unsigned instance);
// Installs how publishers are made (null: none); returns the previous factory.
STATUS_PUBLISHER_FACTORY SetStatusPublisherFactory(STATUS_PUBLISHER_FACTORY factory);
std::unique_ptr<CStatusPublisher> CreateStatusPublisher(unsigned instance);

// The pages' construction. The dialogs given are the pages' own controls.
std::unique_ptr<CLnbPage> CreateLnbPage(CDialogControls& dialog, CBdaGraph& graph, unsigned instance,
                                        SettingsStore* store = nullptr);
std::unique_ptr<CTunerPage> CreateTunerPage(CDialogControls& dialog, CBdaGraph& graph, CLnbPage* lnbPage,
                                            CMonitorSettings* setupPage, CDialogControls& mainDialog,
                                            unsigned instance, SettingsStore* store = nullptr);
