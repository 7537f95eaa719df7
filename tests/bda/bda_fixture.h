// Shared set-up of the device-layer tests: an emulated platform of their own, installed
// as the device platform for the test's lifetime.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bda/bda_graph.h"
#include "datapath/sample_grabber_cb.h"
#include "platform/bda_guids.h"
#include "platform/emulated/bda_platform.h"

class BdaTest : public ::testing::Test {
 protected:
  void SetUp() override { m_previous = SetDevicePlatform(&m_platform); }
  void TearDown() override { SetDevicePlatform(m_previous); }

  // Loads a description given as ini text.
  void Describe(const std::string& ini) {
    EMULATED_DESCRIPTION description;
    std::string error;
    ASSERT_TRUE(ParseEmulatedDescription(ini, "", &description, &error)) << error;
    ASSERT_TRUE(m_platform.Load(description, &error)) << error;
  }

  // The records of every enumerated device.
  std::vector<PARAM_DEVICE> Enumerate(CBdaGraph& graph) {
    std::vector<PARAM_DEVICE> devices;
    graph.FindEnumDevice(
        [](PARAM_DEVICE* device, void* context) -> HRESULT {
          static_cast<std::vector<PARAM_DEVICE>*>(context)->push_back(*device);
          return S_OK;
        },
        &devices);
    return devices;
  }


 public:
  // The Set calls a device received, as (set name, id, first 4 data bytes as a value).
  struct SENT {
    std::string set;
    DWORD id;
    LONG value;
    bool operator==(const SENT& o) const { return set == o.set && id == o.id && value == o.value; }
  };

 protected:
  std::vector<SENT> SetCalls(size_t device) {
    std::vector<SENT> sent;
    for (const BDA_CALL& call : m_platform.Device(device)->Calls()) {
      if (call.kind != "Set") continue;
      LONG value = 0;
      if (call.data.size() >= 4) std::memcpy(&value, call.data.data(), 4);
      const char* name = PropertySetName(call.set);
      sent.push_back({name ? name : "?", call.id, value});
    }
    return sent;
  }

  CEmulatedBdaPlatform m_platform;
  CDevicePlatform* m_previous = nullptr;
};

inline std::ostream& operator<<(std::ostream& os, const BdaTest::SENT& s) {
  return os << s.set << "/" << s.id << "=" << s.value;
}

// Collects what the data path would receive.
class CSampleCollector {
 public:
  static CSampleCollector& Instance() {
    static CSampleCollector collector;
    return collector;
  }
  static void Handler(const BYTE* data, DWORD size) {
    std::lock_guard<std::mutex> guard(Instance().m_lock);
    Instance().m_bytes.insert(Instance().m_bytes.end(), data, data + size);
    ++Instance().m_samples;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bytes.clear();
    m_samples = 0;
  }
  std::vector<BYTE> Bytes() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bytes;
  }
  size_t Samples() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_samples;
  }

 private:
  std::mutex m_lock;
  std::vector<BYTE> m_bytes;
  size_t m_samples = 0;
};
