#include "platform/process.h"

#include "platform/seams.h"

static CSeam<CProcessServices> g_process(&OsProcessServices);
CProcessServices& ProcessServices() { return g_process.Get(); }
CProcessServices* SetProcessServices(CProcessServices* services) { return g_process.Set(services); }
