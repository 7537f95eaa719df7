// Emulated vendor drivers: one per driver family, answering the family's
// private property sets (with the support bits its probe looks for), its Get
// replies (MAC, signal blocks, device information, I2C reads) and, for the
// direct-I/O families, the device I/O controls. Every call is recorded with its
// exact bytes, so tests and the probe tool can show what the program sent.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/emulated/emulated_device_io.h"
#include "platform/ks_property_set.h"
#include "platform/win_types.h"

// The object of the device a property set lives on.
enum VENDOR_OBJECT : int {
  VO_TUNER_FILTER = 0,
  VO_TUNER_INPUT = 1,   // tuner filter's first input pin
  VO_TUNER_OUTPUT = 2,  // tuner filter's first output pin
  VO_CAPTURE = 3,       // receiver component (capture filter)
  VO_VIDEO_CAPTURE = 4, // the vendor's video-capture filter beside the BDA filters
  VO_COUNT = 5
};

struct VENDOR_CALL {
  enum KIND { QUERY, GET, SET, IOCTL } kind = QUERY;
  int object = VO_TUNER_FILTER;  // VENDOR_OBJECT, or -1 for an I/O control on a device path
  GUID set{};
  DWORD id = 0;
  DWORD support = 0;   // QUERY: the bits answered
  DWORD code = 0;      // IOCTL: the control code
  std::string path;    // IOCTL: the device path
  std::vector<BYTE> instance;
  std::vector<BYTE> data;    // the data bytes as the program passed them in
  std::vector<BYTE> reply;   // GET/IOCTL: the bytes handed back
  // Envelope families (Twinhan, Netup): the input buffer the envelope points at.
  std::vector<BYTE> payload;
  HRESULT result = S_OK;
};

// What an emulated device tells its driver.
struct VENDOR_DRIVER_OPTIONS {
  int networkType = 1;                         // 1 satellite, 2 cable, 3 terrestrial
  BYTE mac[6] = {0x00, 0x08, 0xCA, 0x12, 0x34, 0x56};
  LONG rfLevel = -45;                          // dBm
  LONG snrTenths = 123;                        // SNR in tenths of a dB
  ULONG berTimes1e7 = 25;                      // BER x 10^7
  // Technotrend: class 1..6 (0: the class the tuner's friendly name stands for),
  // the device index (the tuner pin's medium id), the ids and the USB port speed
  // (0 full speed, 1 high speed).
  int ttClass = 0;
  DWORD ttDeviceIndex = 0;
  WORD ttVendor = 0x13C2, ttDevice = 0x1019, ttSubVendor = 0x13C2, ttSubDevice = 0x1019;
  DWORD ttHighSpeed = 1;
  // The tuner's friendly name. A TBS CXT card lists its video-capture filter
  // under videoCaptureName, or else under the name's model part (the text
  // before " BDA " or " DVBS") followed by " Video Capture".
  std::string friendlyName;
  std::string videoCaptureName;
  // The tuner moniker's device path. The driver's own filters live under it: the
  // tuner at the path itself, the capture filter at "<path>\\capture". Without
  // one they get paths of their own.
  std::string devicePath;
  // JacTek drivers answer one of two set GUIDs.
  bool jacTekAlternateSet = false;
};

// How many calls each emulated driver keeps: a receiver left running reads the signal
// every second, so the record must not grow for ever. Later calls are only counted.
constexpr size_t kMaxRecordedCalls = 20000;
// Whether the emulated drivers record calls at all (on by default; a receiver that
// never dumps them turns it off).
void SetEmulatedCallRecording(bool on);
bool EmulatedCallRecording();

class CEmulatedVendorDriver : public CKsPropertySet {
 public:
  CEmulatedVendorDriver(std::string family, const VENDOR_DRIVER_OPTIONS& options);
  ~CEmulatedVendorDriver() override;

  const std::string& Family() const { return m_family; }

  // Answers the property sets of every object of the device.
  HRESULT QuerySupported(const GUID& set, DWORD id, DWORD* support) override;
  HRESULT Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
              DWORD dataLength, DWORD* returned) override;
  HRESULT Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
              DWORD dataLength) override;
  // The same restricted to the sets one object of the device carries.
  CKsPropertySet* ForObject(VENDOR_OBJECT object);
  // Whether a set is one this driver answers on that object (the emulated pins
  // and filters route such sets here).
  bool Answers(VENDOR_OBJECT object, const GUID& set) const;

  // The tuner filter's kernel handle target (IOCTL_KS_PROPERTY requests).
  std::shared_ptr<CEmulatedDevice> KernelDevice();

  // Technotrend: the devices the driver adds to the system's device categories.
  struct DEVICE_ENTRY {
    GUID category;
    std::string friendlyName;
    std::string devicePath;
  };
  const std::vector<DEVICE_ENTRY>& Devices() const { return m_devices; }
  // Puts the device paths of Devices() into the emulated device I/O.
  void InstallDevices(CEmulatedDeviceIo& io);
  void UninstallDevices(CEmulatedDeviceIo& io);
  // Answers this driver's I/O controls at another path as well: the device
  // paths under which the emulated enumerator lists the tuner and capture
  // filters of a Technotrend device. Once the driver is gone, whatever the
  // device I/O still holds of it fails every request.
  void InstallIoControlPath(CEmulatedDeviceIo& io, const std::string& path);

  // Every call so far, oldest first.
  std::vector<VENDOR_CALL> Calls() const;
  void ClearCalls();
  // One line per call: kind, object, set, id, support/code, instance and data in hex.
  std::string DumpCalls(bool withQueries = false) const;

  // Fault injection: the next count Get/Set (or I/O control) calls of this
  // property fail with result after skip successful ones.
  void FailCalls(const GUID& set, DWORD id, HRESULT result, int count = 1, int skip = 0);
  // The same for an I/O control code on the device paths.
  void FailIoControl(DWORD code, int count = 1, int skip = 0);
  // Changes the support bits answered for one property (0 removes it).
  void SetSupport(VENDOR_OBJECT object, const GUID& set, DWORD id, DWORD support);

  // Records an I/O control that arrived on a device path (used by the device objects).
  BOOL OnIoControl(const std::string& path, DWORD code, const void* in, DWORD inLength, void* out,
                   DWORD outLength, DWORD* returned);

 private:
  class CObjectView;
  struct PROPERTY_KEY {
    int object;
    GUID set;
    DWORD id;
    bool operator<(const PROPERTY_KEY& o) const;
  };
  struct FAILURE {
    HRESULT result;
    int count;
    int skip;
  };

  class CKernelDevice;
  class CPathDevice;

  HRESULT DoQuery(int object, const GUID& set, DWORD id, DWORD* support);
  HRESULT DoCall(int object, bool get, const GUID& set, DWORD id, void* instance,
                 DWORD instanceLength, void* data, DWORD dataLength, DWORD* returned);
  int FindObject(const GUID& set, DWORD id) const;
  bool TakeFailure(const GUID& set, DWORD id, HRESULT* result);
  HRESULT Answer(bool get, const GUID& set, DWORD id, BYTE* data, DWORD dataLength,
                 DWORD* returned, VENDOR_CALL& call);
  BOOL KernelIoControl(const BYTE* in, DWORD inLength, BYTE* out, DWORD outLength, DWORD* returned,
                       VENDOR_CALL& call);
  BOOL TtIoControl(DWORD code, const BYTE* in, DWORD inLength, BYTE* out, DWORD outLength,
                   DWORD* returned, VENDOR_CALL& call);
  void AddSupport(int object, const GUID& set, DWORD id, DWORD support);
  void Build();

  std::string m_family;
  VENDOR_DRIVER_OPTIONS m_options;
  mutable std::mutex m_lock;
  std::map<PROPERTY_KEY, DWORD> m_support;
  std::map<PROPERTY_KEY, FAILURE> m_failures;
  std::vector<VENDOR_CALL> m_calls;
  uint64_t m_unrecorded = 0;  // calls past the record's bound
  void Keep(VENDOR_CALL&& call);  // under m_lock
  std::vector<DEVICE_ENTRY> m_devices;
  std::unique_ptr<CObjectView> m_views[VO_COUNT];
  std::shared_ptr<CKernelDevice> m_kernelDevice;
  std::vector<std::shared_ptr<CPathDevice>> m_pathDevices;
  BYTE m_twinhanLnbConfig[20] = {};
  BYTE m_eeprom[256] = {};
  BYTE m_i2cPointer = 0;
  bool m_diagAccess = false;
};

// The family names a device description may give ("tbs-nxp", "omicom", ...).
// "technotrend" takes its device class from the options, else from the tuner's
// friendly name as the Technotrend drivers name their tuners (class 1 when neither);
// "tt-budget2", "tt-budget3", "tt-usb2", "tt-pinnacle", "tt-dss" and
// "tt-premium" name the Technotrend classes 1 to 6 directly.
const std::vector<std::string>& EmulatedVendorFamilies();

// The driver of a family; nullptr for an unknown family, with error set to a
// text naming the family and the known ones.
std::unique_ptr<CEmulatedVendorDriver> CreateEmulatedVendorDriver(
    const std::string& family, const VENDOR_DRIVER_OPTIONS& options = VENDOR_DRIVER_OPTIONS{},
    std::string* error = nullptr);
