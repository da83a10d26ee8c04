#pragma once
#include "platform/Sound.h"

namespace trivale {

// The "DirectX Error" log line for a failed sound-layer call, with the code's name and description.
void LogSoundError(plat::SoundResult result, const char* sourceFile, int line);

}  // namespace trivale
