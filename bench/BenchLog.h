#pragma once
// The communication log as the program benches read it.
#include <fstream>
#include <string>

// True when a line of the log at `path` holds `text`.
inline bool LogHas(const std::string& path, const std::string& text)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}
