#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The communication log for field technicians: when the environment
// variable ZELVAN_LOG names a file, every line given here is appended to it
// as "<local time to the millisecond> <tag> <text>". A writer thread of its
// own does the file work, so a slow disk never holds up polling; the queue
// is bounded and says how many lines it had to drop. Any thread.
void CommLog(const char* tag, const std::string& text);
// True when the log is on; callers skip formatting their lines otherwise.
bool CommLogEnabled();

// Bytes as upper-case hex pairs separated by spaces ("01 03 00 0A").
std::string HexBytes(const std::uint8_t* bytes, std::size_t length);

// Closes and opens the log file again after what is queued is written (a
// rotated file is then followed by a new one). Any thread.
void ReopenCommLog();

// Writes what is queued and ends the writer thread (also done at exit).
void StopCommLog();

} // namespace platform
