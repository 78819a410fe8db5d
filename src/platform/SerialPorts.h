#pragma once
#include <string>
#include <vector>

namespace platform {

// Fills `list` with the serial ports the system knows, in the order they are
// tried. Linux: the devices under /sys/class/tty that have a driver, as
// "/dev/<name>", sorted by name; when ZELVAN_SERIAL_PORTS is set, its
// colon-separated entries replace that list. Windows: the values of
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM in registry order ("COM3", ...).
void EnumerateSerialPorts(std::vector<std::string>& list);

// Splits a colon-separated port list; empty entries are dropped.
std::vector<std::string> SplitPortList(const std::string& text);

} // namespace platform
