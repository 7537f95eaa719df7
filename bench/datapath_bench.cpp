// Throughput of the data path on generated streams. Every buffer is processed the
// way the grabber hands it over; packets go to a null adapter so only the data path
// itself is measured.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "datapath/data_path_warnings.h"
#include "datapath/sample_grabber_cb.h"
#include "log/log.h"
#include "platform/device_io.h"
#include "platform/emulated/stream_generator.h"

namespace {
// An adapter whose writes do nothing, so the figures are the data path's own.
class CNullIo : public CDeviceIo {
 public:
  HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return INVALID_HANDLE_VALUE; }
  BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
  BOOL Write(HANDLE, const void*, DWORD length, DWORD* written) override {
    *written = length;
    ++writes;
    return TRUE;
  }
  BOOL Close(HANDLE) override { return TRUE; }
  uint64_t writes = 0;
};

constexpr size_t kPackets = 100000;  // 18.8 MB of stream, well beyond the caches

const std::vector<BYTE>& Stream(bool demo, bool crc) {
  static std::vector<BYTE> streams[2][2];
  std::vector<BYTE>& s = streams[demo][crc];
  if (s.empty()) {
    STREAM_PROFILE p = demo ? DemoStreamProfile() : BenchmarkStreamProfile();
    for (STREAM_SERVICE& svc : p.services) svc.crc = crc;
    CStreamGenerator gen(p);
    gen.Append(s, kPackets);
  }
  return s;
}

struct CRIG {
  FilterTable table;
  StreamCounters counters;
  CAdapterHandle adapter;
  CNullIo io;
  std::unique_ptr<CDataPath> path;
  CRIG() {
    InitCrc32Table();
    path = std::make_unique<CDataPath>(table, counters, adapter);
    path->SetDeviceIo(&io);
    adapter.Set(reinterpret_cast<HANDLE>(intptr_t(16)));
    table.entry[kMulticastFilter].pid = kPidAny;
  }
};

void Report(benchmark::State& state, size_t bytes, const CRIG& rig) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(bytes / 188));
  state.counters["writes/iter"] = double(rig.io.writes) / double(state.iterations());
}

// Every packet on an accepted MPE PID, CRC checked, every datagram written.
void BM_ProcessTransportBuffer(benchmark::State& state) {
  const std::vector<BYTE>& ts = Stream(false, state.range(1) != 0);
  const size_t buffer = size_t(state.range(0));
  CRIG rig;
  for (auto _ : state) {
    for (size_t at = 0; at < ts.size(); at += buffer)
      rig.path->ProcessTransportBuffer(ts.data() + at, DWORD(std::min(buffer, ts.size() - at)));
  }
  Report(state, ts.size(), rig);
}
BENCHMARK(BM_ProcessTransportBuffer)
    ->ArgNames({"buffer", "crc"})
    ->Args({188 * 256, 1})
    ->Args({188 * 256, 0})
    ->Args({188 * 7, 1})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond);

// ULE on PID 500: the benchmark stream's datagrams as SNDUs (NPA address, CRC-32), every one
// written. Its target is the MPE path's speed or better on the same datagrams.
void BM_ProcessTransportBufferUle(benchmark::State& state) {
  static std::vector<BYTE> ts;
  if (ts.empty()) {
    CStreamGenerator gen(BenchmarkStreamProfile(true));
    gen.Append(ts, kPackets);
  }
  const size_t buffer = size_t(state.range(0));
  CRIG rig;
  rig.table.ulePidCount = 1;
  rig.table.ulePid[0] = 500;
  for (auto _ : state) {
    for (size_t at = 0; at < ts.size(); at += buffer)
      rig.path->ProcessTransportBuffer(ts.data() + at, DWORD(std::min(buffer, ts.size() - at)));
  }
  Report(state, ts.size(), rig);
}
BENCHMARK(BM_ProcessTransportBufferUle)
    ->ArgNames({"buffer"})
    ->Arg(188 * 256)
    ->Arg(188 * 7)
    ->Unit(benchmark::kMillisecond);

// The MPE benchmark stream with both options on (IPv6, and ULE declared on another PID):
// what they cost MPE traffic when in use.
void BM_ProcessTransportBufferOptionsOn(benchmark::State& state) {
  const std::vector<BYTE>& ts = Stream(false, true);
  const size_t buffer = 188 * 256;
  CRIG rig;
  rig.table.ipv6 = true;
  rig.table.ulePidCount = 1;
  rig.table.ulePid[0] = 600;
  for (auto _ : state) {
    for (size_t at = 0; at < ts.size(); at += buffer)
      rig.path->ProcessTransportBuffer(ts.data() + at, DWORD(std::min(buffer, ts.size() - at)));
  }
  Report(state, ts.size(), rig);
}
BENCHMARK(BM_ProcessTransportBufferOptionsOn)->Unit(benchmark::kMillisecond);

// The same with each CRC-32 kernel the processor runs (0 bytewise, 1 slicing-by-8,
// 2 PCLMULQDQ, 3 VPCLMULQDQ), to show what the choice is worth.
void BM_ProcessTransportBufferKernel(benchmark::State& state) {
  const CRC32_KERNEL kernel = CRC32_KERNEL(state.range(0));
  if (!Crc32KernelAvailable(kernel)) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  const CRC32_KERNEL chosen = Crc32ActiveKernel();
  SelectCrc32Kernel(kernel);
  const std::vector<BYTE>& ts = Stream(false, true);
  const size_t buffer = 188 * 256;
  CRIG rig;
  for (auto _ : state) {
    for (size_t at = 0; at < ts.size(); at += buffer)
      rig.path->ProcessTransportBuffer(ts.data() + at, DWORD(std::min(buffer, ts.size() - at)));
  }
  SelectCrc32Kernel(chosen);
  state.SetLabel(Crc32KernelName(kernel));
  Report(state, ts.size(), rig);
}
BENCHMARK(BM_ProcessTransportBufferKernel)->ArgNames({"kernel"})->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The CRC-32 alone over one section's bytes, per kernel and length.
void BM_Crc32(benchmark::State& state) {
  const CRC32_KERNEL kernel = CRC32_KERNEL(state.range(0));
  if (!Crc32KernelAvailable(kernel)) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  std::vector<uint8_t> data(size_t(state.range(1)));
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + 17);
  for (auto _ : state) benchmark::DoNotOptimize(Crc32Using(kernel, data.data(), data.size()));
  state.SetLabel(Crc32KernelName(kernel));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_Crc32)->ArgNames({"kernel", "length"})->ArgsProduct({{1, 2, 3}, {184, 1500, 4092}});

// An adapter that has gone away: every write fails, as when the device is removed.
class CFailingIo : public CNullIo {
 public:
  BOOL Write(HANDLE, const void*, DWORD, DWORD* written) override {
    *written = 0;
    ++writes;
    return FALSE;
  }
};

// Every write fails and is logged ("Can't write to TAP-Win !"); log:1 writes the log to a
// real file, log:0 has logging off. A second thread stands for the user-interface
// thread's once-a-second refresh. The two must run at the same speed.
void BM_FailingWritesLogged(benchmark::State& state) {
  const std::vector<BYTE>& ts = Stream(false, true);
  const size_t buffer = 188 * 256;
  const std::string log = "/tmp/velvetfin-bench-" + std::to_string(getpid()) + ".log";
  std::remove(log.c_str());
  SetLogFile(log.c_str(), state.range(0) ? TRUE : FALSE);
  CRIG rig;
  CFailingIo failing;
  rig.path->SetDeviceIo(&failing);
  std::atomic<bool> stop{false};
  std::thread refresh([&stop] {
    for (int tick = 1; !stop.load(); ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (tick % 10 == 0) FlushDataPathWarnings();
    }
  });
  for (auto _ : state) {
    for (size_t at = 0; at < ts.size(); at += buffer)
      rig.path->ProcessTransportBuffer(ts.data() + at, DWORD(std::min(buffer, ts.size() - at)));
  }
  stop = true;
  refresh.join();
  FlushDataPathWarnings();
  SetLogFile("logfile.log", FALSE);
  std::remove(log.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ts.size()));
  state.counters["failed writes/iter"] = double(failing.writes) / double(state.iterations());
}
BENCHMARK(BM_FailingWritesLogged)->ArgNames({"log"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The demo stream (several PIDs, nulls, GRE, noise) through the real callback and its lock.
void BM_SampleCallbackDemoStream(benchmark::State& state) {
  const std::vector<BYTE>& ts = Stream(true, true);
  const size_t buffer = 188 * 256;
  CRIG rig;
  // The callback object takes a plain function; route it to this rig's data path.
  static CDataPath* target;
  target = rig.path.get();
  CSampleGrabberCB routed([](const BYTE* d, DWORD n) { target->ProcessTransportBuffer(d, n); });
  for (auto _ : state) {
    for (size_t at = 0; at < ts.size(); at += buffer) {
      MEDIA_SAMPLE_INFO sample{ts.data() + at, DWORD(std::min(buffer, ts.size() - at)), false, false};
      routed.SampleCB(0, sample);
    }
  }
  Report(state, ts.size(), rig);
}
BENCHMARK(BM_SampleCallbackDemoStream)->Unit(benchmark::kMillisecond);

// How fast the generator itself makes the demo stream (used live by the tool).
void BM_GenerateDemoStream(benchmark::State& state) {
  CStreamGenerator gen(DemoStreamProfile());
  std::vector<BYTE> out(188 * 1024);
  for (auto _ : state) gen.Fill(out.data(), 1024);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}
BENCHMARK(BM_GenerateDemoStream);
}  // namespace

BENCHMARK_MAIN();
