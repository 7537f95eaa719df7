// The adapter-list seam on Windows: GetAdaptersInfo, asked for the size first.
#include <winsock2.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "platform/adapter_list.h"
#include "platform/win32/wide_text.h"

namespace {
class CWin32AdapterList final : public CAdapterList {
 public:
  DWORD GetAdaptersInfo(std::vector<ADAPTER_INFO>& adapters) override {
    adapters.clear();
    ULONG size = 0;
    DWORD rc = ::GetAdaptersInfo(nullptr, &size);
    if (rc != ERROR_BUFFER_OVERFLOW) return rc == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_NO_DATA) : rc;
    if (size == 0) return ERROR_NO_DATA;
    // Whole records, so the list's pointers land on properly aligned storage.
    std::vector<IP_ADAPTER_INFO> buf(size / sizeof(IP_ADAPTER_INFO) + 1);
    size = static_cast<ULONG>(buf.size() * sizeof(IP_ADAPTER_INFO));
    rc = ::GetAdaptersInfo(buf.data(), &size);
    if (rc != ERROR_SUCCESS) return rc;
    for (const IP_ADAPTER_INFO* a = buf.data(); a; a = a->Next) {
      ADAPTER_INFO info;
      info.adapterName = std::string(a->AdapterName, strnlen(a->AdapterName, sizeof(a->AdapterName)));
      // The IP helper gives these records only in the ANSI code page.
      info.description = AnsiToUtf8(std::string_view(a->Description, strnlen(a->Description, sizeof(a->Description))));
      info.addressLength = a->AddressLength < sizeof(info.address) ? a->AddressLength : sizeof(info.address);
      std::memcpy(info.address, a->Address, info.addressLength);
      info.dhcpEnabled = a->DhcpEnabled != 0;
      // The adapter info has no link state; the interface table does.
      MIB_IFROW row = {};
      row.dwIndex = a->Index;
      if (::GetIfEntry(&row) == NO_ERROR)
        info.connected = row.dwOperStatus == MIB_IF_OPER_STATUS_CONNECTED ||
                         row.dwOperStatus == MIB_IF_OPER_STATUS_OPERATIONAL;
      for (const IP_ADDR_STRING* ip = &a->IpAddressList; ip; ip = ip->Next)
        info.ipAddresses.push_back(
            ADAPTER_IP{std::string(ip->IpAddress.String, strnlen(ip->IpAddress.String, sizeof(ip->IpAddress.String))),
                       std::string(ip->IpMask.String, strnlen(ip->IpMask.String, sizeof(ip->IpMask.String)))});
      adapters.push_back(info);
    }
    return ERROR_SUCCESS;
  }
};
}  // namespace

CAdapterList& OsAdapterList() {
  static CWin32AdapterList list;
  return list;
}
