// The records of the device layer: one enumerated tuner and one set of tuning values.
#pragma once
#include <cstddef>

#include "platform/win_types.h"

constexpr size_t kDeviceNameSize = 260;

// Delivery types.
constexpr LONG kDeliveryUnknown = 0;
constexpr LONG kDeliverySatellite = 1;
constexpr LONG kDeliveryCable = 2;
constexpr LONG kDeliveryTerrestrial = 3;
constexpr LONG kDeliveryAtsc = 4;
constexpr LONG kDeliveryIsdb = 5;

// One enumerated tuner, in the order of the BDA network tuner category.
struct PARAM_DEVICE {
  WORD index = 0;                          // moniker position in the tuner category
  LONG deliveryType = kDeliveryUnknown;    // 0..5
  char friendlyName[kDeviceNameSize] = {};
  char captureName[kDeviceNameSize] = {};  // filled by BuildGraph in its own copy
  char devicePath[kDeviceNameSize] = {};
  LONG extensionType = 0;                  // the hint from enumeration, then the chosen type
  LONG ttDeviceClass = 0;                  // 0, or 1..6 for the Technotrend families
  ULONG tunerPinMedium = 0;                // Id of the tuner output pin's first medium
};

// Field positions of PARAM_TUNE; their meaning depends on the delivery type.
constexpr int kTuneFrequency = 0;         // kHz, every type
constexpr int kTuneModulation = 1;        // satellite, cable, terrestrial
constexpr int kTuneInversion = 2;         // satellite, cable, terrestrial
constexpr int kTuneSatSymbolRate = 3;     // kS/s
constexpr int kTuneBandwidth = 3;         // cable bandwidth, terrestrial bandwidth code (2, 3)
constexpr int kTuneSatPolarisation = 4;   // 0 none, 1 horizontal, 2 vertical
constexpr int kTuneCableSymbolRate = 4;   // kS/s
constexpr int kTuneSatFec = 5;            // BinaryConvolutionCodeRate
constexpr int kTuneLofLow = 8;            // kHz
constexpr int kTuneLofHigh = 9;           // kHz
constexpr int kTuneLnbSwitch = 10;        // kHz
constexpr int kTuneFieldCount = 11;

struct PARAM_TUNE {
  LONG field[kTuneFieldCount];
};

// The current tuning of a new graph object.
constexpr PARAM_TUNE kDefaultTune = {{722000, 3, -1, 4, 6900, -1, -1, -1, 9750000, 10600000, 11700000}};

// The list text of a device: "%u: %s" plus the delivery suffix.
void FormatDeviceListText(const PARAM_DEVICE& device, char* text, size_t size);
