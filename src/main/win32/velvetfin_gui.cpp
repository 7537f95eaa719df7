// velvetfin.exe: the receiver as a Windows dialog application. The command line is
// the instance number; --emulated[=FILE] runs the whole program on the emulated
// platform (tuners built in or from a description, adapter, registry in memory), as
// a demonstration and for the tests on machines without a tuner.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/receiver_app.h"
#include "app/receiver_dlg.h"
#include "platform/adapter_list.h"
#include "platform/device_io.h"
#include "platform/device_platform.h"
#include "platform/emulated/bda_platform.h"
#include "platform/emulated/emulated_adapter_list.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/portable/file_registry.h"
#include "platform/emulated/emulated_services.h"
#include "platform/emulated/emulated_tap.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "remote/remote_control.h"
#include "ui/message_box.h"
#include "platform/win32/dialog_win32.h"
#include "platform/win32/gui_controls_win32.h"
#include "ui/command_line.h"
#include "log/log.h"

namespace {

constexpr char kUsage[] =
    "velvetfin [N] [--emulated[=FILE]]\n\n"
    "N\tinstance number (separate settings, log and adapter; unreadable: 0)\n"
    "--emulated\trun on emulated tuners and adapter (FILE: a device description)";

void Complain(const std::string& why) {
  ShowWin32MessageBox(nullptr, why + "\n\n" + kUsage, "Velvetfin", BoxIcon::Error, BoxButtons::Ok);
}

// The emulated machine: devices, driver I/O, registry, adapter list and services.
// Returns false (after a message) when the description cannot be used.
bool InstallEmulatedPlatform(const GUI_OPTIONS& options, unsigned instance,
                             std::vector<std::shared_ptr<CEmulatedTapAdapter>>* adapters) {
  CEmulatedBdaPlatform& devices = EmulatedDevicePlatform();
  std::string error;
  if (!options.devices.empty() && !devices.LoadFile(options.devices, &error)) {
    Complain(error);
    return false;
  }
  SetDevicePlatform(&devices);
  SetDeviceIo(&EmulatedDeviceIo());
  // The settings stay in memory unless a file is named: a demonstration leaves nothing behind.
  if (const char* file = std::getenv("VELVETFIN_REGISTRY"); file && *file) FileRegistry().AttachFile(file);
  SetRegistry(&FileRegistry());
  SetAdapterList(&EmulatedAdapterList());
  SetServiceControl(&EmulatedServices());

  bool installAdapter = true;
  if (!options.devices.empty())
    installAdapter = ProfileFile().GetInt(options.devices, "Adapter", "Installed", 1) != 0;
  if (!installAdapter) return true;
  // Each instance finds "its" adapter by number, so the ones before it exist too.
  for (unsigned k = 0; k <= instance; ++k) {
    EMULATED_TAP_SETUP setup;
    if (k < instance) setup.instanceId = FormatText("{5F3A1C2E-7B4D-4E8A-9C61-0B2D3E4F5A%02X}", 0x70 + k);
    // The description may make the adapters TAP-Windows6 ones, this instance's a VPN's.
    if (!options.devices.empty()) ReadAdapterDescription(ProfileFile(), options.devices, setup);
    if (k < instance) setup.usedElsewhereAddress.clear();
    adapters->push_back(InstallEmulatedTap(setup));
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The program's own name goes first: an autostart value stored before it was quoted
  // names it unquoted, and splitting at its blanks would lose the instance number.
  wchar_t module[MAX_PATH + 1] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  const std::string rest = ArgumentsAfterProgram(WideToUtf8(::GetCommandLineW()),
                                                 length > 0 && length < MAX_PATH ? WideToUtf8(module) : std::string());
  int argc = 0;
  LPWSTR* wide = ::CommandLineToArgvW(Utf8ToWide("velvetfin " + rest).c_str(), &argc);
  std::vector<std::string> args;
  for (int i = 1; wide && i < argc; ++i) args.push_back(WideToUtf8(wide[i]));
  if (wide) ::LocalFree(wide);

  GUI_OPTIONS options;
  std::string error = ParseGuiOptions(args, &options);
  if (!error.empty()) {
    Complain(error);
    return 2;
  }

  InstallGuiPainter();
  CReceiverApp app(options.commandLine);
  std::vector<std::shared_ptr<CEmulatedTapAdapter>> adapters;
  if (options.emulated && !InstallEmulatedPlatform(options, app.Instance(), &adapters)) return 2;

  // Other programs drive the receiver through its registered messages and watch the
  // status block; the remote window is served once the main dialog's loop runs.
  SetStatusPublisherFactory(&CreateStatusBlockPublisher);
  std::unique_ptr<CRemoteServer> remote;
  bool remoteTried = false;
  const unsigned instance = app.Instance();
  app.SetDialogObserver([&remote, &remoteTried, instance](CReceiverDlg& dialog) {
    dialog.SetTickObserver([&remote, &remoteTried, &dialog, instance] {
      if (remoteTried) return;
      remoteTried = true;
      std::string why;
      remote = StartRemoteControl(dialog.Window(), instance, kRemoteMessageNames, &why);
      if (!remote) LogMessage("No remote control: %s", why.c_str());
    });
    // Requests run on the dialog: serving ends before its pages and window go.
    dialog.SetShutdownObserver([&remote] { remote.reset(); });
  });
  int result = app.Run();
  remote.reset();
  return result;
}
