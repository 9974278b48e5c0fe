#include "serial/port_description.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

namespace torvane {

namespace {

// Length of the UTF-8 sequence at `s[i]`, 0 when it is not a valid one (a stray continuation
// byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
size_t SequenceLength(std::string_view s, size_t i, uint32_t& codePoint) {
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[i + k]); };
    const uint8_t lead = b(0);
    size_t n = 0;
    uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        codePoint = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const uint8_t c = b(k);
        if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
        codePoint = (codePoint << 6) | (c & 0x3Fu);
    }
    return n;
}

// Characters that must not reach a one-line list as they are: controls (C0, DEL, C1), line and
// paragraph separators, and the marks and overrides that reorder or hide text.
bool ShownAsBlank(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.empty() || text.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

bool IsHexId(const std::string& id) {
    return id.size() == 4 &&
           std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string CleanDeviceText(std::string_view raw, size_t maxChars) {
    // Characters as their UTF-8 bytes, a blank as " ".
    std::vector<std::string_view> chars;
    bool blank = true;  // no blank at the start
    for (size_t i = 0; i < raw.size();) {
        uint32_t c = 0;
        const size_t n = SequenceLength(raw, i, c);
        std::string_view piece = n == 0 ? std::string_view("?") : raw.substr(i, n);
        i += n == 0 ? 1 : n;
        if (n != 0 && (c == ' ' || ShownAsBlank(c))) {
            if (!blank) chars.emplace_back(" ");
            blank = true;
            continue;
        }
        chars.push_back(piece);
        blank = false;
    }
    if (!chars.empty() && chars.back() == " ") chars.pop_back();
    const bool cut = chars.size() > maxChars;
    if (cut) {
        chars.resize(maxChars);
        if (!chars.empty() && chars.back() == " ") chars.pop_back();
    }
    std::string out;
    for (std::string_view piece : chars) out += piece;
    if (cut) out += "...";
    return out;
}

std::string DescribeUsbDevice(const UsbIdentity& usb) {
    const std::string manufacturer = CleanDeviceText(usb.Manufacturer);
    const std::string product = CleanDeviceText(usb.Product);
    const std::string serial = CleanDeviceText(usb.Serial);
    const std::string vendorId = CleanDeviceText(usb.VendorId);
    const std::string productId = CleanDeviceText(usb.ProductId);

    std::string text;
    const auto add = [&text](const std::string& part, const char* separator) {
        if (part.empty()) return;
        if (!text.empty()) text += separator;
        text += part;
    };
    if (!StartsWithNoCase(product, manufacturer)) add(manufacturer, " ");
    if (!product.empty()) {
        add(product, " ");
    } else if (IsHexId(vendorId) && IsHexId(productId)) {
        add("USB " + Lower(vendorId) + ":" + Lower(productId), " ");
    }
    if (!serial.empty()) add("serial " + serial, ", ");
    // bInterfaceNumber is two hex digits; 0 is the only interface of most adapters.
    const std::string iface = CleanDeviceText(usb.InterfaceNumber);
    if (!text.empty() && !iface.empty() && iface.size() <= 2 &&
        std::all_of(iface.begin(), iface.end(),
                    [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        const unsigned long number = std::stoul(iface, nullptr, 16);
        if (number != 0) add("interface " + std::to_string(number), ", ");
    }
    return text;
}

std::string DescribeWindowsPort(std::string_view friendlyName, std::string_view portName) {
    // Cleaned whole first, so that the port's name is found behind blanks and controls, then
    // cut to length.
    std::string text = CleanDeviceText(friendlyName, friendlyName.size());
    const std::string suffix = " (" + std::string(portName) + ")";
    if (!portName.empty() && text.size() > suffix.size() &&
        Lower(text.substr(text.size() - suffix.size())) == Lower(suffix))
        text.resize(text.size() - suffix.size());
    return CleanDeviceText(text);
}

}  // namespace torvane
