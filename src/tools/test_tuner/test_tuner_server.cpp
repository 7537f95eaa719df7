// The test tuner's in-process COM server: class objects, self-registration into the BDA
// network tuner category (one class and one category instance per described device, so
// the device enumerator binds each to its own device), and the record of the calls the
// devices received.
//
// Where the devices come from, each an environment variable or else the value of the same
// role that registration stored under HKLM\Software\Velvetfin\TestTuner:
//   VELVETFIN_TEST_TUNER        ("Description")  the emulated device description (ini file);
//                                                the built-in demo tuner when neither is set
//   VELVETFIN_TEST_TUNER_TS     ("CaptureFile")  a .ts capture every device replays
//   VELVETFIN_TEST_TUNER_CALLS                   a file rewritten with every call so far
//                                                whenever one of our filters is released
#ifdef _WIN32
#include "tools/test_tuner/test_tuner_filter.h"

#include <olectl.h>

#include <cstdio>
#include <string>

#include "platform/emulated/bda_description.h"
#include "platform/emulated/bda_platform.h"

namespace {

// {5E3A1C70-9B2D-4F61-8C4E-7A0D2B6F1E00}; the last byte numbers the described device.
constexpr CLSID kClsidBase = {0x5E3A1C70, 0x9B2D, 0x4F61, {0x8C, 0x4E, 0x7A, 0x0D, 0x2B, 0x6F, 0x1E, 0x00}};
constexpr int kMaxDevices = 16;
constexpr char kSettingsKey[] = "Software\\Velvetfin\\TestTuner";
constexpr WCHAR kClassName[] = L"Velvetfin Test Tuner";

HMODULE g_module = nullptr;
std::atomic<long> g_locks{0};

CLSID DeviceClsid(int device) {
  CLSID clsid = kClsidBase;
  clsid.Data4[7] = static_cast<BYTE>(device);
  return clsid;
}

// The device number of one of our classes, or -1.
int DeviceOf(const CLSID& clsid) {
  CLSID base = clsid;
  base.Data4[7] = 0;
  return base == kClsidBase && clsid.Data4[7] < kMaxDevices ? clsid.Data4[7] : -1;
}

void Report(const std::string& text) {
  std::string line = "velvetfin-test-tuner: " + text + "\n";
  std::fputs(line.c_str(), stderr);
  OutputDebugStringA(line.c_str());
}

std::string Setting(const char* variable, const char* value) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA(variable, buffer, sizeof(buffer));
  if (n > 0 && n < sizeof(buffer)) return buffer;
  DWORD size = sizeof(buffer);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKey, value, RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS)
    return buffer;
  return "";
}

struct SERVER_DEVICES {
  std::mutex lock;
  bool tried = false;
  std::string error;  // empty when loaded
  CEmulatedBdaPlatform platform;
};

SERVER_DEVICES& Devices() {
  static SERVER_DEVICES devices;
  return devices;
}

// Loads the devices once; false with the reason reported.
bool LoadDevices() {
  SERVER_DEVICES& s = Devices();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.tried) return s.error.empty();
  s.tried = true;
  EMULATED_DESCRIPTION description;
  std::string path = Setting("VELVETFIN_TEST_TUNER", "Description");
  if (path.empty()) {
    description = DefaultEmulatedDescription();
  } else if (!LoadEmulatedDescription(path, &description, &s.error)) {
    if (s.error.empty()) s.error = "cannot read " + path;
  }
  if (s.error.empty() && description.devices.size() > static_cast<size_t>(kMaxDevices))
    s.error = "more than " + std::to_string(kMaxDevices) + " devices described";
  const std::string capture = Setting("VELVETFIN_TEST_TUNER_TS", "CaptureFile");
  if (s.error.empty() && !capture.empty()) {
    if (std::FILE* f = std::fopen(capture.c_str(), "rb")) std::fclose(f);
    else s.error = "cannot open the capture file " + capture;
    for (EMULATED_DEVICE_DESC& d : description.devices) {
      d.stream = EMULATED_STREAM_KIND::File;
      d.streamFile = capture;
    }
  }
  if (s.error.empty()) s.platform.Load(description, &s.error);
  if (!s.error.empty()) Report(s.error);
  return s.error.empty();
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(n > 0 ? n - 1 : 0);
  return wide;
}

std::wstring GuidText(const GUID& guid) {
  WCHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

LONG SetText(HKEY root, const std::wstring& key, const WCHAR* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(handle);
  return rc;
}

std::wstring InstanceKey(int device) {
  return L"CLSID\\" + GuidText(kKsCategoryBdaNetworkTuner) + L"\\Instance\\" + GuidText(DeviceClsid(device));
}

class CTestTunerFactory final : public CServerObject<IClassFactory> {
 public:
  explicit CTestTunerFactory(int device) : m_device(device) {}
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!LoadDevices()) return E_FAIL;
    std::shared_ptr<CEmulatedBdaDevice> device = Devices().platform.Device(static_cast<size_t>(m_device));
    if (!device) {
      Report("no device number " + std::to_string(m_device) + " in the description (registered from another one?)");
      return E_FAIL;
    }
    auto* filter = new CTestTunerFilter(DeviceClsid(m_device), std::move(device));
    HRESULT hr = filter->QueryInterface(riid, ppv);
    filter->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) ++g_locks;
    else --g_locks;
    return S_OK;
  }

 private:
  int m_device;
};

}  // namespace

void OnTestTunerFilterReleased() {
  char path[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA("VELVETFIN_TEST_TUNER_CALLS", path, sizeof(path));
  if (n == 0 || n >= sizeof(path)) return;
  std::string text = Devices().platform.DumpCalls();
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    Report(std::string("cannot write the call record to ") + path);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  int device = DeviceOf(clsid);
  if (device < 0) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new CTestTunerFactory(device);
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() { return TestTunerObjects() == 0 && g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllUnregisterServer() {
  for (int i = 0; i < kMaxDevices; ++i) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, InstanceKey(i).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(DeviceClsid(i))).c_str());
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey);
  return S_OK;
}

STDAPI DllRegisterServer() {
  // Earlier registrations (perhaps of more devices) go first.
  DllUnregisterServer();
  if (!LoadDevices()) return SELFREG_E_CLASS;
  WCHAR module[MAX_PATH];
  DWORD n = GetModuleFileNameW(g_module, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;

  // The settings this registration was made with, for processes started without them.
  for (auto [variable, value] : {std::pair{"VELVETFIN_TEST_TUNER", L"Description"},
                                 std::pair{"VELVETFIN_TEST_TUNER_TS", L"CaptureFile"}}) {
    char buffer[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableA(variable, buffer, sizeof(buffer));
    if (length > 0 && length < sizeof(buffer) &&
        SetText(HKEY_LOCAL_MACHINE, Wide(kSettingsKey), value, Wide(buffer)) != ERROR_SUCCESS)
      return SELFREG_E_CLASS;
  }

  SERVER_DEVICES& s = Devices();
  for (size_t i = 0; i < s.platform.DeviceCount(); ++i) {
    const int device = static_cast<int>(i);
    const std::wstring clsid = GuidText(DeviceClsid(device));
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring name = Wide(s.platform.Device(i)->Description().friendlyName);
    if (SetText(HKEY_CLASSES_ROOT, classKey, nullptr, kClassName) != ERROR_SUCCESS ||
        SetText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr, module) != ERROR_SUCCESS ||
        SetText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel", L"Both") != ERROR_SUCCESS ||
        SetText(HKEY_CLASSES_ROOT, InstanceKey(device), L"FriendlyName", name) != ERROR_SUCCESS ||
        SetText(HKEY_CLASSES_ROOT, InstanceKey(device), L"CLSID", clsid) != ERROR_SUCCESS) {
      Report("cannot write the registration of device " + std::to_string(device));
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

// For tests in the same process: the server's COM objects alive now.
LONG WINAPI TestTunerLiveObjects() { return TestTunerObjects().load(); }

}  // extern "C"
#endif
