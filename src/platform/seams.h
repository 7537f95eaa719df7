// Holder for one replaceable process-wide seam: the default backend until a test
// or the emulated platform installs another.
#pragma once
#include <atomic>

template <class T>
class CSeam {
 public:
  using Factory = T& (*)();
  explicit constexpr CSeam(Factory factory) : m_factory(factory) {}
  T& Get() {
    T* p = m_current.load(std::memory_order_acquire);
    return p ? *p : m_factory();
  }
  T* Set(T* replacement) { return m_current.exchange(replacement, std::memory_order_acq_rel); }

 private:
  Factory m_factory;
  std::atomic<T*> m_current{nullptr};
};
