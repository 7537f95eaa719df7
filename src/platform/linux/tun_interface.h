// A Linux TUN interface (no packet information header): the real network stack
// behind the emulated virtual adapter. Declared without OS headers; built on Linux only.
#pragma once
#include <string>

#include "platform/win_types.h"

// Creates (or attaches to) TUN interface `name`, sets ipv4/prefixLen and brings it up.
// Returns the descriptor, or -1 with a one-line reason. actualName is the kernel's name.
int OpenTunInterface(const std::string& name, const BYTE ipv4[4], int prefixLen,
                     std::string& actualName, std::string& error);
// Adds an IPv6 address given as "ADDRESS/PREFIX" (prefix 1..128, 64 when left out) to
// the interface; false with a one-line reason. The interface takes IPv6 packets without it.
bool SetTunInterfaceIpv6(const std::string& name, const std::string& address, std::string& error);
// Writes one IPv4 or IPv6 packet (told apart by its version); false when the kernel refused it.
bool WriteTunPacket(int fd, const BYTE* data, DWORD length);
void CloseTunInterface(int fd);
