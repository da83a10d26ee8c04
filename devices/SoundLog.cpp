#include "devices/SoundLog.h"

#include "core/Log.h"

namespace trivale {

void LogSoundError(plat::SoundResult result, const char* sourceFile, int line) {
    LogDirectXError(static_cast<unsigned>(result), plat::SoundResultName(result), plat::SoundResultDescription(result),
                    sourceFile, line);
}

}  // namespace trivale
