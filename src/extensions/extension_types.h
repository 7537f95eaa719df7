// Extension types, their display names and the capability flags the pages and
// the tuning sequence read through GetCaps.
#pragma once
#include "platform/win_types.h"

enum : int {
  EXT_GENERIC = 0,
  EXT_TECHNOTREND = 1,
  EXT_TWINHAN = 2,
  EXT_TBS_CXT = 3,
  EXT_DVBWORLD = 4,
  EXT_CONEXANT = 5,
  EXT_HAUPPAUGE = 6,
  EXT_MICROSOFT = 7,
  EXT_GENIATECH = 8,
  EXT_JACTEK = 9,
  EXT_BESTUNAR = 10,
  EXT_OMICOM = 11,
  EXT_TBS_QBOX = 12,
  EXT_TBS_NXP = 13,
  EXT_COMPRO = 14,
  EXT_ANYSEE = 15,
  EXT_GENPIX_OLD = 16,
  EXT_GENPIX = 17,
  EXT_NETUP = 18,
  EXT_QUARN = 19,
  EXT_TBS_USB = 20,
  EXT_TBS_PCIE = 21,
  EXT_TYPE_COUNT = 22
};

constexpr DWORD CAP_DISEQC = 0x001;
constexpr DWORD CAP_DISEQC_REPLY = 0x002;
constexpr DWORD CAP_TONEBURST = 0x004;
constexpr DWORD CAP_DISEQC_POSITION = 0x008;
constexpr DWORD CAP_LNB_POWER = 0x010;
constexpr DWORD CAP_MAC = 0x020;
constexpr DWORD CAP_SIGNAL_EX = 0x040;
constexpr DWORD CAP_STREAM_ID = 0x080;
constexpr DWORD CAP_PLS = 0x100;
constexpr DWORD CAP_MODCODE = 0x200;

// Network (delivery) types of the device record.
enum : int { NET_SATELLITE = 1, NET_CABLE = 2, NET_TERRESTRIAL = 3, NET_ATSC = 4, NET_ISDB = 5 };

// Tone-burst argument of SendDiseqc.
enum : BYTE { TONEBURST_NONE = 0, TONEBURST_A = 1, TONEBURST_B = 2 };

// "Generic BDA" for any value outside 0..21.
const char* ExtensionDisplayName(int type);

// The name of one capability bit ("CAP_MAC"); empty for any other value.
const char* CapabilityName(DWORD bit);
