// UTF-8 and the UTF-16 of the Windows API, both ways (Windows only).
#pragma once
#ifdef _WIN32

#include <string>

namespace tamsu {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

}  // namespace tamsu

#endif
