#pragma once
#include <cstdint>

// Window message numbers shared by the link, the views and the export.
namespace platform {

// Numbers as on Windows: WM_USER (0x400) and WM_APP (0x8000) ranges.
constexpr unsigned WM_REGISTER_VALUE = 0x0464;      // one 16-bit register value; lParam = the word
constexpr unsigned WM_LINK_LOST = 0x0467;           // third poll missed in a row
constexpr unsigned WM_START_DETECTION = 0x0468;     // begin port detection
constexpr unsigned WM_START_DETECTION_ALT = 0x0469; // second start-detection message
constexpr unsigned WM_EXPORT_DONE = 0x8068;         // export worker finished
constexpr unsigned WM_EXPORT_PROGRESS = 0x8069;     // export progress: wParam records done, lParam records in the span
constexpr unsigned WM_HISTORY_IMPORT_DONE = 0x806A; // an import of history files into the energy store ended
constexpr unsigned WM_HISTORY_STORE_ANEW = 0x806B;  // the energy store was set aside and started anew

} // namespace platform
