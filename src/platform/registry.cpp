#include "platform/registry.h"

#include "platform/seams.h"

static CSeam<CRegistry> g_registry(&OsRegistry);
CRegistry& Registry() { return g_registry.Get(); }
CRegistry* SetRegistry(CRegistry* replacement) { return g_registry.Set(replacement); }
