// The system's network adapter list (the subset of GetAdaptersInfo the program uses).
#pragma once
#include <string>
#include <vector>

#include "platform/win_types.h"

struct ADAPTER_IP {
  std::string address;  // "%u.%u.%u.%u"
  std::string mask;
};

struct ADAPTER_INFO {
  std::string adapterName;  // the adapter's NetCfgInstanceId
  std::string description;
  BYTE address[8] = {};
  DWORD addressLength = 0;
  bool dhcpEnabled = false;
  bool connected = false;  // the link is up (media connected)
  std::vector<ADAPTER_IP> ipAddresses;
};

class CAdapterList {
 public:
  virtual ~CAdapterList() = default;
  // ERROR_SUCCESS with the list filled, or the error of the call that failed.
  // (Windows: the size query must answer ERROR_BUFFER_OVERFLOW, then the list is fetched.)
  virtual DWORD GetAdaptersInfo(std::vector<ADAPTER_INFO>& adapters) = 0;
};

CAdapterList& AdapterList();
CAdapterList* SetAdapterList(CAdapterList* list);
CAdapterList& OsAdapterList();
