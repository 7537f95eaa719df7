// One DVB frontend as a BDA tuner sees it: the standard property sets of its pins, the
// change/commit protocol of its device control, and the LNB/DiSEqC control of a
// satellite frontend, all through the device I/O seam's descriptor calls.
#pragma once
#include <linux/dvb/frontend.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_io.h"
#include "platform/linux/dvb_tuning.h"
#include "platform/win_types.h"

struct DVB_FRONTEND_DESC {
  std::string path;  // <root>/adapterN/frontendM
  std::string demuxPath;
  std::string dvrPath;
  std::string name;  // FE_GET_INFO
  std::vector<uint32_t> delsys;
  LONG deliveryType = 0;  // 1 satellite .. 5 ISDB
};

// Every adapterN/frontendM under root in adapter and frontend number order, described by
// the frontend itself. Frontends that cannot be opened or described are left out, each
// with a log line.
std::vector<DVB_FRONTEND_DESC> EnumerateDvbFrontends(const std::string& root);
// True when root holds at least one adapter directory.
bool DvbAdaptersPresent(const std::string& root);

enum class DVB_PIN { Input, Output };

class CDvbFrontend {
 public:
  explicit CDvbFrontend(DVB_FRONTEND_DESC desc);
  ~CDvbFrontend();
  CDvbFrontend(const CDvbFrontend&) = delete;
  CDvbFrontend& operator=(const CDvbFrontend&) = delete;

  const DVB_FRONTEND_DESC& Description() const { return m_desc; }

  // The property sets of the tuner's antenna input and transport output pins.
  HRESULT QuerySupported(DVB_PIN pin, const GUID& set, DWORD id, DWORD* support) const;
  HRESULT Get(DVB_PIN pin, const GUID& set, DWORD id, BYTE* data, DWORD length, DWORD* returned);
  HRESULT Set(DVB_PIN pin, const GUID& set, DWORD id, const BYTE* data, DWORD length);

  HRESULT StartChanges();
  HRESULT CheckChanges();
  // Satellite: LNB supply, tone off, the committed switch command and tone burst when the
  // DiSEqC properties ask for them, the band's tone; then the tuning itself. Nothing when
  // no tuning value changed.
  HRESULT CommitChanges();

 private:
  bool Satellite() const { return m_desc.deliveryType == 1; }
  int Frontend();  // opened on first use: enumeration binds every tuner without tuning it
  HRESULT Failure(const char* what);
  HRESULT SecRequest(unsigned long request, const char* name, unsigned long value, unsigned long* current);
  HRESULT SetVoltage(fe_sec_voltage voltage);
  HRESULT SetTone(fe_sec_tone_mode tone);
  HRESULT PrepareDiseqc(LONG polarisation);
  HRESULT SendMessage(const dvb_diseqc_master_cmd& cmd, LONG repeats);
  HRESULT SendDiseqcProperty(const BYTE* data, DWORD length);
  HRESULT ReadSignal(DWORD id, LONG* value);
  LONG* Field(const GUID& set, DWORD id);

  DVB_FRONTEND_DESC m_desc;
  std::mutex m_lock;
  CDeviceIo* m_io = nullptr;  // the one that opened m_fd, which closes it
  int m_fd = -1;
  DVB_TUNE_VALUES m_pending;
  DVB_TUNE_VALUES m_committed;
  static constexpr unsigned long kSecUnknown = ~0ul;
  unsigned long m_voltage = kSecUnknown;  // fe_sec_voltage as last set
  unsigned long m_tone = kSecUnknown;     // fe_sec_tone_mode as last set
  bool m_tuningChanged = false;  // a tuning value was set since the last commit
};
