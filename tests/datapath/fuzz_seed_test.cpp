// The data-path fuzz targets' seeds, replayed in every build: each is a case the
// fuzzers once found or were started from, and must stay sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/fuzz_arrangement.h"

namespace {
using TARGET = const char* (*)(const uint8_t*, size_t);

// Seeds of one corpus folder, each run through its target; returns how many.
size_t Replay(const char* corpus, TARGET target) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(VF_TESTDATA_DIR) / ".." / ".." / "fuzz" / "corpus" / corpus;
  std::error_code ec;
  size_t count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const char* problem = target(bytes.data(), bytes.size());
    EXPECT_EQ(problem, nullptr) << entry.path().filename().string() << ": " << problem;
    ++count;
  }
  EXPECT_FALSE(ec) << dir.string() << ": " << ec.message();
  return count;
}

TEST(FuzzSeedTest, EverySeedOfTheDataPathTargetsRunsClean) {
  EXPECT_GE(Replay("transport", &FuzzTransportBuffer), 10u);
  EXPECT_GE(Replay("datagram", &FuzzDeliverDatagram), 11u);
  EXPECT_GE(Replay("ule", &FuzzUleReceiver), 7u);
  EXPECT_GE(Replay("ipv6", &FuzzMpeIpv6), 3u);
}

// A 3,060-byte GRE datagram whose payload is not IPv4 and whose IP total length is 371:
// written whole, longer than the GRE join buffer, and still within what a section carries.
TEST(FuzzSeedTest, ALongDatagramWrittenWholeIsNoFault) {
  std::ifstream in(std::string(VF_TESTDATA_DIR) + "/../../fuzz/corpus/datagram/deliver-datagram-long-write.bin",
                   std::ios::binary);
  const std::vector<uint8_t> seed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(seed.size(), 3071u);
  EXPECT_EQ(FuzzDeliverDatagram(seed.data(), seed.size()), nullptr);
  CFuzzRig rig(seed[0]);
  rig.path.DeliverDatagram(500, seed.data() + 3, seed.data() + 11, 3060);
  EXPECT_EQ(rig.io.bytes, 3060u);
}
}  // namespace
