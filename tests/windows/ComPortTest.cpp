// Port names and the registry port list.
#include <gtest/gtest.h>

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

} // namespace
