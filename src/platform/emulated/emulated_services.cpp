#include "platform/emulated/emulated_services.h"

#include "platform/system.h"
#include "platform/text_util.h"

namespace {
constexpr char kManagerTag[] = "";
}  // namespace

CEmulatedServices::CEmulatedServices() = default;

void CEmulatedServices::SetService(const std::string& name, const EMULATED_SERVICE& service) {
  std::lock_guard g(m_lock);
  m_services[LowerCase(name)] = service;
}

void CEmulatedServices::RemoveService(const std::string& name) {
  std::lock_guard g(m_lock);
  m_services.erase(LowerCase(name));
}

EMULATED_SERVICE CEmulatedServices::GetService(const std::string& name) const {
  std::lock_guard g(m_lock);
  auto it = m_services.find(LowerCase(name));
  return it == m_services.end() ? EMULATED_SERVICE{} : it->second;
}

void CEmulatedServices::SetManagerAvailable(bool available) {
  std::lock_guard g(m_lock);
  m_managerAvailable = available;
}

size_t CEmulatedServices::OpenHandleCount() const {
  std::lock_guard g(m_lock);
  return m_handles.size();
}

ServiceHandle CEmulatedServices::OpenManager() {
  std::lock_guard g(m_lock);
  if (!m_managerAvailable) {
    SystemServices().SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  ServiceHandle h = m_next;
  m_next += 4;
  m_handles[h] = kManagerTag;
  return h;
}

ServiceHandle CEmulatedServices::OpenNamedService(ServiceHandle manager, const std::string& name) {
  std::lock_guard g(m_lock);
  auto m = m_handles.find(manager);
  if (m == m_handles.end() || !m->second.empty()) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (name.empty() || !m_services.count(LowerCase(name))) {
    SystemServices().SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return 0;
  }
  ServiceHandle h = m_next;
  m_next += 4;
  m_handles[h] = LowerCase(name);
  return h;
}

BOOL CEmulatedServices::QueryStatus(ServiceHandle service, SERVICE_STATE& state) {
  std::lock_guard g(m_lock);
  auto h = m_handles.find(service);
  if (h == m_handles.end() || h->second.empty() || !m_services.count(h->second)) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  EMULATED_SERVICE& s = m_services[h->second];
  if (s.failQuery) {
    SystemServices().SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (s.state == kServiceStartPending) {
    if (s.pendingLeft <= 0) {
      s.state = s.finalState;
      s.checkPoint = 0;
    } else {
      --s.pendingLeft;
      if (s.advanceCheckPoint) ++s.checkPoint;
    }
  }
  state.currentState = s.state;
  state.checkPoint = s.state == kServiceStartPending ? s.checkPoint : 0;
  state.waitHint = s.state == kServiceStartPending ? s.waitHint : 0;
  return TRUE;
}

BOOL CEmulatedServices::Start(ServiceHandle service) {
  std::lock_guard g(m_lock);
  auto h = m_handles.find(service);
  if (h == m_handles.end() || h->second.empty() || !m_services.count(h->second)) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  EMULATED_SERVICE& s = m_services[h->second];
  if (s.state != kServiceStopped) {
    SystemServices().SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  if (s.failStart) {
    SystemServices().SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  ++s.starts;
  s.state = kServiceStartPending;
  s.pendingLeft = s.pendingQueries;
  s.checkPoint = 0;
  return TRUE;
}

BOOL CEmulatedServices::Close(ServiceHandle handle) {
  std::lock_guard g(m_lock);
  if (!m_handles.erase(handle)) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

CEmulatedServices& EmulatedServices() {
  static CEmulatedServices services;
  static bool seeded = [] {
    services.SetService("RemoteAccess", EMULATED_SERVICE{});
    return true;
  }();
  (void)seeded;
  return services;
}
