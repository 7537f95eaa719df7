// Descriptions of emulated BDA devices: read from an ini file (one section per device,
// in file order), or the built-in default of one satellite tuner carrying the demo stream.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/device_platform.h"

// Which pin of the tuner a standard property set lives on, and what it answers.
struct EMULATED_PROPERTY_SET {
  GUID set;
  DWORD support;  // KSPROPERTY_SUPPORT_* bits answered for every id of the set
};

enum class EMULATED_STREAM_KIND { Generated, Clean, File, None };

struct EMULATED_DEVICE_DESC {
  std::string section;       // the ini section it came from
  std::string friendlyName;
  bool nameReadable = true;  // false: the moniker's property bag cannot read the name
  std::string devicePath;    // the moniker's display name
  LONG deliveryType = 1;     // 1..5; only decides the default nodes
  std::vector<GUID> nodes;   // topology node functions, descriptor order
  std::vector<ULONG> pinTypes = {0, 1};
  ULONG medium = 0;          // Id of the tuner output pin's medium
  // The tuner starts without its pins (the network provider's topology creates them).
  bool pinsOnDemand = false;
  // A separate receiver component is needed to feed the grabber; its friendly name.
  std::string captureName;
  // The receiver category lists the tuner itself (same friendly name).
  bool captureIsTuner = false;
  std::vector<EMULATED_PROPERTY_SET> inputSets;   // tuner input pin
  std::vector<EMULATED_PROPERTY_SET> outputSets;  // tuner output pin
  bool filterPropertySet = true;                  // the tuner filter has IKsPropertySet
  bool videoCapturePropertySet = true;            // so has the vendor's video-capture filter
  bool deviceControl = true;                      // the tuner filter has IBDA_DeviceControl
  // The tuning that locks: frequency window (kHz) and, when not negative, symbol rate,
  // polarisation and modulation.
  LONG lockFrequencyMin = 0;
  LONG lockFrequencyMax = 0x7FFFFFFF;
  LONG lockSymbolRate = -1;
  LONG lockPolarisation = -1;
  LONG lockModulation = -1;
  LONG signalStrength = 80;
  LONG signalQuality = 75;
  EMULATED_STREAM_KIND stream = EMULATED_STREAM_KIND::Generated;
  std::string streamFile;    // .ts file replayed
  double streamBitsPerSecond = 4000000.0;  // 0: as fast as the data path takes it
  bool streamLoop = false;
  DWORD sampleSize = 188 * 256;
  int prerollSamples = 0;      // null-packet samples flagged preroll before the stream
  int discontinuityEvery = 0;  // every Nth sample an extra null-packet sample flagged discontinuity
  std::string family;          // vendor driver family, empty for none
  BYTE mac[6] = {0x00, 0x08, 0xCA, 0x12, 0x34, 0x56};
  bool usbHighSpeed = true;    // Technotrend USB boxes: false reports a full-speed port
};

struct EMULATED_DESCRIPTION {
  std::vector<EMULATED_DEVICE_DESC> devices;
};

// The built-in description.
EMULATED_DESCRIPTION DefaultEmulatedDescription();
// Parses ini text; false with an error text naming the section and key at fault.
bool ParseEmulatedDescription(const std::string& text, const std::string& baseDir, EMULATED_DESCRIPTION* out,
                              std::string* error);
bool LoadEmulatedDescription(const std::string& path, EMULATED_DESCRIPTION* out, std::string* error);

// Node names accepted in "Nodes" ("rf", "qpsk", "8psk", "qam", "cofdm", "8vsb", "isdbt").
bool ParseNodeName(const std::string& name, GUID* function);
// Property-set names accepted in "InputSets"/"OutputSets" ("frequency", "lnb", "signal",
// "diseqc", "demodulator") or a GUID.
bool ParsePropertySetName(const std::string& name, GUID* set);
const char* PropertySetName(const GUID& set);  // null for unknown sets
