// Sound playback of wave files (the signal alerts). Windows plays the file; the
// portable backend records what would be played, in order, for the headless front
// end and the tests.
#pragma once
#include <mutex>
#include <string>
#include <vector>

class CSoundPlayer {
 public:
  virtual ~CSoundPlayer() = default;
  // Plays the file, waiting until it ends when `synchronous`; never the system's
  // default sound when the file is missing. False when it could not be played.
  virtual bool PlayWaveFile(const std::string& path, bool synchronous) = 0;
};

// Plays nothing; remembers every request.
class CRecordingSoundPlayer final : public CSoundPlayer {
 public:
  struct PLAYED {
    std::string path;
    bool synchronous;
  };
  bool PlayWaveFile(const std::string& path, bool synchronous) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_played.push_back(PLAYED{path, synchronous});
    return true;
  }
  std::vector<PLAYED> Played() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_played;
  }
  // Takes what was played since the last call.
  std::vector<PLAYED> TakePlayed() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<PLAYED> played;
    played.swap(m_played);
    return played;
  }

 private:
  std::mutex m_lock;
  std::vector<PLAYED> m_played;
};

CSoundPlayer& SoundPlayer();
CSoundPlayer* SetSoundPlayer(CSoundPlayer* player);
CSoundPlayer& OsSoundPlayer();
