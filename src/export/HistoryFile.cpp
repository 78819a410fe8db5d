#include "export/HistoryFile.h"

#include "platform/WallClock.h"

#include <cstdio>

std::string HistoryFolder(const std::string& appDir)
{
    std::string folder = appDir;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + "hisdata/";
}

std::string HistoryFileName(const std::string& serialText, int rating, std::int64_t curveStart)
{
    std::string name = serialText;
    for (char& c : name)
        if (c >= ':' && c <= '?')
            c = static_cast<char>('A' + (c - ':'));
    const platform::LocalTime t = platform::ToLocal(curveStart);
    char tail[96];
    std::snprintf(tail, sizeof(tail), ",%d,%04d-%02d-%02d %02d-%02d.xls", rating, t.nYear, t.nMonth, t.nDay, t.nHour,
                  t.nMinute);
    return name + tail;
}
