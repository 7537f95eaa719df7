#include "pages/sound_alerts.h"

#ifndef _WIN32
#include <filesystem>
#include <system_error>
#endif

#include "ui/languages.h"
#include "ui/message_box.h"

namespace {

std::string ProgramFolder(const std::string& modulePath) {
  size_t slash = modulePath.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : modulePath.substr(0, slash);
}

// "snd" beside the program; an installed Linux program (/usr/bin) finds its sounds in
// ../share/velvetfin/snd instead, relative so that an unpacked copy finds its own.
std::string SoundRoot(const std::string& modulePath, char sep) {
  const std::string beside = ProgramFolder(modulePath) + sep + "snd";
#ifndef _WIN32
  std::error_code ec;
  if (!std::filesystem::is_directory(beside, ec)) {
    const std::string shared = ProgramFolder(modulePath) + "/../share/velvetfin/snd";
    if (std::filesystem::is_directory(shared, ec)) return shared;
  }
#endif
  return beside;
}

}  // namespace

char PathSeparator(const std::string& modulePath) {
  size_t slash = modulePath.find_last_of("\\/");
  return slash == std::string::npos ? '\\' : modulePath[slash];
}

std::string SoundFolder(const std::string& modulePath, const std::string& languageCode) {
  const char sep = PathSeparator(modulePath);
  std::string folder = SoundRoot(modulePath, sep);
  // Only a plain language code may become a folder name.
  bool plain = !languageCode.empty() && languageCode != kBuiltInLanguageCode &&
               languageCode.find_first_of("\\/.:") == std::string::npos;
  if (plain) folder += sep + languageCode;
  return folder;
}

std::string SoundFile(const std::string& modulePath, const std::string& name) {
  const char sep = PathSeparator(modulePath);
  return SoundRoot(modulePath, sep) + sep + name + ".wav";
}

std::vector<SOUND_CLIP> SpokenValue(const std::string& folder, char separator, int value, bool eachDigit) {
  const std::string prefix = folder + separator;
  if (value < 10) return {{prefix + "0.wav", false}};
  if (value >= 100) return {{prefix + "100.wav", false}};
  const int tens = value / 10, ones = value % 10;
  std::vector<SOUND_CLIP> clips;
  clips.push_back({prefix + FormatText(eachDigit ? "%i.wav" : "%i0.wav", tens), true});
  if (ones != 0 || eachDigit) clips.push_back({prefix + FormatText("%i.wav", ones), false});
  return clips;
}
