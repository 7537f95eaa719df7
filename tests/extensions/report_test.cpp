// The probe tool's extension commands: parsing and the calls they make.
#include "extension_fixture.h"
#include "extensions/extension_report.h"

TEST_F(ExtensionTest, ProbeOptionsParseAndReachTheExtension) {
  EXTENSION_COMMAND c;
  std::string error;
  EXPECT_TRUE(ParseExtensionOption("--diseqc", "E0 10 38 F3", &c, &error));
  EXPECT_EQ(c.message, (std::vector<BYTE>{0xE0, 0x10, 0x38, 0xF3}));
  EXPECT_FALSE(ParseExtensionOption("--diseqc", "E01", &c, &error));
  EXPECT_FALSE(ParseExtensionOption("--diseqc", "XY", &c, &error));
  EXPECT_FALSE(ParseExtensionOption("--tone-burst", "C", &c, &error));
  EXPECT_FALSE(ParseExtensionOption("--lnb-power", "2", &c, &error));
  EXPECT_FALSE(ParseExtensionOption("--pls", "1", &c, &error));
  EXPECT_FALSE(ParseExtensionOption("--modcode", "7x", &c, &error));
  EXPECT_TRUE(ParseExtensionOption("--pls", "1,262143", &c, &error));
  EXPECT_EQ(c.first, 1);
  EXPECT_EQ(c.second, 262143);
  EXPECT_EQ(CapabilityNames(0x011), "CAP_DISEQC|CAP_LNB_POWER");
  EXPECT_EQ(CapabilityNames(0), "none");

  AddDriver("tbs-pcie");
  Select("TBS 6903 Tuner A", NET_SATELLITE);
  FILE* out = std::tmpfile();
  ASSERT_TRUE(out);
  ASSERT_TRUE(ParseExtensionOption("--tone-burst", "B", &c, &error));
  EXPECT_EQ(RunExtensionCommand(m_extension, c, out), S_OK);
  ASSERT_TRUE(ParseExtensionOption("--diseqc", "E0103800", &c, &error));
  EXPECT_EQ(RunExtensionCommand(m_extension, c, out), S_OK);
  PrintExtensionSummary(m_extension, out);
  std::rewind(out);
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), out)) text += buffer;
  std::fclose(out);
  EXPECT_NE(text.find("SendDiseqc burst B -> 0x00000000\n"), std::string::npos);
  EXPECT_NE(text.find("SendDiseqc E0103800 -> 0x00000000\n"), std::string::npos);
  EXPECT_NE(text.find("extension: Turbosight-PCIE BDA extension (21)"), std::string::npos);
  EXPECT_NE(text.find("hardware MAC: 00-08-CA-12-34-56"), std::string::npos);
  EXPECT_NE(text.find("signal: RF level -45 dBm, SNR 12.3 dB"), std::string::npos);
  auto sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(Dword(sent[0].data, 0), 2u);  // tone burst through the access block
  EXPECT_EQ(Dword(sent[1].data, 144), 4u);
}
