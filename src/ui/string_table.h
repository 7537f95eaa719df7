// The program's user messages and captions by string-table id, as LoadString
// gives them. A language module can take over as the source; ids it lacks
// fall back to the built-in texts.
#pragma once
#include <string>

#include "platform/win_types.h"

// String-table ids the code names.
enum : unsigned {
  IDS_ERROR_CAPTION = 101,
  IDS_WARNING_CAPTION = 102,
  IDS_QUESTION_CAPTION = 103,
  IDS_INVALID_MAC = 112,
  IDS_INVALID_IP = 113,
  IDS_INVALID_PID = 114,
  IDS_ADAPTER_INIT_FAILED = 116,
  IDS_INVALID_FREQUENCY = 129,
  IDS_INVALID_SYMBOL_RATE = 130,
  IDS_TUNING_FAILED = 131,
  IDS_DISEQC_FAILED = 132,
  IDS_TONEBURST_FAILED = 133,
  IDS_ANTENNA_POWER_FAILED = 134,
  IDS_CANT_SET_ADAPTER_MAC = 135,
  IDS_ADAPTER_MAC_CHANGED = 136,
  IDS_TAB_MPE_FILTER = 142,
  IDS_ADAPTER_ERROR_FIRST = 151,
  IDS_NAME_NOT_STORABLE = 162,
  IDS_ADAPTER_IN_USE = 163,
  IDS_APP_NAME = 57344,
};

class CStringSource {
 public:
  virtual ~CStringSource() = default;
  // false when the source has no text for the id.
  virtual bool Lookup(unsigned id, std::string& text) = 0;
};

// The text of a string-table id; empty when no source knows it.
std::string LoadResString(unsigned id);
// The text compiled into the program, false for an unknown id.
bool LoadBuiltInString(unsigned id, std::string& text);
// Makes a language module the first source (nullptr: built-in only). Returns the previous.
CStringSource* SetStringSource(CStringSource* source);

// Every id of the built-in table, in ascending order.
const unsigned* BuiltInStringIds(size_t& count);
