#include "platform/adapter_list.h"

#include "platform/seams.h"

static CSeam<CAdapterList> g_adapterList(&OsAdapterList);
CAdapterList& AdapterList() { return g_adapterList.Get(); }
CAdapterList* SetAdapterList(CAdapterList* replacement) { return g_adapterList.Set(replacement); }
