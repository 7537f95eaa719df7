// velvetfin.exe on a real display: started as users start it (on the emulated
// platform), then looked at and driven through its windows from outside, as another
// program would: titles, control ids and texts, tabs and pages, the status icon,
// the quit question, the German language module, and the end without devices.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "pages/filter_dlg_ids.h"
#include "pages/lnb_dlg_ids.h"
#include "pages/tuner_dlg_ids.h"
#include "platform/win32/dialog_win32.h"
#include "ui/dialog_ids.h"
#include "ui/setup_dlg_ids.h"

namespace {

const wchar_t kMainTitle[] = L"Velvetfin - v.1.1.4.15";
constexpr int kWaitMs = 60000;

std::wstring ProgramPath() { return Utf8ToWide(VF_PROGRAM_DIR) + L"/velvetfin.exe"; }

std::string TempPath(const std::string& name) {
  wchar_t dir[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, dir);
  return WideToUtf8(dir) + "vf-gui-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
}

bool WaitFor(const std::function<bool()>& done, int ms = kWaitMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

std::string Text(HWND window) {
  wchar_t text[512] = {};
  // WM_GETTEXT is marshalled between processes; GetWindowText of another process's control is not.
  ::SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 30000, nullptr);
  return WideToUtf8(text);
}

std::string ItemText(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }

// A top-level window of this process with this title (a message box or a dialog).
struct WINDOW_SEARCH {
  DWORD pid;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<WINDOW_SEARCH*>(p);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(w, &owner);
  wchar_t text[256] = {};
  ::GetWindowTextW(w, text, 256);
  if (owner == s->pid && *s->title == text && ::IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindOwnWindow(DWORD pid, const std::wstring& title) {
  WINDOW_SEARCH search{pid, &title, nullptr};
  ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The text of a message box: its static control with the message.
std::string BoxText(HWND box) {
  std::string text;
  for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    ::GetClassNameW(c, cls, 32);
    if (::lstrcmpiW(cls, L"Static") == 0 && ::GetDlgCtrlID(c) == 0xFFFF) text = Text(c);
  }
  return text;
}

// Memory in the program's process, for the common-control messages that carry pointers.
class CRemoteBuffer {
 public:
  CRemoteBuffer(HANDLE process, size_t size) : m_process(process), m_size(size) {
    m_address = ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~CRemoteBuffer() {
    if (m_address) ::VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
  }
  void* Address() const { return m_address; }
  bool Write(const void* data, size_t size, size_t offset = 0) {
    return ::WriteProcessMemory(m_process, static_cast<char*>(m_address) + offset, data, size, nullptr) != 0;
  }
  bool Read(void* data, size_t size, size_t offset = 0) {
    return ::ReadProcessMemory(m_process, static_cast<char*>(m_address) + offset, data, size, nullptr) != 0;
  }

 private:
  HANDLE m_process;
  size_t m_size;
  void* m_address;
};

class CVelvetfin {
 public:
  // Starts velvetfin.exe with these arguments and, when given, a registry file of its own.
  bool Start(const std::wstring& args, const std::string& registry = "") {
    std::wstring command = L"\"" + ProgramPath() + L"\" " + args;
    if (!registry.empty()) ::SetEnvironmentVariableW(L"VELVETFIN_REGISTRY", Utf8ToWide(registry).c_str());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    BOOL ok = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
    ::SetEnvironmentVariableW(L"VELVETFIN_REGISTRY", nullptr);
    return ok != 0;
  }
  ~CVelvetfin() {
    if (!m_pi.hProcess) return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
      // A failed test leaves the program open: end it, it is ours.
      ::TerminateProcess(m_pi.hProcess, 99);
      ::WaitForSingleObject(m_pi.hProcess, 10000);
    }
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
  }
  HWND WaitForWindow(const std::wstring& title, int ms = kWaitMs) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindOwnWindow(m_pi.dwProcessId, title)) != nullptr; }, ms);
    return found;
  }
  // Answers every box with this title by pressing `button`: the first within `ms`, each
  // next within 3 s of the one before; the texts of the boxes answered.
  std::vector<std::string> Answer(const std::wstring& title, int button, int ms) {
    std::vector<std::string> texts;
    while (HWND box = WaitForWindow(title, texts.empty() ? ms : std::min(ms, 3000))) {
      std::string text;
      WaitFor([&] { return !(text = BoxText(box)).empty(); }, 5000);
      texts.push_back(text);
      ::PostMessageW(box, WM_COMMAND, button, 0);
      WaitFor([&] { return !::IsWindow(box); }, 5000);
    }
    return texts;
  }
  bool Ended(int ms) { return ::WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() {
    DWORD code = 0;
    ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
  }
  HANDLE Process() const { return m_pi.hProcess; }
  DWORD Id() const { return m_pi.dwProcessId; }

 private:
  PROCESS_INFORMATION m_pi{};
};

std::vector<std::string> TabCaptions(CVelvetfin& program, HWND tabs) {
  std::vector<std::string> captions;
  int count = static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
  CRemoteBuffer remote(program.Process(), sizeof(TCITEMW) + 256 * sizeof(wchar_t));
  for (int i = 0; i < count; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(TCITEMW));
    item.cchTextMax = 255;
    remote.Write(&item, sizeof(item));
    ::SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(remote.Address()));
    wchar_t text[256] = {};
    remote.Read(text, sizeof(text) - sizeof(wchar_t), sizeof(TCITEMW));
    captions.push_back(WideToUtf8(text));
  }
  return captions;
}

// The page (a child dialog of the tab control) that holds this control.
HWND PageWith(HWND tabs, int controlId) {
  for (HWND page = ::GetWindow(tabs, GW_CHILD); page; page = ::GetWindow(page, GW_HWNDNEXT))
    if (::GetDlgItem(page, controlId)) return page;
  return nullptr;
}

int IconOf(HWND control) {
  return static_cast<int>(reinterpret_cast<intptr_t>(::GetPropW(control, L"VelvetfinIconId")));
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

// Windows need a display; without one (no X server for Wine) there is nothing to look at.
bool HaveDisplay() {
  wchar_t display[64] = {};
  return ::GetEnvironmentVariableW(L"DISPLAY", display, 64) > 0 && ::GetSystemMetrics(SM_CXSCREEN) > 0;
}

#define REQUIRE_DISPLAY()                                                                   \
  if (!HaveDisplay()) GTEST_SKIP() << "no display server: start Xvfb and set DISPLAY to run " \
                                      "the GUI tests (scripts/test does)"

class VelvetfinGui : public testing::Test {
 protected:
  void SetUp() override { m_files.clear(); }
  void TearDown() override {
    for (const std::string& f : m_files) ::DeleteFileW(Utf8ToWide(f).c_str());
  }
  std::string File(const std::string& name, const std::string& content = "") {
    std::string path = TempPath(name);
    if (!content.empty()) {
      FILE* f = _wfopen(Utf8ToWide(path).c_str(), L"wb");
      if (f) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
      }
    }
    m_files.push_back(path);
    return path;
  }
  std::vector<std::string> m_files;
};

// The main window as it comes up on the built-in satellite tuner with an adapter: its
// title and frame, the controls the other programs and the user rely on, four tabs in
// order, each tab showing its own page, and the status icon turning to "locked, data".
TEST_F(VelvetfinGui, MainWindowTabsPagesAndStatus) {
  REQUIRE_DISPLAY();
  CVelvetfin program;
  ASSERT_TRUE(program.Start(L"--emulated", File("registry-main")));
  HWND main = program.WaitForWindow(kMainTitle);
  ASSERT_NE(main, nullptr) << "the main window did not appear";

  LONG style = ::GetWindowLongW(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_SYSMENU) << "the main window must have no close button";
  EXPECT_TRUE(::GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_APPWINDOW);

  const std::pair<int, const char*> texts[] = {{IDC_EXIT, "Exit"},
                                               {IDC_HIDE, "Hide"},
                                               {IDC_PROFILE_NEW, "New"},
                                               {IDC_PROFILE_EDIT, "Edit"},
                                               {IDC_PROFILE_DELETE, "Delete"},
                                               {IDC_SERVICE_GROUP, "Service selection"},
                                               {IDC_USE_AS_DEFAULT, "Use as default"}};
  for (const auto& [id, text] : texts) EXPECT_EQ(ItemText(main, id), text) << "control " << id;
  EXPECT_TRUE(::SendMessageW(::GetDlgItem(main, IDC_EXIT), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(ItemText(main, IDC_DEVICE_LINE), "Device: 1 - Velvetfin Emulated DVB-S2 Tuner");
  EXPECT_EQ(ItemText(main, IDC_EXTENSION_LINE).rfind("Extension", 0), 0u) << ItemText(main, IDC_EXTENSION_LINE);
  EXPECT_EQ(IconOf(::GetDlgItem(main, IDC_PROGRAM_ICON)), 200);
  HWND profiles = ::GetDlgItem(main, IDC_PROFILE_LIST);
  EXPECT_GE(::SendMessageW(profiles, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(Text(profiles), "Standard");

  HWND tabs = ::GetDlgItem(main, IDC_TABS);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(TabCaptions(program, tabs),
            (std::vector<std::string>{"Status/Tuner", "DiSEqC/LNB", "MPE-Filter", "Setup"}));
  EXPECT_TRUE(::GetWindowLongW(tabs, GWL_STYLE) & TCS_OWNERDRAWFIXED);

  // One page per tab, found by a control only it has; the selected one alone is visible.
  const int marker[] = {IDC_FREQ, IDC_LNB_LOF1, IDC_UC_PID, IDC_ABOUT_TEXT};
  HWND pages[4] = {};
  for (int i = 0; i < 4; ++i) {
    pages[i] = PageWith(tabs, marker[i]);
    ASSERT_NE(pages[i], nullptr) << "no page with control " << marker[i];
  }
  for (int selected : {0, 2, 3, 1, 0}) {
    ::SendMessageW(tabs, TCM_SETCURFOCUS, selected, 0);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(pages[selected]) != 0; }, 5000)) << "tab " << selected;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(::IsWindowVisible(pages[i]) != 0, i == selected) << selected << "/" << i;
    EXPECT_EQ(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0), selected);
  }
  // The pages lie inside the tab control, below its row of tabs.
  RECT tabRect{}, pageRect{};
  ::GetWindowRect(tabs, &tabRect);
  ::GetWindowRect(pages[0], &pageRect);
  EXPECT_GE(pageRect.top, tabRect.top + 20);
  EXPECT_GE(pageRect.left, tabRect.left);

  // The demo stream flows on the default profile: locked with data, here and in the tray.
  HWND status = ::GetDlgItem(main, IDC_STATUS_ICON);
  EXPECT_TRUE(WaitFor([&] { return IconOf(status) == 203; }, 20000)) << "status icon " << IconOf(status);
  EXPECT_EQ(ItemText(pages[0], IDC_FREQ).rfind("11263", 0), 0u) << ItemText(pages[0], IDC_FREQ);
  EXPECT_GT(::SendMessageW(::GetDlgItem(pages[0], IDC_LEVEL_BAR), PBM_GETPOS, 0, 0), 0);
  ::SendMessageW(tabs, TCM_SETCURFOCUS, 2, 0);
  EXPECT_TRUE(WaitFor([&] { return ItemText(pages[2], IDC_TOTAL_RATE) != ""; }, 5000));

  // The frequency up-down steps the frequency in the edit.
  ::SendMessageW(tabs, TCM_SETCURFOCUS, 0, 0);
  HWND spin = ::GetDlgItem(pages[0], IDC_FREQ_SPIN);
  ASSERT_NE(spin, nullptr);
  const std::string before = ItemText(pages[0], IDC_FREQ);
  ::SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 2));
  ::SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(3, 2));
  EXPECT_TRUE(WaitFor([&] { return ItemText(pages[0], IDC_FREQ) != before; }, 5000)) << before;

  Click(::GetDlgItem(main, IDC_EXIT));
  ASSERT_NE(program.WaitForWindow(L"Question ?", 10000), nullptr);
  program.Answer(L"Question ?", IDYES, 2000);
  EXPECT_TRUE(program.Ended(20000));
  EXPECT_EQ(program.ExitCode(), 0u);
}

// Another program drives the running receiver through its registered messages: a
// frequency placed and applied from a second process retunes the Status/Tuner page.
TEST_F(VelvetfinGui, ARemoteTunerApplyFromAnotherProcessRetunes) {
  REQUIRE_DISPLAY();
  CVelvetfin program;
  ASSERT_TRUE(program.Start(L"--emulated", File("registry-remote")));
  HWND main = program.WaitForWindow(kMainTitle);
  ASSERT_NE(main, nullptr) << "the main window did not appear";
  HWND status = ::GetDlgItem(main, IDC_STATUS_ICON);
  ASSERT_TRUE(WaitFor([&] { return IconOf(status) == 203; }, 20000)) << "status icon " << IconOf(status);
  HWND page = PageWith(::GetDlgItem(main, IDC_TABS), IDC_FREQ);
  ASSERT_NE(page, nullptr);

  std::wstring command = L"\"" + Utf8ToWide(VF_PROGRAM_DIR) + L"/velvetfin-remote.exe\" tuner 1 11778000 -- tuner 0";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &si, &pi));
  ASSERT_EQ(::WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u) << "the receiver did not answer 1 to both requests";
  EXPECT_TRUE(WaitFor([&] { return ItemText(page, IDC_FREQ).rfind("11778", 0) == 0; }, 5000))
      << ItemText(page, IDC_FREQ);
  // The built-in tuner only locks on 11263 MHz: the retune loses the lock.
  EXPECT_TRUE(WaitFor([&] { return IconOf(status) == 202; }, 10000)) << "status icon " << IconOf(status);

  Click(::GetDlgItem(main, IDC_EXIT));
  program.Answer(L"Question ?", IDYES, 10000);
  EXPECT_TRUE(program.Ended(20000));
}

// The quit question: "Exit" asks while "Notify on closing" is checked, "No" keeps the
// program, Esc and the close command never end it, and without the box "Exit" ends it
// at once.
TEST_F(VelvetfinGui, ExitAsksAndEscapeDoesNotClose) {
  REQUIRE_DISPLAY();
  CVelvetfin program;
  ASSERT_TRUE(program.Start(L"--emulated", File("registry-exit")));
  HWND main = program.WaitForWindow(kMainTitle);
  ASSERT_NE(main, nullptr);

  Click(::GetDlgItem(main, IDC_EXIT));
  HWND box = program.WaitForWindow(L"Question ?", 10000);
  ASSERT_NE(box, nullptr) << "Exit did not ask";
  EXPECT_EQ(BoxText(box), "Are you sure to quit the Velvetfin ?");
  EXPECT_EQ(program.Answer(L"Question ?", IDNO, 1000).size(), 1u);
  EXPECT_FALSE(program.Ended(500));

  // The Esc key as the dialog's message loop gets it, then the commands it and the close
  // command become.
  ::PostMessageW(::GetDlgItem(main, IDC_HIDE), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
  ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_FALSE(program.Ended(1500)) << "Esc or close ended the program";
  EXPECT_TRUE(::IsWindow(main));
  EXPECT_EQ(FindOwnWindow(program.Id(), L"Question ?"), nullptr);

  HWND tabs = ::GetDlgItem(main, IDC_TABS);
  HWND setup = PageWith(tabs, IDC_CONFIRM_ON_EXIT);
  ASSERT_NE(setup, nullptr);
  HWND confirm = ::GetDlgItem(setup, IDC_CONFIRM_ON_EXIT);
  EXPECT_EQ(::SendMessageW(confirm, BM_GETCHECK, 0, 0), BST_CHECKED);
  ::SendMessageW(confirm, BM_CLICK, 0, 0);
  EXPECT_EQ(::SendMessageW(confirm, BM_GETCHECK, 0, 0), BST_UNCHECKED);

  Click(::GetDlgItem(main, IDC_EXIT));
  EXPECT_TRUE(program.Ended(20000)) << "Exit without the question did not end the program";
  EXPECT_EQ(program.ExitCode(), 0u);
}

// Fewer pages where the device or the machine has less: no adapter, no MPE-Filter tab
// (after the two warnings); a cable tuner, no DiSEqC/LNB tab.
TEST_F(VelvetfinGui, TabsFollowDeviceAndAdapter) {
  REQUIRE_DISPLAY();
  struct CASE {
    const char* name;
    const char* description;
    std::vector<std::string> tabs;
    std::vector<std::string> warnings;
  } cases[] = {
      {"noadapter", "[Sat]\r\nFriendlyName=Emulated DVB-S2 Tuner\r\n[Adapter]\r\nInstalled=0\r\n",
       {"Status/Tuner", "DiSEqC/LNB", "Setup"},
       {"Brannox adapter not installed !", "Network support unavailable !"}},
      // The default profile's satellite frequency is no cable frequency: the page says so.
      {"cable", "[Cable]\r\nFriendlyName=Emulated DVB-C Tuner\r\nDelivery=cable\r\n",
       {"Status/Tuner", "MPE-Filter", "Setup"},
       {"Please insert a valid frequency !\n(50.500 - 858.000 MHz)"}},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.name);
    CVelvetfin program;
    std::string description = File(std::string(c.name) + ".ini", c.description);
    ASSERT_TRUE(program.Start(L"--emulated=\"" + Utf8ToWide(description) + L"\"", File("registry-" + std::string(c.name))));
    EXPECT_EQ(program.Answer(L"Warning !", IDOK, 20000), c.warnings);
    HWND main = program.WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(TabCaptions(program, ::GetDlgItem(main, IDC_TABS)), c.tabs);
    if (c.tabs.size() == 3 && c.tabs[1] != "MPE-Filter") {
      // Without an adapter no data can flow: never "locked, data".
      std::this_thread::sleep_for(std::chrono::milliseconds(2500));
      EXPECT_NE(IconOf(::GetDlgItem(main, IDC_STATUS_ICON)), 203);
    }
    HWND setup = PageWith(::GetDlgItem(main, IDC_TABS), IDC_CONFIRM_ON_EXIT);
    ASSERT_NE(setup, nullptr);
    ::SendMessageW(::GetDlgItem(setup, IDC_CONFIRM_ON_EXIT), BM_CLICK, 0, 0);
    Click(::GetDlgItem(main, IDC_EXIT));
    EXPECT_TRUE(program.Ended(20000));
  }
}

// Choosing German on the Setup page asks for a restart; the next start shows the
// German module's dialogs, tabs and messages.
TEST_F(VelvetfinGui, GermanModuleReplacesTexts) {
  REQUIRE_DISPLAY();
  std::string registry = File("registry-lang");
  {
    CVelvetfin program;
    ASSERT_TRUE(program.Start(L"--emulated", registry));
    HWND main = program.WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    HWND setup = PageWith(::GetDlgItem(main, IDC_TABS), IDC_LANGUAGE);
    ASSERT_NE(setup, nullptr);
    HWND list = ::GetDlgItem(setup, IDC_LANGUAGE);
    ASSERT_TRUE(::IsWindowEnabled(list)) << "the German module was not found beside the program";
    int german = static_cast<int>(::SendMessageW(list, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(L"German")));
    ASSERT_GE(german, 0);
    ::SendMessageW(list, CB_SETCURSEL, german, 0);
    ::PostMessageW(setup, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    std::vector<std::string> restart = program.Answer(L"Warning !", IDOK, 10000);
    ASSERT_EQ(restart.size(), 1u);
    EXPECT_EQ(restart[0], "Restart application for language change.");
    Click(::GetDlgItem(main, IDC_EXIT));
    program.Answer(L"Question ?", IDYES, 5000);
    ASSERT_TRUE(program.Ended(20000));
  }
  CVelvetfin program;
  ASSERT_TRUE(program.Start(L"--emulated", registry));
  HWND main = program.WaitForWindow(kMainTitle);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(ItemText(main, IDC_EXIT), "Beenden");
  EXPECT_EQ(ItemText(main, IDC_HIDE), "Ausblenden");
  EXPECT_EQ(ItemText(main, IDC_SERVICE_GROUP), "Dienstauswahl");
  HWND tabs = ::GetDlgItem(main, IDC_TABS);
  EXPECT_EQ(TabCaptions(program, tabs),
            (std::vector<std::string>{"Status/Tuner", "DiSEqC/LNB", "MPE-Filter", "Einstellungen"}));
  HWND setup = PageWith(tabs, IDC_CONFIRM_ON_EXIT);
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(ItemText(setup, IDC_CONFIRM_ON_EXIT), "Beim Beenden fragen");
  EXPECT_EQ(ItemText(setup, IDC_ADAPTER_KIND_LABEL), "Netzadapter :");
  EXPECT_EQ(ItemText(PageWith(tabs, IDC_APPLY_TUNER), IDC_APPLY_TUNER), "Übernehmen");
  Click(::GetDlgItem(main, IDC_EXIT));
  HWND box = program.WaitForWindow(L"Frage ?", 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(BoxText(box), "Wollen Sie Velvetfin wirklich beenden ?");
  program.Answer(L"Frage ?", IDYES, 2000);
  EXPECT_TRUE(program.Ended(20000));
}

// Starts that end with one message and a failure code: without --emulated the program
// looks for real tuners and this machine has none (message 106); a bad command line is
// refused before anything starts.
TEST_F(VelvetfinGui, StartsThatEndWithAMessage) {
  REQUIRE_DISPLAY();
  struct CASE {
    const wchar_t* args;
    const wchar_t* title;
    const char* text;  // how the message begins
    DWORD exitCode;
  } cases[] = {
      {L"7", L"Error !", "BDA devices not found !", 1},
      {L"--bogus", L"Velvetfin", "unknown argument --bogus", 2},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.text);
    CVelvetfin program;
    ASSERT_TRUE(program.Start(c.args));
    std::vector<std::string> boxes = program.Answer(c.title, IDOK, 30000);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(c.text, 0), 0u) << boxes[0];
    EXPECT_TRUE(program.Ended(20000));
    EXPECT_EQ(program.ExitCode(), c.exitCode);
  }
}

}  // namespace
