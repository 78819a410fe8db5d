#include "export/HistoryFile.h"

#include "platform/WallClock.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>

#include "platform/InstallLayout.h"
#endif

namespace {

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

std::string HistoryFolder(const std::string& appDir)
{
    return WithSlash(appDir) + "hisdata/";
}

std::string HistoryHome(const std::string& appDir)
{
    const std::string home = WithSlash(appDir);
#ifdef _WIN32
    return home;
#else
    // A program installed under a prefix never writes there, whoever runs
    // it (root could); a build or a portable copy keeps its history beside it.
    const auto writable = [](const std::string& path) { return ::access(path.c_str(), W_OK | X_OK) == 0; };
    const std::string hisdata = home + "hisdata";
    if (!platform::IsInstalledProgram(home) &&
        (::access(hisdata.c_str(), F_OK) == 0 ? writable(hisdata) : writable(home.empty() ? "." : home)))
        return home;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') // relative values are to be ignored
        return WithSlash(xdg) + "zelvan/";
    std::string user = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    if (user.empty() || user[0] != '/') { // a service started without HOME: the account's own
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr)
            user = found->pw_dir;
    }
    if (!user.empty() && user[0] == '/')
        return WithSlash(user) + ".local/share/zelvan/";
    return home; // nowhere else to go: the write fails there and says so
#endif
}

std::string HistoryFolderFor(const std::string& appDir)
{
    return HistoryFolder(HistoryHome(appDir));
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
