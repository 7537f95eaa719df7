#include <windows.h>
#include <mmsystem.h>

#include "platform/sound.h"
#include "platform/win32/wide_text.h"

namespace {
class CWin32SoundPlayer final : public CSoundPlayer {
 public:
  bool PlayWaveFile(const std::string& path, bool synchronous) override {
    DWORD flags = SND_FILENAME | SND_NODEFAULT | (synchronous ? SND_SYNC : SND_ASYNC);
    return ::PlaySoundW(Utf8ToWide(path).c_str(), nullptr, flags) != FALSE;
  }
};
}  // namespace

CSoundPlayer& OsSoundPlayer() {
  static CWin32SoundPlayer player;
  return player;
}
