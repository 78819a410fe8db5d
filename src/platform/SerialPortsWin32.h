#pragma once
// Windows only: port names as the registry lists them.
#include <string>

namespace platform {

// The n of a port name "COMn" (letters in any case), also given in the
// device-namespace form "\\.\COMn"; 0 when the name is not of that form.
int ComPortNumber(const std::string& name);

} // namespace platform
