#include "platform/SerialPorts.h"

namespace platform {

std::vector<std::string> SplitPortList(const std::string& text)
{
    std::vector<std::string> out;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        const std::string::size_type colon = text.find(':', start);
        const std::string::size_type end = colon == std::string::npos ? text.size() : colon;
        if (end > start)
            out.push_back(text.substr(start, end - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return out;
}

} // namespace platform
