// What the extension code needs from the graph that owns the device: the kernel
// handle, the vendor video-capture filter and (for the Technotrend back ends) the
// devices of a category by friendly name. The standard BDA setters are not the graph's
// but the tuner's (tuner/tuner_properties.h), which the extensions are given beside this.
#pragma once
#include <string>
#include <vector>

#include "platform/ks_property_set.h"
#include "platform/win_types.h"

// Devices of one category whose friendly name equals a name, in enumeration
// order, as their "DevicePath" values. Device enumeration and the graph both
// provide one; the Technotrend back ends find their device through it.
class CKsDeviceFinder {
 public:
  virtual ~CKsDeviceFinder() = default;
  virtual std::vector<std::string> FindDevicePaths(const GUID& category,
                                                   const std::string& friendlyName) = 0;
};

class CExtensionHost : public CKsDeviceFinder {
 public:
  // The tuner filter's kernel handle (IKsObject); INVALID_HANDLE_VALUE and a
  // failure HRESULT when there is none. The handle belongs to the filter.
  virtual HRESULT GetTunerKernelHandle(HANDLE* handle) = 0;
  // Binds the video-capture device (CLSID_VideoInputDeviceCategory) whose
  // friendly name equals name, without adding it to the graph, and returns its
  // property set (null with S_OK when the bound filter has none). The host keeps
  // both and releases them at teardown.
  virtual HRESULT AttachVideoCapture(const char* name, CKsPropertySet** propertySet) = 0;
};
