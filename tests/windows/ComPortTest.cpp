// Port names and the registry port list.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/SerialPort.h"
#include "platform/SerialPorts.h"
#include "platform/SerialPortsWin32.h"

namespace {

TEST(ComPortNames, NumberComesFromEitherFormAndOnlyFromComNames)
{
    EXPECT_EQ(platform::ComPortNumber("COM3"), 3);
    EXPECT_EQ(platform::ComPortNumber("COM12"), 12);
    EXPECT_EQ(platform::ComPortNumber("com7"), 7);
    EXPECT_EQ(platform::ComPortNumber("\\\\.\\COM12"), 12);
    EXPECT_EQ(platform::ComPortNumber(ComPortDeviceName(255)), 255);

    for (const char* name : {"", "COM", "COMx", "COM1x", "LPT1", "\\\\.\\", "XCOM1", "COM99999999999"})
        EXPECT_EQ(platform::ComPortNumber(name), 0) << name;
}

TEST(ComPortList, RegistryListsTheMappedPortsAndComOne)
{
    std::vector<std::string> list{"stale entry"};
    platform::EnumerateSerialPorts(list);
    for (const char* port : {"COM1", "COM5", "COM12"})
        EXPECT_NE(std::find(list.begin(), list.end(), port), list.end()) << port << " (COM5 and COM12 are mapped by scripts/test-windows)";
    EXPECT_EQ(std::count(list.begin(), list.end(), "stale entry"), 0);
    for (const std::string& name : list)
        EXPECT_GT(platform::ComPortNumber(name), 0) << name;
}

// Values that no driver writes, added beside the mapped ports for one test
// (the key is volatile: Wine makes it anew at each start).
class OddRegistryValues : public ::testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

    void SetUp() override
    {
        ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_SET_VALUE, &m_key), ERROR_SUCCESS);
        // Longer than the 256-byte data buffer and a number, named so that
        // they come before the ports (Wine lists values by name), and a
        // text stored without its terminating zero.
        const std::wstring longName(200, L'X');
        Set(L"\\Device\\0ZelvanLong", REG_SZ, longName.c_str(), (longName.size() + 1) * sizeof(wchar_t));
        const DWORD number = 7;
        Set(L"\\Device\\1ZelvanNumber", REG_DWORD, &number, sizeof number);
        Set(L"\\Device\\ZelvanBare", REG_SZ, L"COM77", 5 * sizeof(wchar_t));
    }

    void TearDown() override
    {
        if (m_key == nullptr)
            return;
        for (const wchar_t* name : {L"\\Device\\0ZelvanLong", L"\\Device\\1ZelvanNumber", L"\\Device\\ZelvanBare"})
            ::RegDeleteValueW(m_key, name);
        ::RegCloseKey(m_key);
    }

    void Set(const wchar_t* name, DWORD type, const void* data, std::size_t size)
    {
        ASSERT_EQ(::RegSetValueExW(m_key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    }

    HKEY m_key = nullptr;
};

TEST_F(OddRegistryValues, AreSkippedWithoutHidingThePortsAfterThem)
{
    std::vector<std::string> list;
    platform::EnumerateSerialPorts(list);
    EXPECT_NE(std::find(list.begin(), list.end(), "COM5"), list.end());
    EXPECT_NE(std::find(list.begin(), list.end(), "COM77"), list.end());
    for (const std::string& name : list)
        EXPECT_GT(platform::ComPortNumber(name), 0) << name;
}

} // namespace
