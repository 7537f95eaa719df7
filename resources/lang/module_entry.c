/* Entry point of a resource-only language module. Modules are loaded as image
   resources, so it never runs; it only spares the DLL the C runtime. */
#include <windows.h>

BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return TRUE;
}
