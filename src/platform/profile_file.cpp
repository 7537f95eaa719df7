#include "platform/profile_file.h"

#include "platform/seams.h"

static CSeam<CProfileFile> g_profileFile(&OsProfileFile);
CProfileFile& ProfileFile() { return g_profileFile.Get(); }
CProfileFile* SetProfileFile(CProfileFile* replacement) { return g_profileFile.Set(replacement); }
