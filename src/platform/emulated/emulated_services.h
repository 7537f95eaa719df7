// The emulated service control manager: named services that start through the
// start-pending state with check points and wait hints, as Windows services do.
#pragma once
#include <map>
#include <mutex>
#include <string>

#include "platform/service_control.h"

struct EMULATED_SERVICE {
  DWORD state = kServiceStopped;
  DWORD waitHint = 3000;
  // Status queries answered with start-pending after a start, before the final state.
  int pendingQueries = 1;
  // Whether each pending query advances the check point.
  bool advanceCheckPoint = true;
  // The state a start ends in (a service may stop again at once).
  DWORD finalState = kServiceRunning;
  bool failStart = false;
  bool failQuery = false;
  // Filled in by the manager.
  int starts = 0;
  int pendingLeft = 0;
  DWORD checkPoint = 0;
};

class CEmulatedServices final : public CServiceControl {
 public:
  CEmulatedServices();
  void SetService(const std::string& name, const EMULATED_SERVICE& service);
  void RemoveService(const std::string& name);
  // A copy of the service's record (a default record when unknown).
  EMULATED_SERVICE GetService(const std::string& name) const;
  void SetManagerAvailable(bool available);
  size_t OpenHandleCount() const;

  ServiceHandle OpenManager() override;
  ServiceHandle OpenNamedService(ServiceHandle manager, const std::string& name) override;
  BOOL QueryStatus(ServiceHandle service, SERVICE_STATE& state) override;
  BOOL Start(ServiceHandle service) override;
  BOOL Close(ServiceHandle handle) override;

 private:
  mutable std::mutex m_lock;
  std::map<std::string, EMULATED_SERVICE> m_services;  // names compare as lower case
  std::map<ServiceHandle, std::string> m_handles;      // empty name: the manager
  ServiceHandle m_next = 0x2000;
  bool m_managerAvailable = true;
};

// The process-wide manager; it knows the service "RemoteAccess", stopped.
CEmulatedServices& EmulatedServices();
