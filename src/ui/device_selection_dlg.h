// "Choose Device": the tuners found, one of which the user picks, optionally as
// the default for later starts.
#pragma once
#include <string>
#include <vector>

#include "bda/device_selection.h"
#include "platform/window_services.h"

class CDeviceSelection final : public CDeviceChooser, public CWindowHandler {
 public:
  explicit CDeviceSelection(CWindow* owner = nullptr) : m_owner(owner) {}
  bool Choose(const std::vector<std::string>& texts, int selected, bool* useAsDefault, int* chosen) override;

  bool OnInitDialog(CWindow& window) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  CWindow* m_owner;
  CWindow* m_window = nullptr;
  std::vector<std::string> m_texts;
  int m_selected = 0;
  bool m_useAsDefault = false;
  int m_chosen = 0;
};
