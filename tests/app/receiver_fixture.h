// The whole program on the emulated platform: tuners from a description, an adapter,
// settings in a registry of the test's own, and the main dialog run on in-memory
// windows whose clock the test moves by hand.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/receiver_dlg.h"
#include "common/fake_system.h"
#include "platform/device_platform.h"
#include "platform/emulated/bda_platform.h"
#include "platform/portable/file_registry.h"
#include "platform/emulated/emulated_tap.h"
#include "platform/portable/event_loop.h"
#include "platform/registry.h"
#include "platform/adapter_list.h"
#include "platform/device_io.h"
#include "platform/service_control.h"
#include "platform/emulated/emulated_adapter_list.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/emulated_services.h"
#include "settings/settings_store.h"
#include "ui/dialog_ids.h"
#include "ui/string_table.h"

// The built-in demo tuner: satellite, locks on the default profile's tuning.
inline const char kSatelliteTuner[] =
    "[Sat]\nFriendlyName=Emulated DVB-S2 Tuner\nDelivery=satellite\nLockFrequency=11263000\n"
    "LockSymbolRate=33000\nLockPolarisation=1\nSignalStrength=70\nSignalQuality=64\n";
inline const char kCableTuner[] =
    "[Cable]\nFriendlyName=Emulated DVB-C Tuner\nDelivery=cable\nLockFrequency=402000\nLockSymbolRate=6900\n";

class ReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previousPlatform = SetDevicePlatform(&platform);
    m_previousWindows = SetWindowServices(&windows);
    m_previousRegistry = SetRegistry(&registry);
    // The emulated adapter's device, list entry and services, also on Windows.
    m_previousIo = SetDeviceIo(&EmulatedDeviceIo());
    m_previousList = SetAdapterList(&EmulatedAdapterList());
    m_previousServices = SetServiceControl(&EmulatedServices());
    windows.UseManualClock();
    windows.SetMessageBoxHandler([this](const MESSAGE_BOX_RECORD& box, BoxResult given) {
      boxes.push_back(box);
      if (box.buttons == BoxButtons::Ok) return given;
      if (onQuestion) onQuestion(box);
      if (answers.empty()) return BoxResult::Yes;
      BoxResult answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    });
    windows.SetTextObserver([this](int templateId, int control, const std::string& text) {
      if (templateId == IDD_SPLASH && control == IDC_SPLASH_TEXT) splash.push_back(text);
    });
    UseRegistryStore();
  }

  void TearDown() override {
    if (tap) UninstallEmulatedTap(tap);
    SetTheSettingsStore(nullptr);
    SetRegistry(m_previousRegistry);
    SetDeviceIo(m_previousIo);
    SetAdapterList(m_previousList);
    SetServiceControl(m_previousServices);
    SetWindowServices(m_previousWindows);
    SetDevicePlatform(m_previousPlatform);
  }

  void UseRegistryStore() {
    store = SettingsStore::CreateRegistryStore("Grayheron", &registry);
    SetTheSettingsStore(store.get());
  }

  void Describe(const std::string& ini) {
    EMULATED_DESCRIPTION description;
    std::string error;
    if (ini.empty()) {  // no tuner at all
      ASSERT_TRUE(platform.Load(description, &error)) << error;
      return;
    }
    ASSERT_TRUE(ParseEmulatedDescription(ini, "", &description, &error)) << error;
    ASSERT_TRUE(platform.Load(description, &error)) << error;
  }

  void InstallAdapter() {
    EMULATED_TAP_SETUP setup;
    setup.registry = &registry;
    tap = InstallEmulatedTap(setup);
  }

  // Runs the main dialog; `during` acts once start-up is done, with the dialog running.
  // The dialog is shut down when `during` returns unless it ended already.
  INT_PTR Run(std::function<void(CReceiverDlg&, CPortableWindow&)> during = {}) {
    dialog = std::make_unique<CReceiverDlg>(0, store.get());
    windows.SetModalScript(IDD_MAIN, [this, during](CPortableWindow& window, CWindowHandler&) {
      if (during) during(*dialog, window);
    });
    INT_PTR result = dialog->DoModal();
    windows.SetModalScript(IDD_MAIN, nullptr);
    return result;
  }

  LRESULT Command(CPortableWindow& window, int id, int code = 0) {
    return windows.SendMessage(&window, WM_COMMAND, static_cast<WPARAM>(id | (code << 16)), 0);
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const MESSAGE_BOX_RECORD& box : boxes) texts.push_back(box.caption + " " + box.text);
    return texts;
  }

  CFakeSystem system;
  CEmulatedBdaPlatform platform;
  CPortableWindowServices windows;
  CFileRegistry registry;
  std::unique_ptr<SettingsStore> store;
  std::shared_ptr<CEmulatedTapAdapter> tap;
  std::unique_ptr<CReceiverDlg> dialog;
  std::vector<MESSAGE_BOX_RECORD> boxes;
  std::vector<BoxResult> answers;
  std::function<void(const MESSAGE_BOX_RECORD&)> onQuestion;
  std::vector<std::string> splash;

 private:
  CDevicePlatform* m_previousPlatform = nullptr;
  CWindowServices* m_previousWindows = nullptr;
  CRegistry* m_previousRegistry = nullptr;
  CDeviceIo* m_previousIo = nullptr;
  CAdapterList* m_previousList = nullptr;
  CServiceControl* m_previousServices = nullptr;
};
