// The call pattern every vendor property function follows: QuerySupported,
// then one Get or Set, with its "not supported !" / "failed !" report on the
// trace channel (or the log, for the few functions that report there).
#pragma once
#include <cstring>
#include <functional>

#include "platform/ks_property_set.h"
#include "platform/win_types.h"

enum REPORT_CHANNEL { REPORT_TRACE, REPORT_LOG, REPORT_NONE };

struct VENDOR_PROPERTY {
  const GUID* set;
  DWORD id;
  const char* name;   // property name in reports
};

struct CALL_SITE {
  const char* function;             // family function name in reports
  REPORT_CHANNEL channel = REPORT_TRACE;
};

// Where the 24-byte separate instance area comes from.
constexpr DWORD kInstanceSize = 24;

// QuerySupported for bit (KSPROPERTY_SUPPORT_GET/SET); on a failed query or a
// missing bit: last error E_NOTIMPL, "<verb> <name> not supported !", E_NOTIMPL.
HRESULT CheckSupport(CKsPropertySet* ps, const VENDOR_PROPERTY& p, DWORD bit, const char* verb,
                     const CALL_SITE& site);

// The whole pattern for one Set: support Set, then Set. verb is the word the
// reports use ("Set", or "Get" where the driver's reports say so).
HRESULT VendorSet(CKsPropertySet* ps, const VENDOR_PROPERTY& p, void* instance, DWORD instanceLength,
                  void* data, DWORD dataLength, const CALL_SITE& site, const char* verb = "Set");
// The same for one Get; returned receives the byte count (may be null).
HRESULT VendorGet(CKsPropertySet* ps, const VENDOR_PROPERTY& p, void* instance, DWORD instanceLength,
                  void* data, DWORD dataLength, const CALL_SITE& site, DWORD* returned = nullptr,
                  const char* verb = "Get");

// The "failed !" report of a call made outside VendorSet/VendorGet.
void ReportFailure(HRESULT hr, const char* verb, const char* name, const CALL_SITE& site);
// A report with its own text (last error already set by the caller).
void Report(const CALL_SITE& site, const char* text);

// Argument violation: last error E_INVALIDARG when asked to, returns E_INVALIDARG.
HRESULT InvalidArgument(bool setLastError);

// How a DiSEqC function repeats its message (repeat + 1 sends, 0xE0 -> 0xE1
// after each send, 100 ms pause).
enum LOOP_PAUSE { PAUSE_AFTER_EVERY_SEND, PAUSE_BETWEEN_SENDS };
enum LOOP_FAILURE { STOP_AT_FIRST_FAILURE, REPORT_AND_GO_ON };
constexpr DWORD kRepeatPauseMs = 100;

// send(last) builds its buffer from message (whose first byte the loop
// rewrites) and makes one call. Returns the result of the last send made.
HRESULT RepeatDiseqc(BYTE* message, ULONG repeat, LOOP_PAUSE pause, LOOP_FAILURE failure,
                     const std::function<HRESULT(bool last)>& send);

inline void PutDword(BYTE* buffer, size_t offset, DWORD value) {
  buffer[offset] = static_cast<BYTE>(value);
  buffer[offset + 1] = static_cast<BYTE>(value >> 8);
  buffer[offset + 2] = static_cast<BYTE>(value >> 16);
  buffer[offset + 3] = static_cast<BYTE>(value >> 24);
}
inline DWORD GetDword(const BYTE* buffer, size_t offset) {
  return static_cast<DWORD>(buffer[offset]) | (static_cast<DWORD>(buffer[offset + 1]) << 8) |
         (static_cast<DWORD>(buffer[offset + 2]) << 16) | (static_cast<DWORD>(buffer[offset + 3]) << 24);
}
