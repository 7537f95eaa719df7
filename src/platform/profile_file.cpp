#include "platform/profile_file.h"

#include "platform/seams.h"
#include "platform/text_util.h"

static CSeam<CProfileFile> g_profileFile(&OsProfileFile);
CProfileFile& ProfileFile() { return g_profileFile.Get(); }
CProfileFile* SetProfileFile(CProfileFile* replacement) { return g_profileFile.Set(replacement); }

std::string_view TrimSectionName(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

bool CProfileFile::SameSectionName(const std::string& a, const std::string& b) const {
  return EqualsNoCase(TrimSectionName(a), TrimSectionName(b));
}
