#include "platform/emulated/emulated_adapter_list.h"

#include <algorithm>

#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L
#endif

void CEmulatedAdapterList::AddEntry(const ADAPTER_INFO& info) {
  std::lock_guard g(m_lock);
  m_entries.push_back(info);
}

void CEmulatedAdapterList::AddSource(std::shared_ptr<CAdapterListSource> source) {
  std::lock_guard g(m_lock);
  m_sources.push_back(std::move(source));
}

void CEmulatedAdapterList::RemoveSource(const CAdapterListSource* source) {
  std::lock_guard g(m_lock);
  m_sources.erase(std::remove_if(m_sources.begin(), m_sources.end(),
                                 [source](const auto& s) { return s.get() == source; }),
                  m_sources.end());
}

void CEmulatedAdapterList::Clear() {
  std::lock_guard g(m_lock);
  m_entries.clear();
  m_sources.clear();
  m_failure = 0;
  m_calls = 0;
}

void CEmulatedAdapterList::SetFailure(DWORD error) {
  std::lock_guard g(m_lock);
  m_failure = error;
}

int CEmulatedAdapterList::CallCount() const {
  std::lock_guard g(m_lock);
  return m_calls;
}

DWORD CEmulatedAdapterList::GetAdaptersInfo(std::vector<ADAPTER_INFO>& adapters) {
  std::vector<std::shared_ptr<CAdapterListSource>> sources;
  {
    std::lock_guard g(m_lock);
    ++m_calls;
    if (m_failure) return m_failure;
    adapters = m_entries;
    sources = m_sources;
  }
  for (const auto& s : sources) {
    ADAPTER_INFO info;
    if (s->Describe(info)) adapters.push_back(info);
  }
  // As the system: no adapter at all is an error, not an empty list.
  return adapters.empty() ? static_cast<DWORD>(ERROR_NO_DATA) : static_cast<DWORD>(ERROR_SUCCESS);
}

CEmulatedAdapterList& EmulatedAdapterList() {
  static CEmulatedAdapterList list;
  return list;
}
