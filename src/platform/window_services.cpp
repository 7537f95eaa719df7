#include "platform/window_services.h"

#include "platform/seams.h"

static CSeam<CWindowServices> g_windows(&OsWindowServices);
CWindowServices& WindowServices() { return g_windows.Get(); }
CWindowServices* SetWindowServices(CWindowServices* services) { return g_windows.Set(services); }
