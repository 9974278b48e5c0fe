// Port search on Windows: the serial ports the system has registered, read from the registry.
//
// Opening each \\.\COM<n> to see whether it exists would reach the driver: some drivers raise
// DTR and RTS on every open (resetting boards on the line), and a port another program holds
// would fail the open and go unlisted. The SERIALCOMM key lists every port whose driver has
// started, held or not, and touches no device.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "serial/com_port_name.h"
#include "serial/port_search.h"
#include "serial/serial_port.h"

namespace torvane {

namespace {

std::string Narrow(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

// The port names ("COM3") of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value a port, its data the
// name.
std::vector<std::string> RegisteredPortNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[64] = {};
        DWORD dataBytes = sizeof data - sizeof(wchar_t);  // room for a terminating zero
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, valueName, &nameLength, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;  // not a port name (or far too long)
        names.push_back(Narrow(data));
    }
    RegCloseKey(key);
    return names;
}

}  // namespace

// Device folders and sysfs are POSIX notions: the arguments mean nothing here.
std::vector<std::string> SearchPorts(const std::string& /*devDir*/,
                                     const std::string& /*sysfsRoot*/) {
    return SortedComPortNames(RegisteredPortNames());
}

void SerialPort::Search(const std::string& devDir) {
    PortList = SearchPorts(devDir);
}

}  // namespace torvane
