// Linux has no Windows services: the emulated service manager stands in.
#include "platform/emulated/emulated_services.h"

CServiceControl& OsServiceControl() { return EmulatedServices(); }
