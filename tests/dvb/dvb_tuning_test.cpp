// The pure translations of the DVB platform: scrambling codes, switch messages and the
// mapping of BDA values the device-layer tests do not reach.
#include <gtest/gtest.h>

#include "platform/linux/dvb_tuning.h"

TEST(DvbTuning, PlsRootCodesBecomeGoldCodes) {
  EXPECT_EQ(PlsGoldCode(0, 1), 0);  // root 1 is gold 0
  EXPECT_EQ(PlsGoldCode(1, 262141), 262141);
  EXPECT_EQ(PlsGoldCode(0, 0), -1);
  EXPECT_EQ(PlsGoldCode(1, 0x40000), -1);
  EXPECT_EQ(PlsGoldCode(2, 5), -1);
  // Round trip: the root a gold code's register holds maps back to that gold code.
  DWORD x = 1;
  for (int g = 0; g < 1000; ++g) x = (((x ^ (x >> 7)) & 1) << 17) | (x >> 1);
  EXPECT_EQ(PlsGoldCode(0, x), 1000);
}

TEST(DvbTuning, SwitchMessageAndSupplyFollowPortBandAndPolarisation) {
  dvb_diseqc_master_cmd cmd;
  CommittedSwitchMessage(1, false, 2, &cmd);
  EXPECT_EQ(cmd.msg_len, 4);
  EXPECT_EQ(cmd.msg[0], 0xE0);
  EXPECT_EQ(cmd.msg[3], 0xF0);
  CommittedSwitchMessage(4, true, 1, &cmd);
  EXPECT_EQ(cmd.msg[3], 0xFF);
  CommittedSwitchMessage(9, false, 3, &cmd);  // out of range ports stay on the last port
  EXPECT_EQ(cmd.msg[3], 0xFE);

  fe_sec_voltage v;
  EXPECT_FALSE(VoltageOfPolarisation(-1, &v));
  ASSERT_TRUE(VoltageOfPolarisation(4, &v));
  EXPECT_EQ(v, SEC_VOLTAGE_13);
  ASSERT_TRUE(VoltageOfPolarisation(3, &v));
  EXPECT_EQ(v, SEC_VOLTAGE_18);
}

TEST(DvbTuning, PlansRefuseWhatTheFrontendCannotCarry) {
  DVB_TUNE_VALUES v;
  v.frequency = 11000000;
  v.modulation = 27;  // DVB-S2
  DVB_TUNE_PLAN plan;
  std::string reason;
  EXPECT_FALSE(PlanTuning(v, 1, {SYS_DVBS}, &plan, &reason));
  EXPECT_FALSE(reason.empty());
  v.frequency = kDvbNotSet;
  EXPECT_FALSE(PlanTuning(v, 1, {SYS_DVBS2}, &plan, &reason));
  // A DVB-S tuning on a frontend that names only DVB-S2 runs as DVB-S2 QPSK.
  v.frequency = 11000000;
  v.modulation = 20;
  v.lofLow = 9750000;
  v.lofHigh = 10600000;
  v.lnbSwitch = 11700000;
  ASSERT_TRUE(PlanTuning(v, 1, {SYS_DVBS2}, &plan, &reason)) << reason;
  EXPECT_EQ(plan.properties[1].u.data, uint32_t(SYS_DVBS2));
  EXPECT_EQ(plan.sec.intermediateKhz, 1250000u);
  // Terrestrial with a PLP is DVB-T2 and carries the stream id.
  DVB_TUNE_VALUES t;
  t.frequency = 506000;
  t.bandwidth = 2;
  t.havePlp = true;
  t.plp = 3;
  ASSERT_TRUE(PlanTuning(t, 3, {SYS_DVBT, SYS_DVBT2}, &plan, &reason)) << reason;
  EXPECT_EQ(plan.properties[1].u.data, uint32_t(SYS_DVBT2));
  bool sawBandwidth = false, sawStream = false;
  for (const dtv_property& p : plan.properties) {
    if (p.cmd == DTV_BANDWIDTH_HZ) sawBandwidth = p.u.data == 7000000;
    if (p.cmd == DTV_STREAM_ID) sawStream = p.u.data == 3;
  }
  EXPECT_TRUE(sawBandwidth);
  EXPECT_TRUE(sawStream);
}
