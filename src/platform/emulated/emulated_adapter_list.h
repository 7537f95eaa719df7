// The emulated system adapter list: fixed entries plus live ones that emulated
// adapters describe at the moment the list is asked for.
#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "platform/adapter_list.h"

class CAdapterListSource {
 public:
  virtual ~CAdapterListSource() = default;
  // Fills this adapter's entry as the system would show it now; false when not listed.
  virtual bool Describe(ADAPTER_INFO& info) = 0;
};

class CEmulatedAdapterList final : public CAdapterList {
 public:
  void AddEntry(const ADAPTER_INFO& info);
  void AddSource(std::shared_ptr<CAdapterListSource> source);
  void RemoveSource(const CAdapterListSource* source);
  void Clear();
  // Makes every call fail with this error (0: work again).
  void SetFailure(DWORD error);
  int CallCount() const;

  DWORD GetAdaptersInfo(std::vector<ADAPTER_INFO>& adapters) override;

 private:
  mutable std::mutex m_lock;
  std::vector<ADAPTER_INFO> m_entries;
  std::vector<std::shared_ptr<CAdapterListSource>> m_sources;
  DWORD m_failure = 0;
  int m_calls = 0;
};

CEmulatedAdapterList& EmulatedAdapterList();
