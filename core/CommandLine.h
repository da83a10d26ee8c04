// The program's command line and its own path.
#pragma once

#include <string>

namespace trivale {

int ParamCount();
// Argument i (0 is the program as the command line named it); EInvalidParameter when out of range.
std::string ParamStr(int index);
std::string GetModuleFilePath();

}  // namespace trivale
