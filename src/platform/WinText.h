#pragma once
// Windows only: UTF-8 texts of the program to and from the system's UTF-16.
#include <string>

namespace platform {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text, int length);

} // namespace platform
