// Windows port list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
#include "platform/SerialPortsWin32.h"

#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/SerialPorts.h"
#include "platform/WinText.h"

namespace platform {
namespace {

bool StartsWithNoCase(const std::string& text, std::size_t at, const char* prefix)
{
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (at + i >= text.size() || std::toupper(static_cast<unsigned char>(text[at + i])) != prefix[i])
            return false;
    }
    return true;
}

} // namespace

int ComPortNumber(const std::string& name)
{
    std::size_t at = name.rfind("\\\\.\\", 0) == 0 ? 4 : 0;
    if (!StartsWithNoCase(name, at, "COM"))
        return 0;
    at += 3;
    if (at >= name.size())
        return 0;
    long n = 0;
    for (; at < name.size(); ++at) {
        const char c = name[at];
        if (c < '0' || c > '9' || n > 100000)
            return 0;
        n = n * 10 + (c - '0');
    }
    return static_cast<int>(n);
}

void EnumerateSerialPorts(std::vector<std::string>& list)
{
    list.clear();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; index < 255; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        // One wide character more than the 256 bytes of data, so that the
        // text always ends even when the stored value does not.
        wchar_t data[128 + 1] = {};
        DWORD dataSize = 256;
        const LSTATUS status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_MORE_DATA)
            continue; // one odd value must not hide the ports after it
        if (status != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        int length = static_cast<int>(dataSize / sizeof(wchar_t));
        while (length > 0 && data[length - 1] == L'\0')
            --length;
        if (length > 0)
            list.push_back(Utf8FromWide(data, length));
    }
    ::RegCloseKey(key);
}

} // namespace platform
