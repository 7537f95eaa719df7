// Windows' own message texts for the error codes the program sets, for systems
// that have no message table of their own.
#pragma once
#include "platform/win_types.h"

// The text with its trailing CR LF, or nullptr when the code has none.
const char* PortableErrorText(DWORD code);
