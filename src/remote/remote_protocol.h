// The text protocol of the local remote-control socket, and the status block's
// name and content. One request per line:
//   <registered message name> <WPARAM> <LPARAM>\n     e.g. "GRAYHERON_TUNER 1 11778000\n"
// answered by one line: "OK <result>\n" or "ERR <reason>\n". WPARAM is an unsigned
// 32-bit decimal, LPARAM a signed or unsigned 32-bit decimal (the value the message
// carries). Everything here is pure, so the socket's input can be fuzzed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A request line may not be longer than this (the newline included).
constexpr size_t kRemoteLineMax = 128;
constexpr size_t kRemoteMessageNameMax = 64;
// The status block: its size and its names ("Grayheron//Tuner", "Grayheron%u//Tuner").
constexpr size_t kStatusBlockSize = 256;

struct REMOTE_REQUEST {
  std::string message;  // the registered message's name
  uint32_t wParam = 0;
  uint32_t lParam = 0;  // the 32 bits of the value, however it was written
};

// One line without its newline; false with the reason when it breaks a rule.
bool ParseRemoteRequest(std::string_view line, REMOTE_REQUEST* request, std::string* error);
std::string FormatRemoteRequest(const REMOTE_REQUEST& request);

struct REMOTE_ANSWER {
  bool ok = false;
  long long result = 0;
  std::string error;
};
std::string FormatRemoteAnswer(const REMOTE_ANSWER& answer);
bool ParseRemoteAnswer(std::string_view line, REMOTE_ANSWER* answer);

// One connection's requests in the order they arrive, cut into lines however the
// bytes are split. `dispatch` runs a well-formed request: false when its message is
// not one the receiver answers. Malformed and unknown requests get an error and change
// nothing; a line that grows past the limit ends the connection.
class CRemoteSession {
 public:
  using DISPATCH = std::function<bool(const REMOTE_REQUEST& request, long long* result)>;
  explicit CRemoteSession(DISPATCH dispatch) : m_dispatch(std::move(dispatch)) {}
  // Appends the answers to *out; false when the connection must close (after its last answer).
  bool Feed(const char* data, size_t size, std::string* out);

 private:
  DISPATCH m_dispatch;
  std::string m_pending;
  bool m_closed = false;
};

std::string StatusBlockName(unsigned instance);

// The block as a reader sees it: the first three lines, and the extended three only
// when they are all there in the forms the receiver writes them (a shorter text leaves
// the tail of a longer one behind it, which must not pass for signal data).
struct STATUS_BLOCK_TEXT {
  bool valid = false;  // three integer lines found
  long lock = 0, level = 0, quality = 0;
  bool extended = false;
  std::string rfLevel, snr, ber;  // as written: "%i", "%.2f", "%f"
};
STATUS_BLOCK_TEXT ParseStatusBlock(const unsigned char* block, size_t size);
// "lock 1\nlevel 80\nquality 75\n" and, when extended, "rf -40\nsnr 12.50\nber 0.000001\n".
std::string FormatStatusLines(const STATUS_BLOCK_TEXT& status);
