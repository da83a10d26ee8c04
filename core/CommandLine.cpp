#include "core/CommandLine.h"

#include <vector>

#include "core/Exception.h"
#include "core/Text.h"
#include "platform/System.h"

namespace trivale {

int ParamCount() { return static_cast<int>(plat::GetCommandLine().size()); }

std::string ParamStr(int index) {
    const std::vector<std::string>& args = plat::GetCommandLine();
    if (index < 0 || index >= static_cast<int>(args.size()))
        throw EInvalidParameter("ParamStr(" + IntToString(index) + "): パラメータの範囲が不正です.");
    return args[static_cast<std::size_t>(index)];
}

std::string GetModuleFilePath() { return plat::GetProgramPath(); }

}  // namespace trivale
