// Names of Windows serial ports. Plain string rules, apart from the Windows calls, so that every
// platform builds and tests them.
#pragma once

#include <string>
#include <vector>

namespace torvane {

// The device path to open for a port name: "COM7", "com7" and "COM7:" give "\\.\COM7" (the
// form every port number needs, COM10 and above included); a path that starts with two
// backslashes ("\\.\COM7", "\\?\...") is kept as it is; any other name gets the "\\.\" prefix
// (virtual ports that are not called COM<n>).
std::string ComDevicePath(const std::string& name);

// The number n of "COM<n>" (any case, no leading zero) when n is 1 to 256; 0 for anything else.
int ComPortNumber(const std::string& name);

// "COM%d" for each name that is a port 1 to 256, in ascending order of number, each once.
std::vector<std::string> SortedComPortNames(const std::vector<std::string>& names);

// The name of the lock object that marks a device path as opened by this tool; the same for
// every spelling of one port ("\\.\COM7", "COM7", "com7:").
std::string PortLockName(const std::string& devicePath);

}  // namespace torvane
