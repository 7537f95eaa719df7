// Text forms of what the extension offers, and the one-shot extension commands
// of the probe tool (--diseqc HEX, --tone-burst A|B, --lnb-power 0|1,
// --position N, --stream-id N, --pls MODE,CODE, --modcode N).
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "extensions/extension_select.h"

// "CAP_DISEQC|CAP_TONEBURST|..." for the set bits, "none" when there are none.
std::string CapabilityNames(DWORD caps);
// "00-08-CA-12-34-56".
std::string MacText(const BYTE* mac);

// Prints the display name, the capabilities by name, and (where offered) the
// hardware MAC and the extended signal, one "key: value" line each.
void PrintExtensionSummary(CExtension& extension, FILE* out);
// Only the hardware MAC and extended-signal lines of the summary.
void PrintExtensionDetails(CExtension& extension, FILE* out);

struct EXTENSION_COMMAND {
  enum KIND { DISEQC, TONE_BURST, LNB_POWER, POSITION, STREAM_ID, PLS, MODCODE } kind = DISEQC;
  std::vector<BYTE> message;  // DISEQC
  LONG first = 0;             // tone burst 1/2, power, position, stream id, PLS mode, modcode
  LONG second = 0;            // PLS code
};

// Whether an option (e.g. "--diseqc") is one of the extension commands.
bool IsExtensionOption(const std::string& option);
// Parses one option with its value; false with a reason for a bad value.
bool ParseExtensionOption(const std::string& option, const std::string& value, EXTENSION_COMMAND* command,
                          std::string* error);
// Performs the command through the uniform operation and prints
// "<operation> <argument> -> 0x<HRESULT>".
HRESULT RunExtensionCommand(CExtension& extension, const EXTENSION_COMMAND& command, FILE* out);
