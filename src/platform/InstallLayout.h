#pragma once
#include <filesystem>
#include <string>
#include <system_error>

namespace platform {

// Where an installed program keeps the files it reads (pictures, note,
// workbook, manual), from the program's folder: <prefix>/share/zelvan
// beside <prefix>/bin.
inline constexpr const char* kInstalledFilesFromProgram = "../share/zelvan";

// A program installed under a prefix, as opposed to a build or a portable
// copy that keeps its files beside itself.
inline bool IsInstalledProgram(const std::string& appDir)
{
    if (appDir.empty())
        return false;
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::path(appDir) / kInstalledFilesFromProgram, error);
}

} // namespace platform
