#include "platform/service_control.h"

#include "platform/seams.h"

static CSeam<CServiceControl> g_serviceControl(&OsServiceControl);
CServiceControl& ServiceControl() { return g_serviceControl.Get(); }
CServiceControl* SetServiceControl(CServiceControl* replacement) { return g_serviceControl.Set(replacement); }
