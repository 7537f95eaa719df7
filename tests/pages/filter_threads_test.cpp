// The page rewrites the table and zeroes the counters while the streaming
// thread delivers buffers. Run under ThreadSanitizer as well (VF_SANITIZE=thread).
#include <atomic>
#include <thread>

#include "datapath/data_path.h"
#include "pages/filter_fixture.h"
#include "platform/emulated/stream_generator.h"

namespace {

TEST_F(FilterPageTest, ApplyingWhileBuffersArriveNeverTearsTheTableOrLosesAZeroing) {
  STREAM_PROFILE profile;
  STREAM_SERVICE mc;
  mc.pid = 500;
  mc.payloadMin = 100;
  mc.payloadMax = 1400;
  STREAM_SERVICE uc = mc;
  uc.pid = 501;
  uc.kind = DatagramKind::kUdpUnicast;
  const BYTE me[4] = {192, 168, 238, 238};
  std::copy(me, me + 4, uc.destination);
  profile.services = {mc, uc};
  profile.record = false;
  CStreamGenerator generator(profile);

  CAdapterHandle closed;
  CDataPath path(table, counters, closed);
  std::atomic<bool> stop{false};
  std::atomic<int> buffers{0};
  std::thread streaming([&] {
    std::vector<BYTE> buffer(188 * 64);
    while (!stop.load()) {
      generator.Fill(buffer.data(), 64);
      std::lock_guard<std::mutex> g(lock);
      path.ProcessTransportBuffer(buffer.data(), DWORD(buffer.size()));
      buffers.fetch_add(1);
    }
  });

  const char* configs[][3] = {{"501", "0", "500"}, {"0", "0", "8192"}, {"8192", "0", "0"}, {"501", "500", "0"}};
  bool anyData = false;
  for (int i = 0; i < 200; ++i) {
    const char* const* c = configs[i % 4];
    ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", c[0], c[1], c[2]));
    // Let some buffers through under this table before the next change.
    const int seen = buffers.load();
    while (buffers.load() < seen + 2) std::this_thread::yield();
    sys.tick += 1000;
    anyData |= page.RefreshStatistics() == 1;
  }
  stop = true;
  streaming.join();

  // Every byte delivered since the last apply is in exactly one filter and in the total.
  uint64_t sum = 0;
  for (const FilterEntry& e : table.entry) sum += e.bytes.Get();
  EXPECT_EQ(sum, counters.ipv4Bytes.Get());
  EXPECT_GT(sum, 0u);
  EXPECT_TRUE(anyData);
}

}  // namespace
