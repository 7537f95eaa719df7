#include "platform/system.h"

#include "platform/seams.h"

static CSeam<CSystemServices> g_system(&OsSystemServices);
CSystemServices& SystemServices() { return g_system.Get(); }
CSystemServices* SetSystemServices(CSystemServices* services) { return g_system.Set(services); }
