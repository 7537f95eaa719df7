#include "tuner/bda_diagnostics.h"

#include "log/log.h"
#include "platform/system.h"

void BdaTrace(const char* operation, const char* text, HRESULT hr) {
  SystemServices().SetLastError(static_cast<DWORD>(hr));
  TraceError(operation, text);
}

void BdaLog(const char* operation, const char* text, HRESULT hr) {
  SystemServices().SetLastError(static_cast<DWORD>(hr));
  LogError(operation, text);
}
