// Service control manager seam, shaped like the Win32 service calls.
#pragma once
#include <cstdint>
#include <string>

#include "platform/win_types.h"

using ServiceHandle = uintptr_t;  // 0 = none

// Service states with their Windows values.
constexpr DWORD kServiceStopped = 1;
constexpr DWORD kServiceStartPending = 2;
constexpr DWORD kServiceStopPending = 3;
constexpr DWORD kServiceRunning = 4;

struct SERVICE_STATE {
  DWORD currentState = kServiceStopped;
  DWORD checkPoint = 0;
  DWORD waitHint = 0;
};

class CServiceControl {
 public:
  virtual ~CServiceControl() = default;
  // 0 on failure, with the last error set.
  virtual ServiceHandle OpenManager() = 0;
  // Opened for status query and start; 0 on failure.
  virtual ServiceHandle OpenNamedService(ServiceHandle manager, const std::string& name) = 0;
  virtual BOOL QueryStatus(ServiceHandle service, SERVICE_STATE& state) = 0;
  // Starts the service without arguments.
  virtual BOOL Start(ServiceHandle service) = 0;
  virtual BOOL Close(ServiceHandle handle) = 0;
};

CServiceControl& ServiceControl();
CServiceControl* SetServiceControl(CServiceControl* control);
CServiceControl& OsServiceControl();
