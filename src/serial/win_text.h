// Texts between the Windows API and the rest of the program: UTF-8 paths as the wide strings
// the W functions take, and a system error code as its message. Windows only.
#pragma once

#include <string>

namespace torvane {

std::wstring WideFromUtf8(const std::string& utf8);
// The system's message for `error` (a GetLastError() code) without its trailing full stop and
// line end; "error N" when the system has none.
std::string SystemErrorText(unsigned long error);

}  // namespace torvane
