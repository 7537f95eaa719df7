// The remote-control socket's input on arbitrary bytes: the session cuts them into
// requests however they are split, answers each with one line, runs only requests
// that read back the same, and refuses overlong lines. The status-block reader sees
// the same bytes as a block.
// Input: byte 0 chooses where the stream is split; the rest is what a client sends.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "remote/remote_protocol.h"

namespace {
void Expect(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t step = 1 + data[0];
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;

  size_t dispatched = 0;
  CRemoteSession session([&](const REMOTE_REQUEST& request, long long* result) {
    // What runs must be exactly what a client would have written for it.
    REMOTE_REQUEST again;
    std::string error;
    std::string line = FormatRemoteRequest(request);
    Expect(line.size() <= kRemoteLineMax);
    Expect(ParseRemoteRequest(std::string_view(line).substr(0, line.size() - 1), &again, &error));
    Expect(again.message == request.message && again.wParam == request.wParam && again.lParam == request.lParam);
    ++dispatched;
    *result = request.wParam & 1;
    return request.message != "UNKNOWN";
  });
  std::string out;
  bool open = true;
  for (size_t at = 0; at < length && open; at += step)
    open = session.Feed(bytes + at, step < length - at ? step : length - at, &out);

  // One answer line per request line, each readable by the client.
  size_t answers = 0;
  for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    REMOTE_ANSWER answer;
    Expect(ParseRemoteAnswer(std::string_view(out).substr(start, end - start), &answer));
    ++answers;
  }
  Expect(!out.empty() ? out.back() == '\n' : true);
  Expect(answers >= dispatched);
  if (!open) Expect(out.size() >= 21 && out.compare(out.size() - 21, 21, "ERR request too long\n") == 0);

  unsigned char block[kStatusBlockSize] = {};
  for (size_t i = 0; i < length && i < kStatusBlockSize; ++i) block[i] = static_cast<unsigned char>(bytes[i]);
  STATUS_BLOCK_TEXT status = ParseStatusBlock(block, sizeof block);
  if (status.valid) Expect(!FormatStatusLines(status).empty());
  return 0;
}
