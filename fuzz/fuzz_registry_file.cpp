// The file registry's file on arbitrary content: a file it cannot read is set
// aside, never overwritten; one it reads is walked, and what it saves reads back to the
// same registry (saving that again gives the same text).
// Input: the file's bytes.
#include <cstdlib>
#include <string>

#include "fuzz_files.h"
#include "platform/portable/file_registry.h"

namespace {
void Expect(bool condition) {
  if (!condition) std::abort();
}

void Walk(CFileRegistry& reg, RegKey key, int depth, int& budget) {
  std::string name;
  for (DWORD i = 0; budget > 0 && reg.EnumKey(key, i, name, 256) == ERROR_SUCCESS; ++i, --budget) {
    RegKey child = kNoKey;
    if (reg.OpenKey(key, name, kKeyRead, &child) != ERROR_SUCCESS) continue;
    DWORD type = 0, bytes = 0;
    reg.QueryValue(child, "", &type, nullptr, &bytes);
    if (depth < 8) Walk(reg, child, depth + 1, budget);
    reg.CloseKey(child);
  }
}

void Probe(CFileRegistry& reg) { Expect(reg.PutDword(kHkeyCurrentUser, "Software\\Fuzz", "Probe", 1)); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath("registry");
  std::error_code ec;
  std::filesystem::remove(path + ".corrupt", ec);
  WriteScratch(path, data, size);
  std::string first;
  {
    CFileRegistry reg;
    if (!reg.AttachFile(path)) {
      Expect(!std::filesystem::exists(path) && ReadScratch(path + ".corrupt") ==
                                                   std::string(reinterpret_cast<const char*>(data), size));
      return 0;
    }
    int budget = 200;
    for (RegKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) Walk(reg, root, 0, budget);
    Probe(reg);
    Expect(reg.OpenKeyCount() == 0);
    first = ReadScratch(path);
  }
  CFileRegistry again;
  Expect(again.AttachFile(path));
  Probe(again);
  Expect(ReadScratch(path) == first);
  return 0;
}
