// Port search on Windows: the serial ports the system has registered, read from the registry.
//
// Opening each \\.\COM<n> to see whether it exists would reach the driver: some drivers raise
// DTR and RTS on every open (resetting boards on the line), and a port another program holds
// would fail the open and go unlisted. The SERIALCOMM key lists every port whose driver has
// started, held or not, and touches no device. The descriptions come from the registry too:
// the device keys under Enum name their port in "Device Parameters" and carry the name Device
// Manager shows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/com_port_name.h"
#include "serial/port_description.h"
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

// Enough to read values and list subkeys; some device keys deny more to users.
constexpr REGSAM kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// A string value of `key` (or of its subkey `subkey`), "" when there is none.
std::string StringValue(HKEY key, const wchar_t* subkey, const wchar_t* name) {
    wchar_t data[512] = {};
    DWORD bytes = sizeof data - sizeof(wchar_t);  // room for a terminating zero
    if (RegGetValueW(key, subkey, name, RRF_RT_REG_SZ, nullptr, data, &bytes) != ERROR_SUCCESS)
        return {};
    data[511] = L'\0';
    return Narrow(data);
}

// The names of the subkeys of `key`.
std::vector<std::wstring> Subkeys(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG r = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_SUCCESS)
            names.emplace_back(name, length);
        else if (r != ERROR_MORE_DATA)
            break;
    }
    return names;
}

// Calls fn(key) for each subkey of `parent` that can be read.
template <class Fn>
void ForEachSubkey(HKEY parent, Fn&& fn) {
    for (const std::wstring& name : Subkeys(parent)) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(parent, name.c_str(), 0, kReadRights, &key) != ERROR_SUCCESS) continue;
        fn(key);
        RegCloseKey(key);
    }
}

// The friendly names of the devices that name `ports` (upper-case "COM3") as theirs: Enum holds
// enumerator\device\instance keys, an instance's "Device Parameters" its PortName. A port that
// two devices with different names claim (one of them unplugged long ago, its number reused)
// gets none: a wrong name would be worse than no name.
std::map<std::string, std::string> FriendlyNames(const std::vector<std::string>& ports) {
    const std::set<int> wanted = [&] {
        std::set<int> numbers;
        for (const std::string& p : ports) numbers.insert(ComPortNumber(p));
        return numbers;
    }();
    std::map<int, std::set<std::string>> claims;
    HKEY enumKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum", 0, kReadRights,
                      &enumKey) != ERROR_SUCCESS)
        return {};
    ForEachSubkey(enumKey, [&](HKEY enumerator) {
        ForEachSubkey(enumerator, [&](HKEY device) {
            ForEachSubkey(device, [&](HKEY instance) {
                const int n =
                    ComPortNumber(StringValue(instance, L"Device Parameters", L"PortName"));
                if (n != 0 && wanted.count(n) != 0)
                    claims[n].insert(StringValue(instance, nullptr, L"FriendlyName"));
            });
        });
    });
    RegCloseKey(enumKey);
    std::map<std::string, std::string> names;
    for (const auto& [n, friendly] : claims) {
        if (friendly.size() == 1) names["COM" + std::to_string(n)] = *friendly.begin();
    }
    return names;
}

}  // namespace

// Device folders and sysfs are POSIX notions: the arguments mean nothing here.
std::vector<std::string> SearchPorts(const std::string& /*devDir*/,
                                     const std::string& /*sysfsRoot*/) {
    return SortedComPortNames(RegisteredPortNames());
}

std::vector<FoundPort> FindPorts(const std::string& devDir, const std::string& sysfsRoot) {
    const std::vector<std::string> names = SearchPorts(devDir, sysfsRoot);
    const std::map<std::string, std::string> friendly = FriendlyNames(names);
    std::vector<FoundPort> ports;
    for (const std::string& name : names) {
        const auto f = friendly.find(name);
        ports.push_back(
            {name, f == friendly.end() ? "" : DescribeWindowsPort(f->second, name), {}});
    }
    return ports;
}

void SerialPort::Search(const std::string& devDir, const std::string& sysfsRoot) {
    FoundPorts = FindPorts(devDir, sysfsRoot);
    PortList.clear();
    for (const FoundPort& p : FoundPorts) PortList.push_back(p.Path);
}

}  // namespace torvane
