#include "platform/SerialPorts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

void EnumerateSerialPorts(std::vector<std::string>& list)
{
    list.clear();
    if (const char* env = std::getenv("ZELVAN_SERIAL_PORTS")) {
        list = SplitPortList(env);
        return;
    }

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it("/sys/class/tty", ec);
    if (ec)
        return;
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : it) {
        // Virtual terminals and ptys have no device driver behind them.
        std::error_code linkError;
        if (fs::exists(entry.path() / "device" / "driver", linkError))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        list.push_back("/dev/" + name);
}

} // namespace platform
