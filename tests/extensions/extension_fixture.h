// Shared set-up of the extension tests: fake system services, an emulated
// device I/O of their own, one emulated vendor driver and a graph stand-in that
// records the standard BDA setters the extensions call.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_system.h"
#include "extensions/extension_select.h"
#include "extensions/property_call.h"
#include "log/log.h"
#include "platform/device_io.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/vendor_driver.h"

// What the graph and the tuner's standard properties would do for the extension code.
class CFakeHost final : public CExtensionHost, public CBdaSetters {
 public:
  struct STD_CALL {
    std::string name;
    LONG value;
    std::vector<BYTE> bytes;
  };

  HRESULT GetTunerKernelHandle(HANDLE* handle) override {
    *handle = kernelHandle;
    return kernelHandle == INVALID_HANDLE_VALUE ? E_FAIL : S_OK;
  }
  HRESULT AttachVideoCapture(const char* name, CKsPropertySet** ps) override {
    attached.push_back(name);
    if (!videoCapture) return E_HANDLE;
    *ps = videoCapture;
    return S_OK;
  }
  std::vector<std::string> FindDevicePaths(const GUID& category, const std::string& name) override {
    std::vector<std::string> paths;
    for (CEmulatedVendorDriver* d : drivers) {
      for (const auto& e : d->Devices()) {
        if (e.category == category && e.friendlyName == name) paths.push_back(e.devicePath);
      }
    }
    return paths;
  }
  HRESULT PutTunerPolarity(LONG v) override { return Record("PutTunerPolarity", v); }
  HRESULT PutTunerInputRange(LONG v) override { return Record("PutTunerInputRange", v); }
  HRESULT PutDemodulatorPLPNumber(LONG v) override { return Record("PutDemodulatorPLPNumber", v); }
  HRESULT PutEnableDiseqCommands(LONG v) override { return Record("PutEnableDiseqCommands", v); }
  HRESULT PutDiseqLNBSource(LONG v) override { return Record("PutDiseqLNBSource", v); }
  HRESULT PutDiseqUseToneBurst(LONG v) override { return Record("PutDiseqUseToneBurst", v); }
  HRESULT PutDiseqRepeats(LONG v) override { return Record("PutDiseqRepeats", v); }
  HRESULT PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length) override {
    calls.push_back({"PutDiseqSendCommand", static_cast<LONG>(requestId), std::vector<BYTE>(bytes, bytes + length)});
    return S_OK;
  }
  HRESULT StartChanges() override { return Record("StartChanges", 0); }
  HRESULT CommitChanges() override { return Record("CommitChanges", 0); }

  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (const auto& c : calls) n.push_back(c.name + "(" + std::to_string(c.value) + ")");
    return n;
  }

  HANDLE kernelHandle = INVALID_HANDLE_VALUE;
  CKsPropertySet* videoCapture = nullptr;
  std::vector<CEmulatedVendorDriver*> drivers;
  std::vector<std::string> attached;
  std::vector<STD_CALL> calls;

 private:
  HRESULT Record(const char* name, LONG v) {
    calls.push_back({name, v, {}});
    return S_OK;
  }
};

class ExtensionTest : public ::testing::Test {
 protected:
  static constexpr const char* kLog = "ext.log";

  void SetUp() override {
    m_previousIo = SetDeviceIo(&m_io);
    SetLogFile(kLog, TRUE);
  }
  void TearDown() override {
    m_extension.Release();
    for (auto& d : m_drivers) d->UninstallDevices(m_io);
    if (m_kernelHandle != INVALID_HANDLE_VALUE) m_io.Close(m_kernelHandle);
    m_io.UninstallAll();
    SetLogFile("logfile.log", FALSE);
    SetDeviceIo(m_previousIo);
  }

  // A driver of a family with its device paths and kernel object installed.
  CEmulatedVendorDriver& AddDriver(const std::string& family, VENDOR_DRIVER_OPTIONS options = {}) {
    std::string error;
    m_drivers.push_back(CreateEmulatedVendorDriver(family, options, &error));
    EXPECT_TRUE(m_drivers.back()) << error;
    CEmulatedVendorDriver& d = *m_drivers.back();
    d.InstallDevices(m_io);
    m_host.drivers.push_back(&d);
    return d;
  }

  void ResetDrivers() {
    m_extension.Release();
    if (m_kernelHandle != INVALID_HANDLE_VALUE) m_io.Close(m_kernelHandle);
    m_kernelHandle = INVALID_HANDLE_VALUE;
    for (auto& d : m_drivers) d->UninstallDevices(m_io);
    m_drivers.clear();
    m_host.drivers.clear();
  }

  // Builds the extension for a device served by the first driver.
  void Select(const std::string& name, int network, int bdaType = 0, int hint = 0, int ttClass = 0,
              DWORD ttIndex = 0) {
    CEmulatedVendorDriver& d = *m_drivers.front();
    if (m_kernelHandle != INVALID_HANDLE_VALUE) m_io.Close(m_kernelHandle);
    m_io.Install("\\\\?\\emulated#kernel", d.KernelDevice());
    m_kernelHandle = m_io.Open("\\\\?\\emulated#kernel", kTechnotrendOpenMode);
    m_host.kernelHandle = m_kernelHandle;
    if (!m_noVideoCapture) m_host.videoCapture = d.ForObject(VO_VIDEO_CAPTURE);
    EXTENSION_DEVICE device;
    device.networkType = network;
    device.friendlyName = name;
    device.extensionTypeHint = hint;
    device.ttDeviceClass = ttClass;
    device.ttDeviceIndex = ttIndex;
    EXTENSION_INTERFACES ps;
    ps.tunerInput = d.ForObject(VO_TUNER_INPUT);
    ps.tunerOutput = d.ForObject(VO_TUNER_OUTPUT);
    ps.tuner = d.ForObject(VO_TUNER_FILTER);
    ps.capture = d.ForObject(VO_CAPTURE);
    m_extension.Select(device, ps, bdaType, m_host, m_host);
    d.ClearCalls();
  }

  // The Get/Set/I/O-control calls of the first driver (no support queries).
  std::vector<VENDOR_CALL> Sent() const {
    std::vector<VENDOR_CALL> out;
    for (const VENDOR_CALL& c : m_drivers.front()->Calls()) {
      if (c.kind != VENDOR_CALL::QUERY) out.push_back(c);
    }
    return out;
  }

  std::vector<std::string> LogLines() { return m_system.LogLines(kLog); }
  bool LogHas(const std::string& text) {
    auto lines = LogLines();
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }

  CFakeSystem m_system;
  CEmulatedDeviceIo m_io;
  CDeviceIo* m_previousIo = nullptr;
  std::vector<std::unique_ptr<CEmulatedVendorDriver>> m_drivers;
  CFakeHost m_host;
  CExtension m_extension;
  HANDLE m_kernelHandle = INVALID_HANDLE_VALUE;
  bool m_noVideoCapture = false;
};

inline DWORD Dword(const std::vector<BYTE>& b, size_t at) { return GetDword(b.data(), at); }
