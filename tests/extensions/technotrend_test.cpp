// The Technotrend API: opening by class and device index, dispatch by class,
// request bytes, result texts and product names; and its use as extension type 1.
#include <cstring>

#include "extension_fixture.h"
#include "extensions/technotrend_api.h"

namespace {
VENDOR_DRIVER_OPTIONS Tt(int ttClass, DWORD index = 0, int network = NET_SATELLITE) {
  VENDOR_DRIVER_OPTIONS o;
  o.ttClass = ttClass;
  o.ttDeviceIndex = index;
  o.networkType = network;
  return o;
}

class TechnotrendTest : public ExtensionTest {
 protected:
  std::vector<VENDOR_CALL> Controls(size_t driver = 0) {
    std::vector<VENDOR_CALL> out;
    for (const auto& c : m_drivers[driver]->Calls())
      if (c.kind == VENDOR_CALL::IOCTL) out.push_back(c);
    return out;
  }
};
}  // namespace

TEST_F(TechnotrendTest, OpenFindsTheDeviceWithTheWantedIndex) {
  VENDOR_DRIVER_OPTIONS first = Tt(1, 0);
  VENDOR_DRIVER_OPTIONS second = Tt(1, 3);
  second.mac[5] = 0x99;
  AddDriver("technotrend", first);
  AddDriver("technotrend", second);
  TTHANDLE h = bdaapiOpenDevice(m_host, TT_CLASS_BUDGET2, 3);
  ASSERT_TRUE(TtValidHandle(h));
  ASSERT_TRUE(h->tuner);
  DWORD a = 0, b = 0;
  EXPECT_EQ(bdaapiGetMAC(h, &a, &b), 0u);
  BYTE mac[6];
  TtMacFromDwords(a, b, mac);
  EXPECT_EQ(mac[5], 0x99);
  EXPECT_EQ(mac[0], second.mac[0]);
  // The back end opens its device without access rights and unshared.
  char path[260] = {};
  h->tuner->GetDevicePath(path, sizeof(path));
  DEVICE_OPEN_MODE mode{};
  ASSERT_TRUE(m_io.LastOpenMode(path, &mode));
  EXPECT_EQ(mode.access, 0u);
  EXPECT_EQ(mode.share, 0u);
  EXPECT_EQ(mode.disposition, 1u);
  EXPECT_EQ(mode.flags, 0u);
  bdaapiCloseDevice(h);
  EXPECT_EQ(bdaapiOpenDevice(m_host, TT_CLASS_BUDGET2, 7), TtInvalidHandle());
  EXPECT_EQ(bdaapiOpenDevice(m_host, TT_CLASS_USB2, 0), TtInvalidHandle());
}

TEST_F(TechnotrendTest, BudgetCardWithoutTunerFilterSendsDiseqcThroughTheCapture) {
  CEmulatedVendorDriver& d = AddDriver("technotrend", Tt(1));
  // Only the capture device is reachable.
  m_io.Uninstall(d.Devices()[1].devicePath);
  TTHANDLE h = bdaapiOpenDevice(m_host, TT_CLASS_BUDGET2, 0);
  ASSERT_TRUE(TtValidHandle(h));
  EXPECT_FALSE(h->tuner);
  d.ClearCalls();
  const BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF2};
  EXPECT_EQ(bdaapiSetDiSEqCMsg(h, msg, 4, 1, TONEBURST_B, 1), 0u);
  auto io = Controls();
  ASSERT_EQ(io.size(), 1u);
  EXPECT_EQ(io[0].code, 0x233468u);
  EXPECT_NE(io[0].path.find("#capture"), std::string::npos);
  EXPECT_EQ(io[0].data, (std::vector<BYTE>{4, 0xE0, 0x10, 0x38, 0xF2, 0, 0, 1, 2, 1}));
  BYTE seven[7] = {};
  EXPECT_NE(bdaapiSetDiSEqCMsg(h, seven, 7, 0, 0, 1), 0u);
  bdaapiCloseDevice(h);
}

TEST_F(TechnotrendTest, DispatchByClass) {
  AddDriver("technotrend", Tt(2));
  AddDriver("technotrend", Tt(3));
  AddDriver("technotrend", Tt(4));
  AddDriver("technotrend", Tt(6));
  const BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF0};
  DWORD a, b, mode;
  TTHANDLE budget3 = bdaapiOpenDevice(m_host, TT_CLASS_BUDGET3, 0);
  TTHANDLE usb = bdaapiOpenDevice(m_host, TT_CLASS_USB2, 0);
  TTHANDLE pinnacle = bdaapiOpenDevice(m_host, TT_CLASS_USB2_PINNACLE, 0);
  TTHANDLE premium = bdaapiOpenDevice(m_host, TT_CLASS_PREMIUM, 0);
  for (TTHANDLE h : {budget3, usb, pinnacle, premium}) ASSERT_TRUE(TtValidHandle(h));

  EXPECT_EQ(bdaapiSetDiSEqCMsg(budget3, msg, 4, 0, 0, 1), 1u);
  EXPECT_EQ(bdaapiSetDiSEqCMsg(premium, msg, 4, 0, 0, 1), 2u);
  EXPECT_EQ(bdaapiSetDiSEqCMsg(usb, msg, 4, 0, 0, 1), 0u);
  EXPECT_EQ(bdaapiSetDiSEqCMsg(pinnacle, msg, 4, 0, 0, 1), 0u);
  EXPECT_EQ(bdaapiSetDVBTAntPwr(usb, TRUE), 0u);
  EXPECT_EQ(bdaapiSetDVBTAntPwr(pinnacle, TRUE), 2u);
  EXPECT_EQ(bdaapiGetMAC(premium, &a, &b), 14u);
  EXPECT_EQ(bdaapiGetMAC(budget3, &a, &b), 0u);
  EXPECT_EQ(bdaapiGetUSBHighspeedMode(budget3, &mode), 2u);
  EXPECT_EQ(bdaapiGetUSBHighspeedMode(usb, &mode), 0u);
  EXPECT_EQ(mode, 1u);
  for (TTHANDLE bad : {TtInvalidHandle(), static_cast<TTHANDLE>(nullptr)}) {
    EXPECT_EQ(bdaapiSetDiSEqCMsg(bad, msg, 4, 0, 0, 1), 3u);
    EXPECT_EQ(bdaapiSetDVBTAntPwr(bad, TRUE), 3u);
    EXPECT_EQ(bdaapiGetMAC(bad, &a, &b), 3u);
    EXPECT_EQ(bdaapiGetUSBHighspeedMode(bad, &mode), 3u);
  }

  // Standard codes for USB 2.0, the alternate set for the Pinnacle box.
  auto usbIo = Controls(1);
  auto pinnacleIo = Controls(2);
  auto has = [](const std::vector<VENDOR_CALL>& io, DWORD code) {
    for (const auto& c : io)
      if (c.code == code) return true;
    return false;
  };
  EXPECT_TRUE(has(usbIo, 0x232040));
  EXPECT_TRUE(has(usbIo, 0x232044));
  EXPECT_TRUE(has(usbIo, 0x23204C));
  EXPECT_TRUE(has(pinnacleIo, 0x23240C));
  EXPECT_TRUE(has(pinnacleIo, 0x232418));
  EXPECT_FALSE(has(pinnacleIo, 0x232040));

  for (TTHANDLE h : {budget3, usb, pinnacle}) bdaapiCloseDevice(h);
  m_drivers[3]->ClearCalls();
  bdaapiCloseDevice(premium);
  auto premIo = Controls(3);
  ASSERT_EQ(premIo.size(), 1u);  // the event is unregistered on close
  EXPECT_EQ(premIo[0].code, 0x23203Cu);
  EXPECT_EQ(premIo[0].data, (std::vector<BYTE>{0, 0, 0, 0}));
}

TEST_F(TechnotrendTest, ResultTextsAndTheirLogLines) {
  EXPECT_STREQ(TtResultText(1), "operation is not implemented for the opened handle");
  EXPECT_STREQ(TtResultText(14), "operation finished with general error");
  EXPECT_STREQ(TtResultText(19), "length of buffer is too small");
  EXPECT_STREQ(TtResultText(20), "unknown error");
  LogTtResult("bdaapiSetDiSEqCMsg", 0);
  LogTtResult("bdaapiSetDiSEqCMsg", 1);
  EXPECT_EQ(LogLines(),
            std::vector<std::string>{"bdaapiSetDiSEqCMsg() : operation is not implemented for the opened handle"});
}

TEST_F(TechnotrendTest, ProductNamesByClassAndIds) {
  struct {
    int ttClass;
    WORD vendor, device, subVendor, subDevice;
    bool found;
    const char* name;
  } cases[] = {
      {1, 0x1131, 0x7146, 0x13C2, 0x1019, true, "TT-budget S2-3200"},
      {1, 0x1131, 0x7146, 0x13C2, 0x1005, true, "TT-budget BDA Device"},
      {1, 0x1131, 0x7146, 0x13C2, 0x1001, false, ""},
      {1, 0x1131, 0x7146, 0x1234, 0x1019, false, ""},
      {2, 0x1131, 0x7146, 0x13C2, 0x2804, true, "TT-budget T-3000"},
      {3, 0x0B48, 0x300D, 0, 0, true, "TT-connect CT-3650 CI (Hybrid)"},
      {3, 0x0B48, 0x3009, 0, 0, true, "TT-connect S-2400"},
      {3, 0x0B48, 0x3999, 0, 0, true, "TT-connect USB 2.0 BDA Device"},
      {5, 0x0B48, 0x3005, 0, 0, true, "TechnoTrend TT TV-Stick"},
      {6, 0, 0, 0, 0, true, "TT-premium S2-Dual"},
      {4, 0x0B48, 0x3007, 0, 0, false, ""},  // Pinnacle keeps its own name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetDrivers();
    VENDOR_DRIVER_OPTIONS o = Tt(c.ttClass);
    o.ttVendor = c.vendor;
    o.ttDevice = c.device;
    o.ttSubVendor = c.subVendor;
    o.ttSubDevice = c.subDevice;
    AddDriver("technotrend", o);
    std::string name;
    EXPECT_EQ(TtLookupProductName(m_host, c.ttClass, 0, &name), c.found);
    if (c.found) {
      EXPECT_EQ(name, c.name);
    }
  }
}

TEST_F(TechnotrendTest, UsbFullSpeedCheck) {
  VENDOR_DRIVER_OPTIONS o = Tt(3);
  o.ttHighSpeed = 0;
  AddDriver("technotrend", o);
  TTHANDLE h = bdaapiOpenDevice(m_host, TT_CLASS_USB2, 0);
  EXPECT_TRUE(TtUsbFullSpeedOnly(h));
  bdaapiCloseDevice(h);
  ResetDrivers();
  AddDriver("technotrend", Tt(3));
  h = bdaapiOpenDevice(m_host, TT_CLASS_USB2, 0);
  EXPECT_FALSE(TtUsbFullSpeedOnly(h));
  bdaapiCloseDevice(h);
}

TEST_F(TechnotrendTest, ExtensionTypeOneServesDiseqcMacAndAntennaPower) {
  AddDriver("technotrend", Tt(1, 2));
  Select("TechnoTrend BDA/DVB-S Tuner", NET_SATELLITE, 0, EXT_TECHNOTREND, 1, 2);
  ASSERT_EQ(m_extension.ExtensionType(), EXT_TECHNOTREND);
  EXPECT_EQ(m_extension.GetCaps(), 0x035u);
  const BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF0};
  EXPECT_EQ(m_extension.SendDiseqc(msg, 4, 0, 0), S_OK);
  BYTE mac[6] = {};
  EXPECT_EQ(m_extension.GetHardwareMac(mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  EXPECT_EQ(m_extension.SetLnbPower(1), E_NOTIMPL);  // satellite power is not the API's
  auto io = Controls();
  ASSERT_EQ(io.size(), 2u);  // DiSEqC through the tuner object, MAC through the capture object
  EXPECT_NE(io[0].path.find("#tuner"), std::string::npos);
  EXPECT_EQ(io[0].data[9], 1);  // polarity value
  EXPECT_EQ(io[1].code, 0x233418u);
  EXPECT_NE(io[1].path.find("#capture"), std::string::npos);

  ResetDrivers();
  AddDriver("technotrend", Tt(3, 0, NET_TERRESTRIAL));
  Select("USB 2.0 BDA DVB-T Tuner", NET_TERRESTRIAL, 0, EXT_TECHNOTREND, 3, 0);
  ASSERT_EQ(m_extension.ExtensionType(), EXT_TECHNOTREND);
  EXPECT_EQ(m_extension.GetCaps(), 0x030u);
  EXPECT_EQ(m_extension.SetLnbPower(1), S_OK);
  io = Controls();
  ASSERT_FALSE(io.empty());
  EXPECT_EQ(io.back().code, 0x232044u);
  EXPECT_EQ(io.back().data, (std::vector<BYTE>{1, 0, 0, 0}));
}

TEST_F(TechnotrendTest, DriverAnswersAtTheEnumeratorsPathsAndFailsSafelyOnceGone) {
  std::string error;
  EXPECT_FALSE(CreateEmulatedVendorDriver("tt-unknown", {}, &error));
  EXPECT_NE(error.find("tt-unknown"), std::string::npos);
  auto driver = CreateEmulatedVendorDriver("tt-usb2", Tt(0, 4));
  ASSERT_TRUE(driver);
  driver->InstallIoControlPath(m_io, "@device:pnp:\\\\?\\emulated#usb#tuner\\capture");
  m_io.Install("kernel-path", driver->KernelDevice());
  HANDLE h = m_io.Open("@device:pnp:\\\\?\\emulated#usb#tuner\\capture", kTechnotrendOpenMode);
  HANDLE k = m_io.Open("kernel-path", kTechnotrendOpenMode);
  BYTE out[4] = {};
  DWORD got = 0;
  EXPECT_TRUE(m_io.IoControl(h, 0x23204C, nullptr, 0, out, 4, &got));  // class 3 device index
  EXPECT_EQ(Dword(std::vector<BYTE>(out, out + 4), 0), 4u);
  driver.reset();
  EXPECT_FALSE(m_io.IoControl(h, 0x23204C, nullptr, 0, out, 4, &got));
  EXPECT_FALSE(m_io.IoControl(k, 0x2F0003, out, 4, out, 4, &got));
  m_io.Close(h);
  m_io.Close(k);
}
