// The adapter list on Linux is the emulated one: it shows the emulated virtual adapters.
#include "platform/emulated/emulated_adapter_list.h"

CAdapterList& OsAdapterList() { return EmulatedAdapterList(); }
