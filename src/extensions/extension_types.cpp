#include "extensions/extension_types.h"

namespace {
const char* const kDisplayNames[EXT_TYPE_COUNT] = {
    "Generic BDA",
    "Technotrend BDA API",
    "Twinhan BDA extension",
    "Turbosight-CXT BDA extension",
    "DVBWorld BDA extension",
    "Conexant BDA extension",
    "Hauppauge BDA extension",
    "Microsoft BDA extension (Win7)",
    "Geniatech BDA extension",
    "JacTek BDA extension",
    "Bestunar BDA extension",
    "Omicom BDA extension",
    "Turbosight-QBOX BDA extension",
    "Turbosight-NXP BDA extension",
    "Compro BDA extension",
    "AnySee BDA extension",
    "Genpix 3dparty BDA extension",
    "Genpix BDA extension",
    "Netup BDA extension",
    "Quarn BDA extension",
    "Turbosight-USB BDA extension",
    "Turbosight-PCIE BDA extension",
};
}  // namespace

const char* ExtensionDisplayName(int type) {
  if (type < 0 || type >= EXT_TYPE_COUNT) return kDisplayNames[0];
  return kDisplayNames[type];
}

const char* CapabilityName(DWORD bit) {
  switch (bit) {
    case CAP_DISEQC: return "CAP_DISEQC";
    case CAP_DISEQC_REPLY: return "CAP_DISEQC_REPLY";
    case CAP_TONEBURST: return "CAP_TONEBURST";
    case CAP_DISEQC_POSITION: return "CAP_DISEQC_POSITION";
    case CAP_LNB_POWER: return "CAP_LNB_POWER";
    case CAP_MAC: return "CAP_MAC";
    case CAP_SIGNAL_EX: return "CAP_SIGNAL_EX";
    case CAP_STREAM_ID: return "CAP_STREAM_ID";
    case CAP_PLS: return "CAP_PLS";
    case CAP_MODCODE: return "CAP_MODCODE";
    default: return "";
  }
}
