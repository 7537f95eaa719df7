// The portable event loop: timers by hand and by the real clock, messages posted and
// sent from other threads while a modal dialog runs, windows that go away.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/portable/event_loop.h"

namespace {

constexpr UINT kPing = WM_USER + 1;

class CRecorder final : public CWindowHandler {
 public:
  bool OnInitDialog(CWindow& window) override {
    this->window = &window;
    return initResult;
  }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
    if (message == WM_TIMER) {
      ticks.push_back(static_cast<int>(wParam));
      if (onTick) onTick(static_cast<int>(wParam));
      return true;
    }
    if (message == kPing) {
      pings.push_back(static_cast<int>(lParam));
      *result = lParam * 2;
      return true;
    }
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDOK) {
      window->EndDialog(IDOK);
      return true;
    }
    return false;
  }
  void OnDestroy() override { ++destroyed; }

  CWindow* window = nullptr;
  bool initResult = true;
  std::vector<int> ticks;
  std::vector<int> pings;
  std::function<void(int)> onTick;
  int destroyed = 0;
};

TEST(PortableWindows, TimersFireOncePerPeriodOnTheManualClock) {
  CPortableWindowServices services;
  services.UseManualClock();
  CRecorder r;
  auto window = services.NewDialog(500);
  ASSERT_TRUE(services.CreateModeless(*window, nullptr, r));
  window->SetTimer(42, 1000);
  window->SetTimer(7, 300);
  r.onTick = [&](int id) {
    if (id == 7 && std::count(r.ticks.begin(), r.ticks.end(), 7) == 3) window->KillTimer(7);
  };
  services.Advance(999);
  EXPECT_TRUE(std::count(r.ticks.begin(), r.ticks.end(), 42) == 0);
  services.Advance(1);
  services.Advance(2000);
  EXPECT_EQ(std::count(r.ticks.begin(), r.ticks.end(), 42), 3);
  EXPECT_EQ(std::count(r.ticks.begin(), r.ticks.end(), 7), 3);  // killed from its own tick
  // Posted messages wait for the loop; a window that is gone gets none.
  EXPECT_TRUE(services.PostMessage(window.get(), kPing, 0, 5));
  EXPECT_TRUE(r.pings.empty());
  services.DispatchPending();
  EXPECT_EQ(r.pings, std::vector<int>{5});
  CWindow* gone = window.get();
  window.reset();
  EXPECT_EQ(r.destroyed, 1);
  EXPECT_FALSE(services.PostMessage(gone, kPing, 0, 6));
  EXPECT_EQ(services.SendMessage(gone, kPing, 0, 6), 0);
}

TEST(PortableWindows, OtherThreadsSendAndPostWhileAModalDialogRuns) {
  CPortableWindowServices services;
  CRecorder r;
  auto window = services.NewDialog(501);
  std::atomic<bool> running{false};
  std::vector<LRESULT> answers;
  services.SetModalScript(501, [&](CPortableWindow& w, CWindowHandler&) {
    w.SetTimer(1, 5);
    running = true;
  });
  std::thread other([&] {
    while (!running) std::this_thread::yield();
    for (int i = 1; i <= 50; ++i) {
      services.PostMessage(window.get(), kPing, 0, 1000 + i);
      answers.push_back(services.SendMessage(window.get(), kPing, 0, i));
    }
    services.PostMessage(window.get(), WM_COMMAND, IDOK, 0);
  });
  INT_PTR result = services.RunModal(*window, nullptr, r);
  other.join();
  EXPECT_EQ(result, IDOK);
  ASSERT_EQ(answers.size(), 50u);
  for (int i = 1; i <= 50; ++i) EXPECT_EQ(answers[i - 1], 2 * i);
  // Every message arrived, and those from one thread in the order sent.
  ASSERT_EQ(r.pings.size(), 100u);
  for (size_t i = 0; i + 1 < r.pings.size(); i += 2) {
    EXPECT_EQ(r.pings[i], 1000 + int(i / 2) + 1);
    EXPECT_EQ(r.pings[i + 1], int(i / 2) + 1);
  }
  EXPECT_EQ(r.destroyed, 1);
}

TEST(PortableWindows, ModalDialogsEndAtInitByScriptOrFromAnotherThread) {
  CPortableWindowServices services;
  {
    CRecorder refuses;
    refuses.initResult = false;
    auto w = services.NewDialog(502);
    EXPECT_EQ(services.RunModal(*w, nullptr, refuses), IDCANCEL);
  }
  {
    services.SetModalDefault(IDCANCEL);
    CRecorder unanswered;
    auto w = services.NewDialog(503);
    EXPECT_EQ(services.RunModal(*w, nullptr, unanswered), IDCANCEL);
    services.SetModalDefault(-1);
  }
  {
    CRecorder r;
    auto w = services.NewDialog(504);
    std::thread ender([&] {
      while (!services.ActiveModal()) std::this_thread::yield();
      services.PostEndDialog(services.ActiveModal(), 77);
    });
    EXPECT_EQ(services.RunModal(*w, nullptr, r), 77);
    ender.join();
    EXPECT_EQ(services.ActiveModal(), nullptr);
  }
}

}  // namespace
