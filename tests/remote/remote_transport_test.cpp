// The transports themselves: the status block in shared memory, and on Linux the
// socket against clients that stall, send half a request, flood it or crowd it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/shared_memory.h"
#include "remote/remote_control.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace {

unsigned TestInstance() {
#ifdef _WIN32
  return 900 + unsigned(GetCurrentProcessId() % 1000);
#else
  return 900 + unsigned(getpid() % 1000);
#endif
}

}  // namespace

TEST(StatusBlockTransport, CreatedZeroRewrittenWithoutTerminatorAndGoneWithThePublisher) {
  const unsigned instance = TestInstance();
#ifdef _WIN32
  // Under Windows a block counts only while its receiver's remote window is there.
  std::string started;
  std::unique_ptr<CRemoteServer> window =
      StartRemoteWindow(instance, [](UINT, WPARAM, LPARAM, LRESULT*) { return false; }, &started);
  ASSERT_TRUE(window) << started;
#endif
  STATUS_BLOCK_TEXT status;
  std::string raw, error;
  ASSERT_EQ(ReadStatusBlock(instance, &status, &raw, &error), REMOTE_RESULT::kNoReceiver);
#ifndef _WIN32
  // A block a crashed run left behind, full of old text, is cleared when the page opens it.
  const std::string object = SharedMemoryObjectName(StatusBlockName(instance));
  EXPECT_EQ(object, "/Grayheron" + std::to_string(instance) + "%2F%2FTuner." + std::to_string(getuid()));
  int fd = shm_open(object.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, kStatusBlockSize), 0);
  ASSERT_EQ(write(fd, "1\n99\n99\n", 8), 8);
  close(fd);
  // Nobody holds it: no receiver runs, whatever the block still says.
  EXPECT_EQ(ReadStatusBlock(instance, &status, &raw, &error), REMOTE_RESULT::kNoReceiver);
#endif
  std::unique_ptr<CStatusPublisher> publisher = CreateStatusBlockPublisher(instance);
  ASSERT_TRUE(publisher);
  ASSERT_EQ(ReadStatusBlock(instance, &status, &raw, &error), REMOTE_RESULT::kAnswered) << error;
#ifndef _WIN32
  EXPECT_EQ(raw, std::string(kStatusBlockSize, '\0'));
  EXPECT_FALSE(status.valid);
#endif
  publisher->Publish("1\n85\n70\n");
  publisher->Publish("0\n0\n0\n");
  ASSERT_EQ(ReadStatusBlock(instance, &status, &raw, &error), REMOTE_RESULT::kAnswered);
  EXPECT_EQ(raw, std::string("0\n0\n0\n0\n") + std::string(kStatusBlockSize - 8, '\0'));
  EXPECT_EQ(FormatStatusLines(status), "lock 0\nlevel 0\nquality 0\n");
  publisher.reset();
#ifndef _WIN32
  EXPECT_EQ(ReadStatusBlock(instance, &status, &raw, &error), REMOTE_RESULT::kNoReceiver);
  // A block others may open is not ours to publish in: the page goes on unpublished.
  fd = shm_open(object.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  fchmod(fd, 0644);
  close(fd);
  EXPECT_EQ(CreateStatusBlockPublisher(instance), nullptr);
  EXPECT_EQ(ReadStatusBlock(instance, &status, &raw, &error), REMOTE_RESULT::kNoReceiver);
  shm_unlink(object.c_str());
#endif
}

#ifndef _WIN32
namespace {

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testing::TempDir() + "vf-socket-" + std::to_string(getpid());
    ASSERT_EQ(std::system(("rm -rf '" + m_dir + "' && mkdir -m 700 -p '" + m_dir + "'").c_str()), 0);
    m_path = m_dir + "/test.sock";
  }
  void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

  // Requests answered 1 (0 for commands above 15) on the server's thread.
  std::unique_ptr<CRemoteServer> Start(LOCAL_SERVER_LIMITS limits, std::string* error) {
    return StartLocalServer(
        m_path,
        [this] {
          struct CONNECTION final : CStreamConnection {
            explicit CONNECTION(std::atomic<int>* count)
                : session([count](const REMOTE_REQUEST& r, long long* result) {
                    if (r.message != "GRAYHERON_TUNER") return false;
                    // An apply with a value stands for one that tunes: it takes that many ms.
                    if (r.wParam == 0 && r.lParam > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.lParam));
                    ++*count;
                    *result = r.wParam <= 15;
                    return true;
                  }) {}
            bool Feed(const char* data, size_t size, std::string* out) override { return session.Feed(data, size, out); }
            CRemoteSession session;
          };
          return std::make_unique<CONNECTION>(&m_dispatched);
        },
        limits, error);
  }

  int Connect() {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, m_path.c_str(), sizeof a.sun_path - 1);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
    return fd;
  }
  static void Send(int fd, const std::string& text) { (void)!send(fd, text.data(), text.size(), MSG_NOSIGNAL); }
  // Everything until the server closes or `ms` pass without a byte; "<open>" marks a connection still open.
  static std::string Receive(int fd, int ms) {
    std::string text;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, ms) <= 0) return text + "<open>";
      char buffer[256];
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return text;
      text.append(buffer, size_t(n));
    }
  }
  static std::string Exchange(int fd, const std::string& request, size_t answerBytes) {
    Send(fd, request);
    std::string text;
    while (text.size() < answerBytes) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) break;
      char buffer[256];
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      text.append(buffer, size_t(n));
    }
    return text;
  }

  std::string m_dir, m_path;
  std::atomic<int> m_dispatched{0};
};

}  // namespace

TEST_F(SocketTest, SilentHalfAndFloodingClientsHoldOnlyThemselves) {
  std::string error;
  std::unique_ptr<CRemoteServer> server = Start(LOCAL_SERVER_LIMITS{3, 1500}, &error);
  ASSERT_TRUE(server) << error;
  struct stat st {};
  ASSERT_EQ(stat(m_path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  int silent = Connect();
  int half = Connect();
  Send(half, "GRAYHERON_TUNER 1");
  // Another client is served meanwhile, long before the others' idle time is up.
  int busy = Connect();
  EXPECT_EQ(Exchange(busy, "GRAYHERON_TUNER 1 11778000\nGRAYHERON_TUNER 16 0\n", 10), "OK 1\nOK 0\n");
  EXPECT_EQ(Receive(silent, 0), "<open>");
  // The slots are taken: a fourth client is told so and closed.
  int fourth = Connect();
  EXPECT_EQ(Receive(fourth, 2000), "ERR busy\n");
  close(fourth);
  // Silence ends a connection after the idle time; half a request is never run.
  EXPECT_EQ(Receive(silent, 3000), "");
  EXPECT_EQ(Receive(half, 3000), "");
  EXPECT_EQ(Receive(busy, 3000), "");
  close(silent);
  close(half);
  close(busy);
  EXPECT_EQ(m_dispatched.load(), 2);

  // A flood without a line end is refused early; garbage lines get an error each.
  int flood = Connect();
  Send(flood, std::string(1 << 20, 'A'));
  EXPECT_EQ(Receive(flood, 2000).substr(0, 21), "ERR request too long\n");
  close(flood);
  int garbage = Connect();
  EXPECT_EQ(Exchange(garbage, std::string("\0\xff\x01 1 1\n", 8) + "GRAYHERON_FILTER 1 1\nGRAYHERON_TUNER 0 0\n", 200),
            "ERR malformed message name\nERR unknown message GRAYHERON_FILTER\nOK 1\n");
  close(garbage);
  EXPECT_EQ(m_dispatched.load(), 3);
  server.reset();
  EXPECT_NE(stat(m_path.c_str(), &st), 0);
}

// A slow request holds only its own connection, and each request of a batch is answered
// as soon as it is done, so a client waits for no more than its slowest request.
TEST_F(SocketTest, EachRequestIsAnsweredWhenDoneAndASlowOneHoldsOnlyItsClient) {
  std::string error;
  std::unique_ptr<CRemoteServer> server = Start(LOCAL_SERVER_LIMITS{}, &error);
  ASSERT_TRUE(server) << error;
  int batch = Connect();
  Send(batch, "GRAYHERON_TUNER 1 5\nGRAYHERON_TUNER 0 1500\nGRAYHERON_TUNER 1 6\n");
  EXPECT_EQ(Receive(batch, 700), "OK 1\n<open>");
  const auto asked = std::chrono::steady_clock::now();
  int other = Connect();
  EXPECT_EQ(Exchange(other, "GRAYHERON_TUNER 2 27500\n", 5), "OK 1\n");
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(600));
  close(other);
  EXPECT_EQ(Exchange(batch, "", 10), "OK 1\nOK 1\n");
  close(batch);
  EXPECT_EQ(m_dispatched.load(), 4);
  // A client that sends its requests and closes still has them run.
  int gone = Connect();
  Send(gone, "GRAYHERON_TUNER 1 7\n");
  close(gone);
  for (int i = 0; i < 100 && m_dispatched.load() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(m_dispatched.load(), 5);
}

TEST_F(SocketTest, AFileLeftByAnEndedRunIsReplacedButNoLiveSocketOrOtherFile) {
  std::string error;
  // A socket whose server ended.
  int stale = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, m_path.c_str(), sizeof a.sun_path - 1);
  ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  close(stale);
  std::unique_ptr<CRemoteServer> server = Start(LOCAL_SERVER_LIMITS{}, &error);
  ASSERT_TRUE(server) << error;
  EXPECT_EQ(Start(LOCAL_SERVER_LIMITS{}, &error), nullptr);
  EXPECT_NE(error.find("served by another process"), std::string::npos) << error;
  server.reset();
  // Something that is no socket is left alone.
  std::system(("touch '" + m_path + "'").c_str());
  EXPECT_EQ(Start(LOCAL_SERVER_LIMITS{}, &error), nullptr);
  EXPECT_NE(error.find("no socket"), std::string::npos) << error;
  // A client finds no server: told apart from a failure.
  std::string reply;
  unlink(m_path.c_str());
  EXPECT_EQ(CallLocalServer(m_path, "GRAYHERON_TUNER 0 0\n", 1, 1000, &reply, &error), LOCAL_CALL::kNoServer);
}
#endif
