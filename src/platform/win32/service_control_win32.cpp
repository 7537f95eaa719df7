// The service-control seam on Windows: the service control manager's calls.
#include "platform/service_control.h"
#include "platform/win32/wide_text.h"

namespace {
SC_HANDLE H(ServiceHandle h) { return reinterpret_cast<SC_HANDLE>(h); }

class CWin32ServiceControl final : public CServiceControl {
 public:
  ServiceHandle OpenManager() override {
    return reinterpret_cast<ServiceHandle>(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  }
  ServiceHandle OpenNamedService(ServiceHandle manager, const std::string& name) override {
    return reinterpret_cast<ServiceHandle>(
        ::OpenServiceW(H(manager), Utf8ToWide(name).c_str(), SERVICE_QUERY_STATUS | SERVICE_START));
  }
  BOOL QueryStatus(ServiceHandle service, SERVICE_STATE& state) override {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(H(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed))
      return FALSE;
    state.currentState = status.dwCurrentState;
    state.checkPoint = status.dwCheckPoint;
    state.waitHint = status.dwWaitHint;
    return TRUE;
  }
  BOOL Start(ServiceHandle service) override { return ::StartServiceW(H(service), 0, nullptr); }
  BOOL Close(ServiceHandle handle) override { return CloseServiceHandle(H(handle)); }
};
}  // namespace

CServiceControl& OsServiceControl() {
  static CWin32ServiceControl control;
  return control;
}
