#include "serial/com_port_name.h"

#include <algorithm>
#include <cctype>

namespace torvane {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::string ComDevicePath(const std::string& name) {
    if (StartsWith(name, "\\\\")) return name;
    std::string n = name;
    // "COM7:" is how DOS wrote a device; the colon is not part of its name.
    if (!n.empty() && n.back() == ':') n.pop_back();
    if (ComPortNumber(n) != 0) n = "COM" + std::to_string(ComPortNumber(n));
    return "\\\\.\\" + n;
}

int ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || Upper(name.substr(0, 3)) != "COM") return 0;
    const std::string digits = name.substr(3);
    if (digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return 0;
    const int n = std::stoi(digits);
    return n >= 1 && n <= 256 ? n : 0;
}

std::vector<std::string> SortedComPortNames(const std::vector<std::string>& names) {
    std::vector<int> numbers;
    for (const std::string& name : names) {
        if (const int n = ComPortNumber(name)) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> out;
    for (int n : numbers) out.push_back("COM" + std::to_string(n));
    return out;
}

std::string PortLockName(const std::string& devicePath) {
    std::string path = ComDevicePath(devicePath);
    const size_t start = path.find_first_not_of("\\.?");
    path = start == std::string::npos ? std::string() : path.substr(start);
    // A backslash separates name spaces in object names; it cannot stand inside one.
    std::replace(path.begin(), path.end(), '\\', '_');
    return "Global\\Torvane.SerialPort." + Upper(path);
}

}  // namespace torvane
