// Choosing the extension: the probe order, the BDAType override, the
// video-capture attachment, tuner indexes and the uniform operations' rules.
#include <algorithm>
#include <cstring>

#include "extension_fixture.h"
#include "extensions/families.h"
#include "platform/vendor_guids.h"

namespace {
struct FAMILY_CASE {
  const char* family;
  const char* name;
  int type;
  DWORD caps;
};

const FAMILY_CASE kFamilies[] = {
    {"generic", "Some BDA Tuner", EXT_GENERIC, 0x000},
    {"twinhan", "Twinhan Tuner", EXT_TWINHAN, 0x033},
    {"tbs-cxt", "TBS 6921 BDA DVBS/S2 Tuner/Demod", EXT_TBS_CXT, 0x3F3},
    {"dvbworld", "DVBWorld Tuner", EXT_DVBWORLD, 0x021},
    {"conexant", "Conexant Tuner", EXT_CONEXANT, 0x013},
    {"hauppauge", "Hauppauge Tuner", EXT_HAUPPAUGE, 0x003},
    {"microsoft", "Win7 Tuner", EXT_MICROSOFT, 0x00F},
    {"geniatech", "Geniatech Tuner", EXT_GENIATECH, 0x033},
    {"jactek", "TeVii Tuner", EXT_JACTEK, 0x031},
    {"bestunar", "Bestunar Tuner", EXT_BESTUNAR, 0x021},
    {"omicom", "Omicom Tuner", EXT_OMICOM, 0x3E7},
    {"tbs-qbox", "TBS QBOX Tuner", EXT_TBS_QBOX, 0x3F1},
    {"tbs-nxp", "TBS 6984 Tuner A", EXT_TBS_NXP, 0x3E1},
    {"compro", "Compro Tuner", EXT_COMPRO, 0x031},
    {"anysee", "AnySee Tuner", EXT_ANYSEE, 0x005},
    {"genpix-3dparty", "Genpix Old Tuner", EXT_GENPIX_OLD, 0x005},
    {"genpix", "Genpix Tuner", EXT_GENPIX, 0x005},
    {"netup", "Netup Tuner 0", EXT_NETUP, 0x021},
    {"quarn", "Quarn Tuner", EXT_QUARN, 0x3C1},
    {"tbs-usb", "TBS 5925 Tuner", EXT_TBS_USB, 0x3F7},
    {"tbs-pcie", "TBS 6903 Tuner B", EXT_TBS_PCIE, 0x3F7},
};
}  // namespace

TEST_F(ExtensionTest, EachFamilyIsFoundWithItsCapabilitiesOnSatellite) {
  for (const FAMILY_CASE& c : kFamilies) {
    SCOPED_TRACE(c.family);
    ResetDrivers();
    AddDriver(c.family);
    Select(c.name, NET_SATELLITE);
    EXPECT_EQ(m_extension.ExtensionType(), c.type);
    EXPECT_EQ(m_extension.GetCaps(), c.caps);
  }
}

TEST_F(ExtensionTest, CapabilitiesFollowTheNetworkType) {
  AddDriver("tbs-pcie");
  Select("TBS 6909 Tuner", NET_TERRESTRIAL);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_TBS_PCIE);
  EXPECT_EQ(m_extension.GetCaps(), 0x0E0u);  // MAC, signal, stream id; nothing satellite-only
  m_extension.Release();
  ResetDrivers();
  AddDriver("twinhan");
  Select("Twinhan", NET_TERRESTRIAL);
  EXPECT_EQ(m_extension.GetCaps(), 0x030u);
}

TEST_F(ExtensionTest, ForcedTypeOverridesAnEarlierResultOnlyWhenItsTestPasses) {
  CEmulatedVendorDriver& d = AddDriver("conexant");
  // A Conexant card that also offers the standard DiSEqC properties.
  for (DWORD id = 0; id <= 4; ++id) d.SetSupport(VO_TUNER_INPUT, KSPROPSETID_BdaDiseqCommand, id, 2);
  Select("Conexant", NET_SATELLITE, EXT_MICROSOFT);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_MICROSOFT);
  EXPECT_EQ(m_extension.GetCaps(), 0x00Du);
  m_extension.Release();
  Select("Conexant", NET_SATELLITE, EXT_TBS_PCIE);  // its test fails: the automatic result stays
  EXPECT_EQ(m_extension.ExtensionType(), EXT_CONEXANT);
  EXPECT_EQ(m_extension.GetCaps(), 0x013u);
}

TEST_F(ExtensionTest, Prof7500IsDrivenAsTbsCxtThroughItsOutputPin) {
  AddDriver("prof-7500");
  Select("Prof 7500 DVBS Tuner", NET_SATELLITE);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_TBS_CXT);
  EXPECT_TRUE(m_extension.VideoCaptureShared());
  EXPECT_EQ(m_extension.VideoCapture(), m_drivers[0]->ForObject(VO_TUNER_OUTPUT));
  EXPECT_TRUE(m_extension.GetCaps() & CAP_MAC);
  BYTE mac[6] = {};
  EXPECT_EQ(m_extension.GetHardwareMac(mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  // Forcing QBOX does not make it one either: the name rule refuses the type.
  m_extension.Release();
  Select("Prof 7500 DVBS Tuner", NET_SATELLITE, EXT_TBS_QBOX);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_TBS_CXT);
}

TEST_F(ExtensionTest, VideoCaptureAttachmentChoosesTheCaptureNameAndEepromOffset) {
  AddDriver("tbs-cxt");
  Select("TBS 8920 BDA Tuner/Demod", NET_SATELLITE);
  ASSERT_EQ(m_host.attached, std::vector<std::string>{"TBS 8920 Video Capture"});
  EXPECT_EQ(m_extension.MacEepromOffset(), 0x10);
  m_extension.Release();
  m_host.attached.clear();
  Select("TBS 6981 BDA DVBS/S2 B Tuner/Demod", NET_SATELLITE);
  ASSERT_EQ(m_host.attached, std::vector<std::string>{"TBS 6981 Video Capture"});
  EXPECT_EQ(m_extension.MacEepromOffset(), 0xA0);
  BYTE mac[6] = {};
  ASSERT_EQ(m_extension.GetHardwareMac(mac), S_OK);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);  // access on, write-then-read, access off
  EXPECT_EQ(sent[1].data[3], 0xA0);
}

TEST_F(ExtensionTest, FailedAttachmentLeavesNoMacAndIsTraced) {
  m_noVideoCapture = true;
  AddDriver("tbs-cxt");
  Select("TBS 6920 BDA DVBS/S2 Tuner/Demod", NET_SATELLITE);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_TBS_CXT);
  EXPECT_FALSE(m_extension.GetCaps() & CAP_MAC);
  EXPECT_EQ(m_extension.MacEepromOffset(), 0x10);
  EXPECT_NE(m_system.DebugOutput().find("BuildGraph() : Cannot attach to VideoCaptureDevice"), std::string::npos);
}

TEST_F(ExtensionTest, TunerIndexComesFromTheLastCharacterOfTheName) {
  struct {
    const char* family;
    const char* name;
    BYTE index;
  } cases[] = {
      {"tbs-nxp", "TBS 6984 Tuner B", 2}, {"tbs-nxp", "TBS 6984 Tuner 0", 1}, {"tbs-nxp", "TBS 6984 Tuner ", 0},
      {"tbs-pcie", "TBS 6909 Tuner Z", 26}, {"netup", "Netup Dual 1", 1},   {"netup", "Netup Dual A", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetDrivers();
    AddDriver(c.family);
    Select(c.name, NET_SATELLITE);
    EXPECT_EQ(m_extension.TunerIndex(), c.index);
    m_extension.Release();
  }
}

TEST_F(ExtensionTest, TechnotrendDeviceWhoseApiOpenFailsIsGeneric) {
  CEmulatedVendorDriver& d = AddDriver("generic");
  d.SetSupport(VO_TUNER_INPUT, KSPROPSETID_BdaFrequencyFilter, 2, 2);
  Select("TechnoTrend BDA/DVB-S Tuner", NET_SATELLITE, 0, EXT_TECHNOTREND, 1, 0);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_GENERIC);
  EXPECT_EQ(m_extension.GetCaps(), CAP_DISEQC_POSITION);
  EXPECT_EQ(m_extension.TtHandle(), nullptr);
}

TEST_F(ExtensionTest, OperationsNeedASelectedExtension) {
  BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF0};
  BYTE mac[6];
  LONG level;
  double snr, ber;
  auto all = [&]() {
    EXPECT_EQ(m_extension.GetCaps(), 0u);
    EXPECT_EQ(m_extension.SendDiseqc(msg, 4, 0, 0), E_FAIL);
    EXPECT_EQ(m_extension.SetLnbPower(1), E_FAIL);
    EXPECT_EQ(m_extension.SetDiseqcPosition(1, 0), E_FAIL);
    EXPECT_EQ(m_extension.GetHardwareMac(mac), E_FAIL);
    EXPECT_EQ(m_extension.GetSignalEx(&level, &snr, &ber), E_FAIL);
    EXPECT_EQ(m_extension.SetStreamId(1), E_FAIL);
    EXPECT_EQ(m_extension.SetPls(0, 1), E_FAIL);
    EXPECT_EQ(m_extension.SetModcode(0), E_FAIL);
  };
  all();
  AddDriver("tbs-pcie");
  Select("TBS 6903", NET_SATELLITE);
  EXPECT_NE(m_extension.GetCaps(), 0u);
  m_extension.Release();
  all();
  EXPECT_TRUE(Sent().empty());
}

TEST_F(ExtensionTest, SatelliteOperationsAreRefusedOnOtherNetworks) {
  BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF0};
  for (const FAMILY_CASE& c : kFamilies) {
    SCOPED_TRACE(c.family);
    ResetDrivers();
    AddDriver(c.family);
    Select(c.name, NET_CABLE);
    EXPECT_EQ(m_extension.SendDiseqc(msg, 4, 0, TONEBURST_A), E_NOTIMPL);
    EXPECT_EQ(m_extension.SetDiseqcPosition(2, 0), E_NOTIMPL);
    EXPECT_EQ(m_extension.SetLnbPower(1), E_NOTIMPL);
    EXPECT_TRUE(Sent().empty());
    m_extension.Release();
  }
}

TEST_F(ExtensionTest, ToneBurstOnlyFamiliesNeedAMessageOrABurst) {
  for (const char* family : {"omicom", "tbs-usb", "tbs-pcie"}) {
    SCOPED_TRACE(family);
    ResetDrivers();
    AddDriver(family);
    Select("Tuner", NET_SATELLITE);
    EXPECT_EQ(m_extension.SendDiseqc(nullptr, 0, 0, TONEBURST_NONE), E_INVALIDARG);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(m_extension.SendDiseqc(nullptr, 0, 0, TONEBURST_B), S_OK);
    m_extension.Release();
  }
}

TEST_F(ExtensionTest, S2ModulationAndSignalPropertiesDependOnTheType) {
  const struct {
    const char* family;
    LONG modulation;
  } cases[] = {{"twinhan", 23}, {"tbs-cxt", 32}, {"dvbworld", 32}, {"conexant", 32}, {"hauppauge", 32},
               {"tbs-qbox", 32}, {"tbs-nxp", 32}, {"omicom", 27},  {"tbs-pcie", 27}, {"generic", 27}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.family);
    ResetDrivers();
    AddDriver(c.family);
    Select("TBS 8920 BDA Tuner/Demod", NET_SATELLITE);
    EXPECT_EQ(m_extension.S2Modulation(), c.modulation);
    EXPECT_EQ(m_extension.SignalStrengthId(), 0u);
    m_extension.Release();
  }
  ResetDrivers();
  AddDriver("jactek");
  Select("TeVii", NET_SATELLITE);
  EXPECT_EQ(m_extension.SignalStrengthId(), 1u);
  EXPECT_EQ(m_extension.SignalQualityId(), 0u);
}

TEST_F(ExtensionTest, PositionUsesTheInputRangeExceptOnTwinhanAndWin7) {
  AddDriver("conexant");
  Select("Conexant", NET_SATELLITE);
  for (ULONG p : {1u, 2u, 3u, 4u, 5u}) m_extension.SetDiseqcPosition(p, 0);
  EXPECT_EQ(m_host.Names(), (std::vector<std::string>{"PutTunerInputRange(0)", "PutTunerInputRange(1)",
                                                      "PutTunerInputRange(256)", "PutTunerInputRange(257)",
                                                      "PutTunerInputRange(-1)"}));
}

TEST_F(ExtensionTest, Win7SequencesUseTheStandardDiseqcProperties) {
  AddDriver("microsoft");
  Select("Win7 Tuner", NET_SATELLITE);
  BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF0};
  EXPECT_EQ(m_extension.SendDiseqc(msg, 4, 1, TONEBURST_B), S_OK);
  EXPECT_EQ(m_host.Names(),
            (std::vector<std::string>{"PutDiseqRepeats(1)", "PutDiseqSendCommand(1)", "PutDiseqUseToneBurst(1)",
                                      "PutDiseqLNBSource(2)", "PutEnableDiseqCommands(1)"}));
  EXPECT_EQ(m_host.calls[1].bytes, std::vector<BYTE>(msg, msg + 4));
  m_host.calls.clear();
  EXPECT_EQ(m_extension.SetDiseqcPosition(3, 1), S_OK);
  EXPECT_EQ(m_host.Names(),
            (std::vector<std::string>{"StartChanges(0)", "PutEnableDiseqCommands(1)", "PutDiseqRepeats(2)",
                                      "PutDiseqUseToneBurst(1)", "PutDiseqLNBSource(3)", "CommitChanges(0)"}));
}

TEST_F(ExtensionTest, QuarnStreamWordCarriesStreamIdThenPls) {
  AddDriver("quarn");
  Select("Quarn", NET_SATELLITE);
  EXPECT_EQ(m_extension.SetStreamId(5), S_OK);
  EXPECT_EQ(m_extension.SetPls(1, 0x1234), S_OK);
  ASSERT_EQ(m_host.calls.size(), 2u);
  EXPECT_EQ(m_host.calls[0].value, 5);
  EXPECT_EQ(static_cast<DWORD>(m_host.calls[1].value), 5u | (1u << 26) | (0x1234u << 8));
  EXPECT_EQ(m_extension.QuarnStreamWord(), 5u | (1u << 26) | (0x1234u << 8));
}

TEST_F(ExtensionTest, JacTekAndBestunarSwitchLnbPowerByPolarisation) {
  for (const char* family : {"jactek", "bestunar"}) {
    ResetDrivers();
    m_host.calls.clear();
    AddDriver(family);
    Select("Tuner", NET_SATELLITE);
    m_extension.SetLnbPower(1);
    m_extension.SetLnbPower(0);
    EXPECT_EQ(m_host.Names(), (std::vector<std::string>{"PutTunerPolarity(1)", "PutTunerPolarity(-1)"}));
    m_extension.Release();
  }
}

TEST_F(ExtensionTest, JacTekUsesTheSetItsProbeFound) {
  VENDOR_DRIVER_OPTIONS o;
  o.jacTekAlternateSet = true;
  AddDriver("jactek", o);
  Select("TeVii", NET_SATELLITE);
  EXPECT_EQ(m_extension.ExtensionType(), EXT_JACTEK);
  BYTE msg[3] = {0xE0, 0x10, 0x38};
  EXPECT_EQ(m_extension.SendDiseqc(msg, 3, 0, 0), S_OK);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].set == KSPROPSETID_JacTekAlternate);
}

TEST_F(ExtensionTest, TwinhanKeepsToneBurstPositionAndPowerInItsLnbConfiguration) {
  AddDriver("twinhan");
  Select("Twinhan", NET_SATELLITE);
  BYTE msg[4] = {0xE0, 0x10, 0x38, 0xF1};
  EXPECT_EQ(m_extension.SendDiseqc(msg, 4, 0, TONEBURST_B), S_OK);
  EXPECT_EQ(m_extension.SetDiseqcPosition(3, 0), S_OK);
  EXPECT_EQ(m_extension.SetLnbPower(1), S_OK);
  std::vector<VENDOR_CALL> writes;
  for (const auto& c : Sent())
    if (c.code == TWINHAN_WRITE_LNB_CONFIG) writes.push_back(c);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].payload[1], 1);   // burst B
  EXPECT_EQ(writes[1].payload[17], 3);  // position, burst as given
  EXPECT_EQ(writes[1].payload[1], 0);
  EXPECT_EQ(writes[2].payload[0], 1);   // LNB on, the rest as read
  EXPECT_EQ(writes[2].payload[17], 3);
  // A burst without a message is refused after the burst was written.
  EXPECT_EQ(m_extension.SendDiseqc(nullptr, 0, 0, TONEBURST_A), E_INVALIDARG);
}

TEST_F(ExtensionTest, EmulatedTbsCxtCardListsItsVideoCaptureByModel) {
  for (const char* name : {"TBS 8922 DVBS/S2 Tuner", "Omicom SkyStar 4 BDA Tuner/Demod", "ST4200 BDA Tuner/Demod"}) {
    VENDOR_DRIVER_OPTIONS o;
    o.friendlyName = name;
    auto d = CreateEmulatedVendorDriver("tbs-cxt", o);
    ASSERT_EQ(d->Devices().size(), 1u);
    std::string model(name);
    model = model.substr(0, std::min(model.find(" BDA "), model.find(" DVBS")));
    EXPECT_EQ(d->Devices()[0].friendlyName, model + " Video Capture");
  }
}
