// A settings store kept in maps, recording the order of its writes.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "settings/settings_store.h"

class CMapStore final : public SettingsStore {
 public:
  bool CanHoldSection(const std::string& section) const override { return !section.empty(); }
  Backend GetBackend() const override { return Backend::Ini; }
  std::string Location() const override { return "memory"; }
  int ReadInt(const char* section, const char* name, int defaultValue) override {
    auto it = ints.find(Key(section, name));
    return it == ints.end() ? defaultValue : it->second;
  }
  bool WriteInt(const char* section, const char* name, int value) override {
    ints[Key(section, name)] = value;
    Wrote(section, name);
    return true;
  }
  std::string ReadText(const char* section, const char* name, const char* defaultText) override {
    auto it = texts.find(Key(section, name));
    return it == texts.end() ? std::string(defaultText ? defaultText : "") : it->second;
  }
  bool WriteText(const char* section, const char* name, const char* text) override {
    if (text)
      texts[Key(section, name)] = text;
    else
      texts.erase(Key(section, name));
    Wrote(section, name);
    return true;
  }
  bool RemoveSection(const char*) override { return true; }
  bool CopySection(const char*, const char*) override { return true; }
  std::vector<std::string> ListSections() override { return {}; }
  bool SameSection(const std::string& a, const std::string& b) const override { return a == b; }

  static std::string Key(const char* section, const char* name) { return std::string(section) + "/" + name; }
  std::map<std::string, int> ints;
  std::map<std::string, std::string> texts;
  int writes = 0;
  std::vector<std::string> written;  // "section/name", in order

 private:
  void Wrote(const char* section, const char* name) {
    ++writes;
    written.push_back(Key(section, name));
  }
};
