// The device layer's two report channels, with the failing HRESULT as the last error so
// that the system's text for it follows the message.
#pragma once
#include "platform/win_types.h"

void BdaTrace(const char* operation, const char* text, HRESULT hr);
void BdaLog(const char* operation, const char* text, HRESULT hr);
