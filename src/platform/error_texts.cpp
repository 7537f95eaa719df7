#include "platform/error_texts.h"

namespace {
struct ERROR_TEXT {
  DWORD code;
  const char* text;
};
// Texts as Windows' English message table has them.
constexpr ERROR_TEXT kErrorTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {50, "The request is not supported.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1167, "The device is not connected.\r\n"},
    {1168, "Element not found.\r\n"},
    {1170, "The property set specified does not exist on the object.\r\n"},
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004003, "Invalid pointer\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x80070002, "The system cannot find the file specified.\r\n"},
    {0x80070005, "Access is denied.\r\n"},
    {0x80070006, "The handle is invalid.\r\n"},
    {0x8007000E, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x80070057, "The parameter is incorrect.\r\n"},
    {0x80070490, "Element not found.\r\n"},
};
}  // namespace

const char* PortableErrorText(DWORD code) {
  for (const ERROR_TEXT& e : kErrorTexts)
    if (e.code == code) return e.text;
  return nullptr;
}
