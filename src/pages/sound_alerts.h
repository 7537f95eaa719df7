// The spoken signal alerts of the Status/Tuner page: which wave files say a
// level or quality value, and where they lie.
#pragma once
#include <string>
#include <vector>

struct SOUND_CLIP {
  std::string path;
  bool synchronous;  // played to the end before the next one starts
};

// "<program folder>\snd", or its sub-folder for the user-interface language
// unless that is the built-in one ("DEF") or empty. The separator is the one the
// module path uses, so the same code finds the files on every platform. Outside
// Windows, when there is no "snd" beside the program, <program folder>/../share/velvetfin/snd
// (the installed package's place) is used where it exists.
std::string SoundFolder(const std::string& modulePath, const std::string& languageCode);
// "<program folder>\snd\<name>.wav": the lock and no-lock sounds, never localised.
std::string SoundFile(const std::string& modulePath, const std::string& name);

// The files that say v (0..255): "0" below ten, the tens (waited for) and the
// ones up to 99, "100" from a hundred on.
std::vector<SOUND_CLIP> SpokenValue(const std::string& folder, char separator, int value, bool eachDigit);
char PathSeparator(const std::string& modulePath);
