// The socket's request lines, a connection's session, the status block's text and
// velvetfin-remote's command line: pure rules, checked on every platform.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "remote/receiver_figures.h"
#include "remote/remote_command_line.h"
#include "remote/remote_control.h"
#include "remote/remote_protocol.h"

namespace {

REMOTE_REQUEST Parsed(const std::string& line, std::string* error = nullptr) {
  REMOTE_REQUEST r;
  std::string e;
  r.message = ParseRemoteRequest(line, &r, &e) ? r.message : "<" + e + ">";
  if (error) *error = e;
  return r;
}

}  // namespace

TEST(RemoteRequest, WellFormedLinesParseAndEverythingElseIsRefused) {
  REMOTE_REQUEST r = Parsed("GRAYHERON_TUNER 1 11778000");
  EXPECT_EQ(r.message, "GRAYHERON_TUNER");
  EXPECT_EQ(r.wParam, 1u);
  EXPECT_EQ(r.lParam, 11778000u);
  // The value is the message's 32 bits, written signed or unsigned; a CR LF line ends too.
  EXPECT_EQ(Parsed("GRAYHERON_FILTER 4294967295 -1\r").lParam, 0xFFFFFFFFu);
  EXPECT_EQ(Parsed("GRAYHERON_FILTER 4294967295 -1").wParam, 0xFFFFFFFFu);
  EXPECT_EQ(Parsed("A 0 -2147483648").lParam, 0x80000000u);
  EXPECT_EQ(Parsed("A 0 4294967295").lParam, 0xFFFFFFFFu);
  for (const char* bad : {"", "GRAYHERON_TUNER", "GRAYHERON_TUNER 1", "GRAYHERON_TUNER 1 2 3", "GRAYHERON_TUNER  1 2",
                          "GRAYHERON_TUNER 1 2 ", " GRAYHERON_TUNER 1 2", "GRAYHERON_TUNER +1 2", "GRAYHERON_TUNER 1 +2",
                          "GRAYHERON_TUNER -1 2", "GRAYHERON_TUNER 4294967296 0", "GRAYHERON_TUNER 0 4294967296",
                          "GRAYHERON_TUNER 0 -2147483649", "GRAYHERON_TUNER 00000000001 0", "GRAYHERON_TUNER 0x1 0",
                          "GRAYHERON_TUNER 1 -", "GRAY HERON 1 2", "GRAY/HERON 1 2", "GRAYHERON\tTUNER 1 2"}) {
    std::string error;
    EXPECT_EQ(Parsed(bad, &error).message[0], '<') << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(Parsed(std::string(65, 'A') + " 1 1").message, "<malformed message name>");
  EXPECT_EQ(Parsed(std::string(kRemoteLineMax, 'A')).message, "<request too long>");
  // What a client writes is what the server reads.
  REMOTE_REQUEST out{"GRAYHERON_FILTER", 4, 0xC0A8EEEEu};
  EXPECT_EQ(FormatRemoteRequest(out), "GRAYHERON_FILTER 4 3232296686\n");
  REMOTE_REQUEST back = Parsed("GRAYHERON_FILTER 4 3232296686");
  EXPECT_EQ(back.lParam, out.lParam);
  REMOTE_ANSWER answer;
  ASSERT_TRUE(ParseRemoteAnswer("OK -5", &answer));
  EXPECT_TRUE(answer.ok);
  EXPECT_EQ(answer.result, -5);
  ASSERT_TRUE(ParseRemoteAnswer("ERR busy", &answer));
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.error, "busy");
  for (const char* bad : {"OK", "OK ", "OK 1x", "ok 1", "1", "OK 1234567890123456789"})
    EXPECT_FALSE(ParseRemoteAnswer(bad, &answer)) << bad;
}

TEST(RemoteSession, AnswersEachLineInOrderHoweverTheBytesArriveAndEndsOnAnOverlongLine) {
  const std::string input =
      "GRAYHERON_TUNER 1 11778000\nnonsense\nGRAYHERON_OTHER 1 1\r\nGRAYHERON_FILTER 99 0\nGRAYHERON_TUNER 0 0\n";
  const std::string expected =
      "OK 1\nERR malformed request: expected MESSAGE WPARAM LPARAM\nERR unknown message GRAYHERON_OTHER\nOK 0\nOK 1\n";
  // Every split of the input into two writes gives the same answers and dispatches.
  for (size_t cut = 0; cut <= input.size(); ++cut) {
    std::vector<std::string> dispatched;
    CRemoteSession session([&](const REMOTE_REQUEST& r, long long* result) {
      if (r.message == "GRAYHERON_OTHER") return false;
      dispatched.push_back(FormatRemoteRequest(r));
      *result = r.wParam <= 15 ? 1 : 0;
      return true;
    });
    std::string out;
    EXPECT_TRUE(session.Feed(input.data(), cut, &out));
    EXPECT_TRUE(session.Feed(input.data() + cut, input.size() - cut, &out));
    EXPECT_EQ(out, expected) << cut;
    EXPECT_EQ(dispatched, (std::vector<std::string>{"GRAYHERON_TUNER 1 11778000\n", "GRAYHERON_FILTER 99 0\n",
                                                    "GRAYHERON_TUNER 0 0\n"}));
  }
  // A line that never ends is refused as soon as it passes the limit, and the session stays shut.
  int calls = 0;
  CRemoteSession session([&](const REMOTE_REQUEST&, long long*) { return ++calls, true; });
  std::string flood(kRemoteLineMax - 1, 'A'), out;
  EXPECT_TRUE(session.Feed(flood.data(), flood.size(), &out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(session.Feed("A", 1, &out));
  EXPECT_EQ(out, "ERR request too long\n");
  EXPECT_FALSE(session.Feed("GRAYHERON_TUNER 0 0\n", 20, &out));
  EXPECT_EQ(calls, 0);
  // Also when the overlong line's newline came with it.
  CRemoteSession second([&](const REMOTE_REQUEST&, long long*) { return ++calls, true; });
  std::string line = std::string(200, 'B') + "\nGRAYHERON_TUNER 0 0\n";
  out.clear();
  EXPECT_FALSE(second.Feed(line.data(), line.size(), &out));
  EXPECT_EQ(out, "ERR request too long\n");
  EXPECT_EQ(calls, 0);
}

TEST(StatusBlock, NamesTextAndTheBytesAShorterTextLeavesBehind) {
  EXPECT_EQ(StatusBlockName(0), "Grayheron//Tuner");
  EXPECT_EQ(StatusBlockName(2), "Grayheron2//Tuner");
  unsigned char block[kStatusBlockSize] = {};
  EXPECT_FALSE(ParseStatusBlock(block, sizeof block).valid) << "nothing read yet";
  WriteStatusText(block, sizeof block, "1\n85\n70\n");
  WriteStatusText(block, sizeof block, "0\n0\n0\n");
  // No terminating zero: the last two bytes of the older text stay behind the new one.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 9), std::string("0\n0\n0\n0\n\0", 9));
  STATUS_BLOCK_TEXT s = ParseStatusBlock(block, sizeof block);
  ASSERT_TRUE(s.valid);
  EXPECT_FALSE(s.extended);
  EXPECT_EQ(FormatStatusLines(s), "lock 0\nlevel 0\nquality 0\n");

  WriteStatusText(block, sizeof block, "1\n80\n75\n-41\n12.50\n0.000010\n");
  s = ParseStatusBlock(block, sizeof block);
  EXPECT_EQ(FormatStatusLines(s), "lock 1\nlevel 80\nquality 75\nrf -41\nsnr 12.50\nber 0.000010\n");
  // A three-line text over it leaves pieces that are no signal data.
  WriteStatusText(block, sizeof block, "0\n0\n0\n");
  s = ParseStatusBlock(block, sizeof block);
  EXPECT_TRUE(s.valid);
  EXPECT_FALSE(s.extended) << FormatStatusLines(s);
  // Text longer than the block is cut at its end; garbage is not read as a status.
  std::string longText(300, '7');
  WriteStatusText(block, sizeof block, longText);
  EXPECT_EQ(block[kStatusBlockSize - 1], '7');
  EXPECT_FALSE(ParseStatusBlock(block, sizeof block).valid);
  const char* odd[] = {"x\n1\n1\n", "1\n1\n", "-\n1\n1\n", "1.5\n1\n1\n", "123456789012\n1\n1\n"};
  for (const char* text : odd) {
    unsigned char b[kStatusBlockSize] = {};
    std::memcpy(b, text, std::strlen(text));
    EXPECT_FALSE(ParseStatusBlock(b, sizeof b).valid) << text;
  }
}

TEST(RemoteCommandLine, NamesNumbersValuesAndSeveralRequests) {
  REMOTE_COMMAND_LINE line;
  ASSERT_EQ(ParseRemoteCommandLine({"--instance", "2", "tuner", "freq", "11778000", "--", "tuner", "apply", "--",
                                    "filter", "ip", "192.168.238.238", "--", "filter", "4", "3232296686", "--",
                                    "status"},
                                   &line),
            "");
  EXPECT_EQ(line.instance, 2u);
  ASSERT_EQ(line.actions.size(), 5u);
  EXPECT_EQ(FormatRemoteRequest(line.actions[0].request), "GRAYHERON_TUNER 1 11778000\n");
  EXPECT_EQ(line.actions[0].label, "tuner 1 11778000");
  EXPECT_EQ(FormatRemoteRequest(line.actions[1].request), "GRAYHERON_TUNER 0 0\n");
  EXPECT_EQ(line.actions[2].request.lParam, 0xC0A8EEEEu);
  EXPECT_EQ(line.actions[3].request.lParam, 0xC0A8EEEEu);
  EXPECT_TRUE(line.actions[4].status);
  EXPECT_FALSE(line.actions[4].watch);

  line = {};
  ASSERT_EQ(ParseRemoteCommandLine({"status", "--json", "--watch"}, &line), "");
  EXPECT_TRUE(line.actions[0].json && line.actions[0].watch);

  line = {};
  ASSERT_EQ(ParseRemoteCommandLine({"filter", "99"}, &line), "");
  EXPECT_EQ(line.actions[0].label, "filter 99 0");
  ASSERT_EQ(ParseRemoteCommandLine({"--help"}, &(line = {})), "");
  EXPECT_TRUE(line.help);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {}, {"--instance"}, {"--instance", "x", "status"}, {"--verbose", "status"}, {"tuner"},
           {"tuner", "tune"}, {"tuner", "1", "2", "3"}, {"tuner", "1", "11.5"}, {"tuner", "1", "4294967296"},
           {"tuner", "1", "192.168.1.1"}, {"filter", "ip", "192.168.1.256"}, {"filter", "ip", "1.2.3"},
           {"radio", "1"}, {"tuner", "0", "--"}, {"--", "tuner", "0"}, {"status", "--watch", "--", "tuner", "0"},
           {"tuner", "0", "--", "status", "--watch"}, {"status", "--all"}, {"status", "--json", "--", "status", "--watch"}}) {
    line = {};
    EXPECT_NE(ParseRemoteCommandLine(bad, &line), "") << (bad.empty() ? "" : bad[0]);
  }
}

// The figures block, the JSON line and the metrics text: what scripts and Prometheus read.
TEST(ReceiverFigures, BlockRoundTripsTornTextIsRefusedJsonAndMetricsNameEveryFigure) {
  RECEIVER_FIGURES f;
  f.instance = 2;
  f.profile = "Astra \"19.2\\E\"\nX";
  f.locked = true;
  f.level = 80;
  f.quality = 75;
  f.extended = true;
  f.rfLevel = -41;
  f.snr = 12.5;
  f.ber = 1e-6;
  f.icon = 203;
  f.filterBytesPerSecond[2] = 1250.5;
  f.filterBytes[2] = 1ull << 40;
  f.packetsWritten = 851;
  f.bytesWritten = 908292;
  f.packetsFailed = 3;
  f.crcErrors = 7;
  f.retunes = 1;
  std::string text = FormatFiguresText(f);
  ASSERT_LT(text.size(), kFiguresBlockSize);
  std::vector<unsigned char> block(kFiguresBlockSize, 0);
  std::memcpy(block.data(), text.data(), text.size());
  RECEIVER_FIGURES back;
  ASSERT_TRUE(ParseFiguresText(block.data(), block.size(), &back));
  EXPECT_EQ(back.profile, "Astra \"19.2\\E\" X");  // a line break cannot pass into the block
  EXPECT_EQ(back.filterBytes[2], 1ull << 40);
  EXPECT_EQ(back.packetsFailed, 3u);
  EXPECT_DOUBLE_EQ(back.ber, 1e-6);
  EXPECT_EQ(back.rfLevel, -41);
  // Cut short, a key twice or missing, a bad number, a foreign text: not figures.
  for (const std::string& bad : {text.substr(0, text.size() - 4), "lock 1\n" + text, text.substr(text.find('\n') + 1),
                                 std::string("instance x\n") + text.substr(text.find('\n') + 1), std::string("0\n0\n0\n")}) {
    std::vector<unsigned char> b(kFiguresBlockSize, 0);
    std::memcpy(b.data(), bad.data(), bad.size());
    EXPECT_FALSE(ParseFiguresText(b.data(), b.size(), &back)) << bad;
  }
  // A profile name longer than the block is cut, never the figures.
  f.profile = std::string(5000, 'p');
  EXPECT_LT(FormatFiguresText(f).size(), kFiguresBlockSize);
  f.profile = "Standard";

  // JSON: the block's signal, extended only when there; the figures, or nulls without them.
  const char* extended = "1\n80\n75\n-41\n12.50\n0.000001\n";
  STATUS_BLOCK_TEXT s = ParseStatusBlock(reinterpret_cast<const unsigned char*>(extended), std::strlen(extended));
  ASSERT_TRUE(s.extended);
  EXPECT_EQ(FormatStatusJson(2, s, &f),
            "{\"instance\":2,\"lock\":true,\"level\":80,\"quality\":75,\"snr_db\":12.50,\"ber\":0.000001,"
            "\"rf_level_dbm\":-41,\"icon\":203,\"profile\":\"Standard\",\"rates_bytes_per_second\":{\"unicast\":0,"
            "\"broadcast\":0,\"multicast\":1250.5,\"total\":1250.5},\"packets_written\":851,\"packets_failed\":3}");
  STATUS_BLOCK_TEXT plain = ParseStatusBlock(reinterpret_cast<const unsigned char*>("0\n0\n0\n"), 6);
  f.profile = "a\"b\\c\x01";
  EXPECT_NE(FormatStatusJson(0, plain, &f).find("\"profile\":\"a\\\"b\\\\c\\u0001\""), std::string::npos);
  EXPECT_EQ(FormatStatusJson(0, plain, nullptr),
            "{\"instance\":0,\"lock\":false,\"level\":0,\"quality\":0,\"icon\":null,\"profile\":null,"
            "\"rates_bytes_per_second\":null,\"packets_written\":null,\"packets_failed\":null}");

  // Metrics: every family typed, counters _total, labels escaped, extended gauges only when offered.
  std::string m = FormatMetricsText(f);
  for (const char* line : {"# TYPE velvetfin_signal_snr_decibels gauge\n", "# TYPE velvetfin_crc_errors_total counter\n",
                           "velvetfin_adapter_write_failures_total{instance=\"2\"} 3\n",
                           "velvetfin_filter_receive_bytes_total{instance=\"2\",filter=\"multicast\"} 1099511627776\n",
                           "velvetfin_filter_receive_rate_bytes_per_second{instance=\"2\",filter=\"multicast\"} 1250.5\n",
                           "velvetfin_info{instance=\"2\",profile=\"a\\\"b\\\\c\x01\"} 1\n",
                           "velvetfin_signal_level_ratio{instance=\"2\"} 0.8\n", "velvetfin_retunes_total{instance=\"2\"} 1\n"})
    EXPECT_NE(m.find(line), std::string::npos) << line << m;
  f.extended = false;
  EXPECT_EQ(FormatMetricsText(f).find("snr"), std::string::npos);

  // A counter the pages zero keeps counting up.
  CMonotonicTotal total;
  EXPECT_EQ(total.Update(100), 100u);
  EXPECT_EQ(total.Update(150), 150u);
  EXPECT_EQ(total.Update(20), 170u);  // zeroed, then 20 more
  EXPECT_EQ(total.Update(20), 170u);
}

TEST(ReceiverFigures, MetricsFileIsReplacedWholeAndAFailureSaysWhy) {
  const std::string dir = testing::TempDir() + "vf-metrics-" + std::to_string(std::rand());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/velvetfin.prom";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, std::string(100000, 'a'), &error)) << error;
  ASSERT_TRUE(WriteFileAtomically(path, "short\n", &error)) << error;
  {
    // Closed before the folder goes: Windows keeps an open file from being removed.
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "short\n");
  }
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
  EXPECT_FALSE(WriteFileAtomically(dir + "/missing/velvetfin.prom", "x", &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  EXPECT_FALSE(ec) << ec.message();
}
