// The exact bytes each driver family is sent, its limits and its repeat loop.
#include <cstring>

#include "extension_fixture.h"
#include "platform/buffer_address.h"
#include "extensions/families.h"
#include "platform/vendor_guids.h"

namespace {
const BYTE kMsg[4] = {0xE0, 0x10, 0x38, 0xF0};

class FamilyTest : public ExtensionTest {
 protected:
  CKsPropertySet* On(VENDOR_OBJECT o) { return m_drivers.front()->ForObject(o); }
  std::vector<VENDOR_CALL> Calls(VENDOR_CALL::KIND kind) {
    std::vector<VENDOR_CALL> out;
    for (const auto& c : Sent())
      if (c.kind == kind) out.push_back(c);
    return out;
  }
};
}  // namespace

// The common pattern: missing interface, unsupported property, failed call.
TEST_F(FamilyTest, PropertyCallPatternReportsOnTheRightChannel) {
  AddDriver("generic");
  EXPECT_EQ(TBS_NXP_SetPLP(nullptr, 1), E_NOINTERFACE);
  EXPECT_EQ(TBS_NXP_SetPLP(On(VO_TUNER_INPUT), 1), E_NOTIMPL);
  EXPECT_EQ(m_system.GetLastError(), static_cast<DWORD>(E_NOTIMPL));
  EXPECT_NE(m_system.DebugOutput().find("TBS_NXP_SetPLP() : Get KSPROPERTY_BDA_PLPINFO not supported !\n"),
            std::string::npos);
  // Conexant reports to the log file instead.
  EXPECT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 0), E_NOTIMPL);
  EXPECT_TRUE(LogHas("CXT_DiseqSendCommand() : Set KSPROPERTY_BDA_DISEQC_MESSAGE not supported !"));
  EXPECT_EQ(m_system.DebugOutput().find("CXT_DiseqSendCommand"), std::string::npos);
}

TEST_F(FamilyTest, ConexantBlockIsRepeatedWithPauseAfterEverySend) {
  AddDriver("conexant");
  ASSERT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 2), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const auto& d = sets[i].data;
    ASSERT_EQ(d.size(), 188u);
    EXPECT_EQ(sets[i].instance.size(), 24u);
    EXPECT_EQ(d[0], i == 0 ? 0xE0 : 0xE1);
    EXPECT_EQ(d[3], 0xF0);
    EXPECT_EQ(Dword(d, 160), 4u);
    EXPECT_EQ(Dword(d, 168), 3u);
    EXPECT_EQ(Dword(d, 172), 0u);
    EXPECT_EQ(Dword(d, 176), 1u);
    EXPECT_EQ(Dword(d, 180), 3u);
    EXPECT_EQ(Dword(d, 184), 1u);
  }
  EXPECT_EQ(m_system.sleeps, (std::vector<DWORD>{100, 100, 100}));
  // The caller's message is left alone.
  EXPECT_EQ(kMsg[0], 0xE0);
}

TEST_F(FamilyTest, ConexantLimitsAndFirstFailureEndTheLoop) {
  CEmulatedVendorDriver& d = AddDriver("conexant");
  BYTE big[151] = {0xE0};
  EXPECT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), big, 151, 0), E_INVALIDARG);
  EXPECT_EQ(m_system.GetLastError(), static_cast<DWORD>(E_INVALIDARG));
  EXPECT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 3), E_INVALIDARG);
  EXPECT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 0, 0), E_INVALIDARG);
  EXPECT_TRUE(d.Calls().empty());
  EXPECT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), big, 150, 0), S_OK);
  d.ClearCalls();
  d.FailCalls(KSPROPSETID_BdaTunerExtensionProperties, 0, E_FAIL, 1, 1);
  EXPECT_EQ(CXT_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 2), E_FAIL);
  EXPECT_EQ(Calls(VENDOR_CALL::SET).size(), 2u);
  EXPECT_TRUE(LogHas("CXT_DiseqSendCommand() : Set KSPROPERTY_BDA_DISEQC_MESSAGE failed !"));
}

TEST_F(FamilyTest, BestunarAndHauppaugeUseTheConexantBlockOnTheirSets) {
  AddDriver("bestunar");
  ASSERT_EQ(BST_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 0), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_TRUE(sets[0].set == KSPROPSETID_Bestunar);
  EXPECT_EQ(Dword(sets[0].data, 172), 1u);
  EXPECT_EQ(Dword(sets[0].data, 168), 3u);
  BYTE mac[6];
  EXPECT_EQ(BST_GetMAC(On(VO_TUNER_INPUT), nullptr), E_INVALIDARG);
  EXPECT_EQ(BST_GetMAC(On(VO_TUNER_INPUT), mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
}

TEST_F(FamilyTest, TbsPcieGoesOnAfterAFailureAndTbsNxpStops) {
  CEmulatedVendorDriver& pcie = AddDriver("tbs-pcie");
  pcie.FailCalls(KSPROPSETID_BdaTunerExtensionProperties, 21, E_FAIL, 1, 1);
  EXPECT_EQ(TBS_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 2), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(Dword(sets[0].data, 0), 1u);
  EXPECT_EQ(Dword(sets[0].data, 144), 4u);
  EXPECT_EQ(sets[0].data[16], 0xE0);
  EXPECT_EQ(sets[2].data[16], 0xE1);
  EXPECT_EQ(m_system.sleeps.size(), 2u);  // only between sends
  EXPECT_NE(m_system.DebugOutput().find("TBS_DiseqSendCommand() : Set KSPROPERTY_BDA_TBSACCESS failed !"),
            std::string::npos);

  m_system.sleeps.clear();
  pcie.ClearCalls();
  pcie.FailCalls(KSPROPSETID_BdaTunerExtensionProperties, 0, E_FAIL, 1, 1);
  EXPECT_EQ(TBS_NXP_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 2), E_FAIL);
  sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].data.size(), 11u);
  EXPECT_EQ(sets[0].data[10], 4);
  EXPECT_EQ(sets[1].data[0], 0xE1);
}

TEST_F(FamilyTest, TbsMessageLimits) {
  AddDriver("tbs-pcie");
  BYTE big[129] = {0xE0};
  EXPECT_EQ(TBS_NXP_DiseqSendCommand(On(VO_TUNER_INPUT), big, 11, 0), E_INVALIDARG);
  EXPECT_EQ(TBS_NXP_DiseqSendCommand(On(VO_TUNER_INPUT), big, 10, 11), E_INVALIDARG);
  EXPECT_EQ(TBS_NXP_DiseqSendCommand(On(VO_TUNER_INPUT), big, 10, 10), S_OK);
  EXPECT_EQ(TBS_DiseqSendCommand(On(VO_TUNER_INPUT), big, 128, 0), S_OK);
  EXPECT_EQ(TBS_DiseqSendCommand(On(VO_TUNER_INPUT), big, 129, 0), E_INVALIDARG);
  EXPECT_EQ(TBS_DiseqSendCommand(On(VO_TUNER_INPUT), big, 4, 3), E_INVALIDARG);
}

TEST_F(FamilyTest, TbsAccessBlockEncodesToneBurstAndPower) {
  AddDriver("tbs-pcie");
  EXPECT_EQ(TBS_DiseqSendToneBurst(On(VO_TUNER_INPUT), 1), S_OK);
  EXPECT_EQ(TBS_DiseqSendToneBurst(On(VO_TUNER_INPUT), 0), S_OK);
  EXPECT_EQ(TBS_LNBPower(On(VO_TUNER_INPUT), 1), S_OK);
  EXPECT_EQ(TBS_LNBPower(On(VO_TUNER_INPUT), 0), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].data.size(), 536u);
  EXPECT_EQ(sets[0].instance, sets[0].data);  // instance = data
  EXPECT_EQ(Dword(sets[0].data, 0), 2u);
  EXPECT_EQ(Dword(sets[0].data, 4), 3u);
  EXPECT_EQ(Dword(sets[1].data, 4), 2u);
  EXPECT_EQ(Dword(sets[2].data, 0), 0u);
  EXPECT_EQ(Dword(sets[2].data, 12), 3u);
  EXPECT_EQ(Dword(sets[3].data, 12), 0u);
}

TEST_F(FamilyTest, ModcodeListSizes) {
  std::vector<BYTE> list(kModcodeListSize);
  EXPECT_EQ(BuildModcodeList(0, list.data()), 112u);
  EXPECT_EQ(BuildModcodeList(30, list.data()), 112u);
  EXPECT_EQ(BuildModcodeList(29, list.data()), 68u);
  // 9/10 rates never get the second flag.
  for (DWORD e = 0; e < 68; ++e) {
    DWORD m = Dword(list, 4 + e * 12);
    if (m == 11 || m == 17) {
      EXPECT_EQ(Dword(list, 4 + e * 12 + 8), 0u);
    }
  }
  EXPECT_EQ(Dword(list, 4 + 67 * 12), 17u);
  EXPECT_EQ(BuildModcodeList(11, list.data()), 2u);
  EXPECT_EQ(Dword(list, 4 + 12), 11u);
  EXPECT_EQ(Dword(list, 4 + 12 + 4), 1u);
  EXPECT_EQ(Dword(list, 4 + 12 + 8), 0u);
  EXPECT_EQ(BuildModcodeList(5, list.data()), 4u);
  EXPECT_EQ(Dword(list, 4 + 36), 5u);
  EXPECT_EQ(Dword(list, 4 + 36 + 4), 1u);
  EXPECT_EQ(Dword(list, 4 + 36 + 8), 1u);
  EXPECT_EQ(Dword(list, 4 + 4 * 12), 0u);  // the rest stays zero

  AddDriver("tbs-nxp");
  EXPECT_EQ(TBS_NXP_SetModcode(On(VO_TUNER_INPUT), 0), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].data.size(), 1348u);
  EXPECT_EQ(Dword(sets[0].data, 0), 112u);
}

TEST_F(FamilyTest, TbsSignalAndStreamBuffers) {
  VENDOR_DRIVER_OPTIONS o;
  o.rfLevel = -52;
  o.snrTenths = 87;
  o.berTimes1e7 = 40;
  AddDriver("tbs-nxp", o);
  LONG level = 0;
  double snr = 0, ber = 0;
  EXPECT_EQ(TBS_NXP_GetSignalEx(On(VO_TUNER_INPUT), &level, nullptr, &ber), E_INVALIDARG);
  ASSERT_EQ(TBS_NXP_GetSignalEx(On(VO_TUNER_INPUT), &level, &snr, &ber), S_OK);
  EXPECT_EQ(level, -52);
  EXPECT_DOUBLE_EQ(snr, 8.7);
  EXPECT_DOUBLE_EQ(ber, 40 / 1e7);
  EXPECT_EQ(TBS_NXP_SetPLP(On(VO_TUNER_INPUT), 7), S_OK);
  EXPECT_EQ(TBS_NXP_SetPLS(On(VO_TUNER_INPUT), 1, 0x2A), S_OK);
  BYTE mac[6];
  EXPECT_EQ(TBS_NXP_GetMAC(On(VO_TUNER_INPUT), 2, mac), S_OK);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1].data.size(), 260u);
  EXPECT_EQ(sent[1].data[0], 7);
  EXPECT_EQ(sent[2].data.size(), 264u);
  EXPECT_EQ(Dword(sent[2].data, 0), 0x2Au);
  EXPECT_EQ(Dword(sent[2].data, 4), 1u);
  EXPECT_EQ(Dword(sent[3].data, 0), 2u);  // tuner index
  EXPECT_EQ(std::memcmp(mac, o.mac, 6), 0);
}

TEST_F(FamilyTest, TbsUsbAndQboxBuffers) {
  VENDOR_DRIVER_OPTIONS o;
  o.berTimes1e7 = 3000;
  AddDriver("tbs-qbox", o);
  BYTE msg6[6] = {0xE0, 1, 2, 3, 4, 5};
  EXPECT_EQ(TBS_QBOX_DiseqSendCommand(On(VO_TUNER_FILTER), msg6, 6, 0), E_INVALIDARG);
  EXPECT_EQ(m_system.GetLastError(), static_cast<DWORD>(E_INVALIDARG));
  EXPECT_EQ(TBS_QBOX_DiseqSendCommand(On(VO_TUNER_FILTER), msg6, 5, 1), S_OK);
  EXPECT_EQ(TBS_QBOX_LNBPower(On(VO_TUNER_FILTER), 0x101), S_OK);
  LONG level;
  double snr, ber;
  EXPECT_EQ(TBS_USB_GetSignalEx(On(VO_TUNER_FILTER), &level, &snr, &ber), S_OK);
  EXPECT_DOUBLE_EQ(ber, 3000 / 1e18);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].data.size(), 288u);
  EXPECT_EQ(std::vector<BYTE>(sets[0].data.begin() + 21, sets[0].data.begin() + 26),
            std::vector<BYTE>(msg6, msg6 + 5));
  EXPECT_EQ(sets[1].data[21], 0xE1);
  EXPECT_EQ(sets[2].data[17], 0x01);  // low byte of the argument
}

TEST_F(FamilyTest, TbsCxtSendsThroughGetCallsAndReadsTheMacWithAccessSwitched) {
  CEmulatedVendorDriver& d = AddDriver("tbs-cxt");
  EXPECT_EQ(TBS_CXT_DiseqSendCommand(On(VO_TUNER_INPUT), kMsg, 4, 1), S_OK);
  EXPECT_EQ(TBS_CXT_LNBPower(On(VO_TUNER_INPUT), 1), S_OK);
  auto gets = Calls(VENDOR_CALL::GET);
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(gets[0].data[151], 4);
  EXPECT_EQ(Dword(gets[0].data, 168), 2u);
  EXPECT_EQ(Dword(gets[0].data, 172), 3u);
  EXPECT_EQ(gets[0].data[177], 1);
  EXPECT_EQ(Dword(gets[0].data, 180), 1u);
  EXPECT_EQ(gets[1].data[0], 0xE1);
  EXPECT_EQ(Dword(gets[2].data, 172), 0u);
  EXPECT_EQ(Dword(gets[2].data, 184), 1u);
  EXPECT_EQ(m_system.sleeps.size(), 1u);

  d.ClearCalls();
  BYTE mac[6] = {};
  ASSERT_EQ(TBS_CXT_GetMAC(On(VO_VIDEO_CAPTURE), 0x10, mac), S_OK);
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(Dword(sent[0].data, 0), 1u);
  EXPECT_EQ(sent[1].data[1], 0xA0);
  EXPECT_EQ(sent[1].data[3], 0x10);
  EXPECT_EQ(sent[1].data[11], 6);
  EXPECT_EQ(Dword(sent[2].data, 0), 0u);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);

  d.ClearCalls();
  d.FailCalls(KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 3, E_FAIL);
  EXPECT_EQ(TBS_CXT_GetMAC(On(VO_VIDEO_CAPTURE), 0x10, mac), E_FAIL);
  EXPECT_EQ(Sent().size(), 2u);  // no access-off after a failed read
}

TEST_F(FamilyTest, OmicomPassesTheRepeatCountOnce) {
  VENDOR_DRIVER_OPTIONS o;
  o.snrTenths = -15;
  AddDriver("omicom", o);
  EXPECT_EQ(OMC_DiseqSendCommand(On(VO_TUNER_FILTER), kMsg, 4, 5), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_TRUE(sets[0].instance.empty());
  EXPECT_EQ(sets[0].data.size(), 72u);
  EXPECT_EQ(Dword(sets[0].data, 0), 4u);
  EXPECT_EQ(sets[0].data[4], 0xE0);
  EXPECT_EQ(Dword(sets[0].data, 68), 5u);
  EXPECT_TRUE(m_system.sleeps.empty());
  BYTE big[65] = {};
  EXPECT_EQ(OMC_DiseqSendCommand(On(VO_TUNER_FILTER), big, 65, 0), E_INVALIDARG);
  EXPECT_EQ(OMC_DiseqSendCommand(On(VO_TUNER_FILTER), kMsg, 4, 11), E_INVALIDARG);

  BYTE mac[6] = {};
  ASSERT_EQ(OMC_GetMAC(On(VO_TUNER_FILTER), mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, o.mac, 6), 0);
  LONG level;
  double snr, ber;
  ASSERT_EQ(OMC_GetSignalEx(On(VO_TUNER_FILTER), &level, &snr, &ber), S_OK);
  EXPECT_DOUBLE_EQ(snr, -1.5);
  auto sent = Sent();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[1].data[0], 0x50);  // 7-bit address of 0xA0
  EXPECT_EQ(sent[1].data[1], 0x30);
  EXPECT_EQ(Dword(sent[1].data, 516), 1u);
  EXPECT_EQ(sent[2].data[520], 1);
  EXPECT_EQ(Dword(sent[2].data, 516), 6u);
}

TEST_F(FamilyTest, ComproAnySeeAndGenpixEncodings) {
  AddDriver("compro");
  BYTE nine[9] = {};
  EXPECT_EQ(Compro_DiseqSendCommand(On(VO_TUNER_FILTER), nine, 9, 0), E_INVALIDARG);
  EXPECT_EQ(Compro_DiseqSendCommand(On(VO_TUNER_FILTER), kMsg, 4, 1), S_OK);
  EXPECT_EQ(Compro_LNBPower(On(VO_TUNER_FILTER), 1), S_OK);
  EXPECT_EQ(Compro_LNBPower(On(VO_TUNER_FILTER), 0), S_OK);
  EXPECT_EQ(Compro_GetMAC(On(VO_TUNER_FILTER), nullptr), E_POINTER);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].instance.size(), 28u);
  EXPECT_EQ(sets[0].data.size(), 8u);
  EXPECT_EQ(sets[1].data[0], 0xE1);
  EXPECT_EQ(Dword(sets[2].data, 0), 3u);
  EXPECT_EQ(Dword(sets[3].data, 0), 2u);
  EXPECT_EQ(m_system.sleeps.size(), 2u);

  ResetDrivers();
  AddDriver("anysee");
  EXPECT_EQ(AnySee_DiseqSendCommand(On(VO_CAPTURE), nullptr, 0, 0, 0), S_FALSE);
  EXPECT_EQ(AnySee_DiseqSendCommand(On(VO_CAPTURE), nullptr, 0, 0, 3), E_INVALIDARG);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(AnySee_DiseqSendCommand(On(VO_CAPTURE), nullptr, 0, 0, TONEBURST_B), S_OK);
  EXPECT_EQ(AnySee_DiseqSendCommand(On(VO_CAPTURE), kMsg, 4, 0, 0), S_OK);
  sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].data.size(), 48u);
  EXPECT_EQ(sets[0].data[44], 2);
  EXPECT_EQ(Dword(sets[0].data, 24), 0u);
  EXPECT_EQ(Dword(sets[1].data, 24), 4u);
  EXPECT_EQ(sets[1].data[28], 0xE0);

  ResetDrivers();
  AddDriver("genpix-3dparty");
  EXPECT_EQ(GenpixOld_DiseqSendCommand(On(VO_TUNER_OUTPUT), nullptr, 0, 0, TONEBURST_A), S_OK);
  BYTE seven[7] = {};
  EXPECT_EQ(GenpixOld_DiseqSendCommand(On(VO_TUNER_OUTPUT), seven, 7, 0, 0), E_INVALIDARG);
  sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].data, (std::vector<BYTE>{0, 0, 0, 0, 0, 0, 1}));

  ResetDrivers();
  AddDriver("genpix");
  m_system.sleeps.clear();
  EXPECT_EQ(Genpix_DiseqSendCommand(On(VO_TUNER_FILTER), kMsg, 4, 2, 0), S_OK);
  EXPECT_EQ(Genpix_DiseqSendCommand(On(VO_TUNER_FILTER), nullptr, 0, 0, TONEBURST_B), S_OK);
  sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].data.size(), 68u);
  EXPECT_EQ(Dword(sets[0].data, 36), 2u);
  EXPECT_EQ(Dword(sets[0].data, 40), 4u);
  EXPECT_EQ(sets[0].data[44], 0xE0);
  EXPECT_EQ(sets[1].data[44], 1);
  EXPECT_TRUE(m_system.sleeps.empty());
}

TEST_F(FamilyTest, NetupEnvelopesAddressTheEepromByTunerIndex) {
  AddDriver("netup");
  BYTE mac[6] = {};
  ASSERT_EQ(Netup_GetMAC(On(VO_TUNER_OUTPUT), 1, mac), S_OK);
  ASSERT_EQ(Netup_GetMAC(On(VO_TUNER_OUTPUT), 0, mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  EXPECT_EQ(Netup_DiseqSendCommand(On(VO_TUNER_OUTPUT), kMsg, 4, 1), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].code, 0x820050u);
  EXPECT_EQ(sets[0].payload, std::vector<BYTE>{70});
  EXPECT_EQ(Dword(sets[0].data, 8), 1u);
  EXPECT_EQ(Dword(sets[0].data, 16), 6u);
  EXPECT_EQ(sets[1].payload, std::vector<BYTE>{64});
  EXPECT_EQ(sets[2].code, 0x100000u);
  EXPECT_EQ(sets[2].payload, std::vector<BYTE>(kMsg, kMsg + 4));
  EXPECT_EQ(Dword(sets[2].data, 12), 0u);  // no reply buffer
  EXPECT_EQ(sets[3].payload[0], 0xE1);
  EXPECT_EQ(m_system.sleeps.size(), 2u);
}

TEST_F(FamilyTest, QuarnAndJacTekBuffers) {
  VENDOR_DRIVER_OPTIONS o;
  o.rfLevel = -60;
  AddDriver("quarn", o);
  EXPECT_EQ(Quarn_DiseqSendCommand(On(VO_TUNER_FILTER), kMsg, 4, 0), S_OK);
  LONG level;
  double snr, ber;
  EXPECT_EQ(Quarn_GetSignal(On(VO_TUNER_FILTER), &level, &snr, &ber), S_OK);
  EXPECT_EQ(level, -60);
  auto sent = Sent();
  EXPECT_EQ(sent[0].data.size(), 88u);
  EXPECT_EQ(Dword(sent[0].data, 52), 4u);
  EXPECT_EQ(sent[0].data[56], 0xE0);

  ResetDrivers();
  CEmulatedVendorDriver& j = AddDriver("jactek");
  m_system.sleeps.clear();
  EXPECT_EQ(TeVii_DiseqSendCommand(On(VO_TUNER_INPUT), KSPROPSETID_JacTek, kMsg, 4, 11), E_INVALIDARG);
  EXPECT_EQ(TeVii_DiseqSendCommand(On(VO_TUNER_INPUT), KSPROPSETID_JacTek, kMsg, 4, 2), S_OK);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].data.size(), 160u);
  EXPECT_EQ(sets[0].data[151], 4);
  EXPECT_EQ(Dword(sets[0].data, 152), 0u);
  EXPECT_EQ(Dword(sets[1].data, 152), 0u);
  EXPECT_EQ(Dword(sets[2].data, 152), 1u);  // last send only
  EXPECT_EQ(m_system.sleeps.size(), 2u);
  j.FailCalls(KSPROPSETID_JacTek, 2, E_FAIL);
  EXPECT_EQ(TeVii_DiseqSendCommand(On(VO_TUNER_INPUT), KSPROPSETID_JacTek, kMsg, 4, 0), E_FAIL);
  EXPECT_NE(m_system.DebugOutput().find("TeVii_DiseqSendCommand() : Get KSPROPERTY_BDA_DISEQC failed !"),
            std::string::npos);
}

TEST_F(FamilyTest, TwinhanEnvelopeCarriesCommandAndBuffers) {
  AddDriver("twinhan");
  EXPECT_EQ(Twinhan_SendDiseqc(On(VO_TUNER_INPUT), kMsg, 4), S_OK);
  BYTE mac[6] = {};
  EXPECT_EQ(Twinhan_GetMAC(On(VO_TUNER_INPUT), mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  auto sets = Calls(VENDOR_CALL::SET);
  ASSERT_EQ(sets.size(), 2u);
  const auto& e = sets[0].data;
  ASSERT_EQ(e.size(), 40u);
  EXPECT_EQ(sets[0].instance.size(), 24u);
  EXPECT_EQ(Dword(e, 0), 0x255E0082u);
  EXPECT_EQ(e[8], 0x90);
  EXPECT_EQ(Dword(e, 16), TWINHAN_DISEQC_MESSAGE);
  EXPECT_EQ(Dword(e, 24), 16u);
  EXPECT_EQ(Dword(e, 28), 0u);
  EXPECT_EQ(Dword(sets[0].payload, 0), 4u);
  EXPECT_EQ(sets[0].payload[4], 0xE0);
  EXPECT_EQ(Dword(sets[1].data, 16), TWINHAN_DEVICE_INFO);
  EXPECT_EQ(Dword(sets[1].data, 32), 240u);
}

TEST_F(FamilyTest, DvbWorldTalksToTheKernelHandle) {
  AddDriver("dvbworld");
  m_io.Install("\\\\?\\dw", m_drivers[0]->KernelDevice());
  HANDLE h = m_io.Open("\\\\?\\dw", kTechnotrendOpenMode);
  BYTE request[16] = {};
  EXPECT_EQ(DW_KsProperty(h, request, 16, nullptr, 0, nullptr), E_INVALIDARG);
  // A kernel-streaming handle is overlapped: a plain request never completes there.
  DWORD got = 0;
  EXPECT_FALSE(m_io.IoControl(h, 0x2F0003, request, 16, nullptr, 0, &got));
  EXPECT_EQ(DW_DiseqSendCommand(INVALID_HANDLE_VALUE, kMsg, 4, 0), E_HANDLE);
  EXPECT_EQ(DW_Probe(h), S_OK);
  EXPECT_EQ(DW_DiseqSendCommand(h, kMsg, 4, 1), S_OK);
  BYTE mac[6] = {};
  EXPECT_EQ(DW_GetMAC(h, mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  auto io = Calls(VENDOR_CALL::IOCTL);
  ASSERT_EQ(io.size(), 4u);
  EXPECT_EQ(io[1].code, 0x2F0003u);
  EXPECT_EQ(io[1].data.size(), 276u);
  EXPECT_EQ(Dword(io[1].data, 272), 4u);
  EXPECT_EQ(io[1].data[16], 0xE0);
  EXPECT_EQ(io[2].data[16], 0xE1);
  EXPECT_EQ(io[3].data.size(), 24u);
  EXPECT_EQ(m_system.sleeps.size(), 2u);
  m_drivers[0]->FailIoControl(0x2F0003);
  EXPECT_NE(DW_DiseqSendCommand(h, kMsg, 4, 2), S_OK);
  EXPECT_TRUE(LogHas("DW_DiseqSendCommand() : failed !"));
  m_io.Close(h);
}

TEST_F(FamilyTest, GeniatechMacRequest) {
  AddDriver("geniatech");
  BYTE mac[6] = {};
  ASSERT_EQ(Geniatech_GetMAC(On(VO_CAPTURE), mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  auto gets = Calls(VENDOR_CALL::GET);
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_EQ(gets[0].instance.size(), 80u);
  EXPECT_EQ(gets[0].instance[0], 0xA2);
  EXPECT_EQ(gets[0].instance[8], 0x1F);
  EXPECT_EQ(gets[0].instance[9], 0xF0);
  EXPECT_EQ(gets[0].data.size(), 104u);
}

namespace {
// A Netup driver that delivers fewer bytes than asked.
class CShortReadNetup final : public CKsPropertySet {
 public:
  HRESULT QuerySupported(const GUID&, DWORD, DWORD* support) override {
    *support = KSPROPERTY_SUPPORT_SET;
    return S_OK;
  }
  HRESULT Get(const GUID&, DWORD, void*, DWORD, void*, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT Set(const GUID&, DWORD, void*, DWORD, void* data, DWORD) override {
    const BYTE* command = static_cast<const BYTE*>(data);
    BYTE* reply = static_cast<BYTE*>(DwordToBufferAddress(GetDword(command, 12)));
    BYTE* count = static_cast<BYTE*>(DwordToBufferAddress(GetDword(command, 20)));
    std::memset(reply, 0xAB, 4);
    PutDword(count, 0, 4);
    return S_OK;
  }
};
}  // namespace

TEST_F(FamilyTest, NetupShortReadIsLoggedAndNotPassedOnAsAMac) {
  CShortReadNetup netup;
  BYTE mac[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(Netup_GetMAC(&netup, 0, mac), E_FAIL);
  EXPECT_EQ(mac[0], 1);
  EXPECT_TRUE(LogHas("Netup_I2CWriteRead - received 4 instead 6 bytes !"));
}

TEST_F(FamilyTest, TbsCxtMacFailingAccessOffIsReportedButTheReadCounts) {
  CEmulatedVendorDriver& d = AddDriver("tbs-cxt");
  d.FailCalls(KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 0, E_FAIL, 1, 1);
  BYTE mac[6] = {};
  EXPECT_EQ(TBS_CXT_GetMAC(On(VO_VIDEO_CAPTURE), 0xA0, mac), S_OK);
  EXPECT_EQ(std::memcmp(mac, VENDOR_DRIVER_OPTIONS{}.mac, 6), 0);
  EXPECT_NE(m_system.DebugOutput().find("TBS_CXT_GetMAC() : Set KSPROPSETID_CX_GOSHAWK2_DIAG_PROP failed !"),
            std::string::npos);
}
