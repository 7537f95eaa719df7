// An emulated machine for the adapter code: its own registry, device I/O, adapter
// list and service manager installed in the seams, a fake clock, and the log on.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "common/fake_system.h"
#include "datapath/data_path.h"
#include "datapath/sample_grabber_cb.h"
#include "log/log.h"
#include "platform/emulated/emulated_adapter_list.h"
#include "platform/emulated/emulated_services.h"
#include "platform/emulated/emulated_tap.h"
#include "platform/portable/file_registry.h"

class AdapterFixture : public ::testing::Test {
 protected:
  static constexpr char kLog[] = "C:\\Velvetfin\\Grayheron.log";
  static constexpr char kFirstId[] = "{6C4A2A9B-31D7-4E5B-9C3E-0000000000A1}";
  static constexpr char kSecondId[] = "{6C4A2A9B-31D7-4E5B-9C3E-0000000000B2}";

  void SetUp() override {
    m_prevRegistry = SetRegistry(&registry);
    m_prevIo = SetDeviceIo(&io);
    m_prevList = SetAdapterList(&list);
    m_prevServices = SetServiceControl(&services);
    services.SetService("RemoteAccess", EMULATED_SERVICE{});
    // The machine's own network card, so the list is never empty.
    ADAPTER_INFO ethernet;
    ethernet.adapterName = "{1F2E3D4C-0000-0000-0000-00000000E001}";
    ethernet.description = "Ethernet";
    ethernet.dhcpEnabled = true;
    ethernet.ipAddresses.push_back(ADAPTER_IP{"192.168.1.20", "255.255.255.0"});
    list.AddEntry(ethernet);
    SetLogFile(kLog, TRUE);
  }
  void TearDown() override {
    CloseAdapter(0);
    SetLogFile("logfile.log", FALSE);
    SetServiceControl(m_prevServices);
    SetAdapterList(m_prevList);
    SetDeviceIo(m_prevIo);
    SetRegistry(m_prevRegistry);
  }

  std::shared_ptr<CEmulatedTapAdapter> Install(const char* id, const char* component = "brannoxnic") {
    EMULATED_TAP_SETUP setup;
    setup.instanceId = id;
    setup.componentId = component;
    setup.registry = &registry;
    setup.deviceIo = &io;
    setup.adapterList = &list;
    return InstallEmulatedTap(setup);
  }
  std::vector<std::string> Log() { return system.LogLines(kLog); }

  CFakeSystem system;
  CFileRegistry registry;
  CEmulatedDeviceIo io;
  CEmulatedAdapterList list;
  CEmulatedServices services;

 private:
  CRegistry* m_prevRegistry = nullptr;
  CDeviceIo* m_prevIo = nullptr;
  CAdapterList* m_prevList = nullptr;
  CServiceControl* m_prevServices = nullptr;
};
