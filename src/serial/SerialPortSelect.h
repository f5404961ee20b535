#pragma once

#include <string>
#include <vector>

// The serial ports the computer has, as port names for TCustomComPort::Port ("ttyS0",
// "ttyUSB0", "ttyACM0"; "COM3" on Windows). On POSIX an entry of the tty class directory (root,
// by default /sys/class/tty) counts when it has a "device" (a piece of hardware behind it); a
// "ttyS*" entry only where a real UART answers there (its "type" is not 0). On Windows the
// names are the values of the registry key HARDWARE\DEVICEMAP\SERIALCOMM (or root) below
// HKEY_LOCAL_MACHINE. Raises no error: an unreadable place gives an empty list.
//
// The list is cleared and filled with the names found, sorted by SortComPortNames.
void EnumComPorts(std::vector<std::string>& list, const std::string& root = "");

// Sorts names as text without regard to case, not numerically, keeping duplicates:
// COM3, COM1, COM10, com2 give COM1, COM10, com2, COM3.
void SortComPortNames(std::vector<std::string>& names);
