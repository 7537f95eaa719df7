// Device enumeration at start-up and the choice of the device to build.
#pragma once
#include <string>
#include <vector>

#include "bda/bda_types.h"

class CBdaGraph;
class CKsDeviceFinder;
class SettingsStore;

// The "Choose Device" dialog, as the selection sees it; the user interface implements it.
class CDeviceChooser {
 public:
  virtual ~CDeviceChooser() = default;
  // Shows the list with `selected` chosen and the check box as given. False for Cancel;
  // on OK, chosen is the selected entry's position (0 when none) and useAsDefault the box.
  virtual bool Choose(const std::vector<std::string>& texts, int selected, bool* useAsDefault,
                      int* chosen) = 0;
};

// The device array and list texts that enumeration fills.
struct DEVICE_LIST {
  std::vector<PARAM_DEVICE> devices;
  std::vector<std::string> texts;
  // Finds the devices through which the Technotrend API reads a product name; without
  // one, Technotrend devices keep their friendly names.
  CKsDeviceFinder* finder = nullptr;
};

// Applies the Technotrend family table to a record.
void ApplyTtFamilyTable(PARAM_DEVICE* device);

// The start-up enumeration callback: completes the record and appends it and its text.
HRESULT AddEnumeratedDevice(PARAM_DEVICE* device, void* deviceList);

enum class SELECTION_RESULT { Chosen, NoDevice, Cancelled };

struct DEVICE_CHOICE {
  PARAM_DEVICE device;
  int position = 0;
  bool isDefault = false;  // the main dialog shows "Use as default" ticked
};

// Reads "DefaultDevice", enumerates (with the graph as the device finder), takes the default, the only device or the user's
// choice, and writes "DefaultDevice" back.
SELECTION_RESULT SelectDevice(CBdaGraph& graph, SettingsStore& settings, CDeviceChooser& chooser,
                              DEVICE_LIST* list, DEVICE_CHOICE* choice);
