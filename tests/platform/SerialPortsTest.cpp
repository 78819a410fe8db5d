#include "platform/SerialPorts.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace platform;

TEST(SerialPorts, EnvironmentListReplacesTheSystemList)
{
    EXPECT_EQ(SplitPortList("/dev/ttyUSB0::/tmp/sim-pty:"), (std::vector<std::string>{"/dev/ttyUSB0", "/tmp/sim-pty"}));
    EXPECT_TRUE(SplitPortList("").empty());

    ::setenv("ZELVAN_SERIAL_PORTS", "/tmp/a:/tmp/b", 1);
    std::vector<std::string> list{"stale"};
    EnumerateSerialPorts(list);
    ::unsetenv("ZELVAN_SERIAL_PORTS");
    EXPECT_EQ(list, (std::vector<std::string>{"/tmp/a", "/tmp/b"}));

    // The system list is sorted and names device paths.
    EnumerateSerialPorts(list);
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].rfind("/dev/", 0), 0u);
        if (i > 0) {
            EXPECT_LT(list[i - 1], list[i]);
        }
    }
}
