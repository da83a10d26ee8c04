#include "devices/SoundLog.h"

#include "core/Log.h"

namespace trivale {

// Written here rather than through the log's single registered code table, which the graphics layer
// fills with its own codes.
void LogSoundError(plat::SoundResult result, const char* sourceFile, int line)
{
    LogErrorAt(FormatString("DirectX Error: %s(0x%x): %s", plat::SoundResultName(result),
                            static_cast<unsigned>(result), plat::SoundResultDescription(result)),
               sourceFile, line);
}

} // namespace trivale
