// The show's own script functions, asked after the standard library: scenes, sky and camera, waiting
// for a scene frame or time, colour fades, music, text lines, the score, clouds and snow, the frame
// rate and the end of a one-shot run. Each checks its arguments exactly (an int passes for a float);
// a mismatch is reported as a script error and does nothing. All give int 0 but GetScore.
#pragma once

#include <deque>

#include "script/CustomFunctionSet.h"
#include "script/StandardCustomFunction.h"

namespace scene_func {

using trivale::type_a::CSimpleScriptEngine;
using trivale::type_a::simple_script::CFactor;
using trivale::type_a::simple_script::CStandardCustomFunction;

#define TV_SCENE_FUNCTION(name)                                                                    \
    class name : public CStandardCustomFunction {                                                  \
    public:                                                                                        \
        name();                                                                                    \
        CFactor Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) override; \
    }

TV_SCENE_FUNCTION(CSetSceneFunc);
TV_SCENE_FUNCTION(CSetSkySceneFunc);
TV_SCENE_FUNCTION(CSetCameraFunc);
TV_SCENE_FUNCTION(CSetCameraClipFunc);
// Wait while the scene's frame or time is short of the target: the line runs again next frame. Inside
// an interrupt the engine refuses the sleep and the script goes straight on.
TV_SCENE_FUNCTION(CSyncSceneFrameFunc);
TV_SCENE_FUNCTION(CSyncSceneTimeFunc);
TV_SCENE_FUNCTION(CSetSceneTimeFunc);
TV_SCENE_FUNCTION(CDirectoryPrecacheScenesFunc);
// Fade components become bytes as truncate(c x 255) modulo 256.
TV_SCENE_FUNCTION(CColorFadeInFunc);
TV_SCENE_FUNCTION(CColorFadeOutFunc);
TV_SCENE_FUNCTION(CPlayMusicFunc);
TV_SCENE_FUNCTION(CTextOutFunc);
TV_SCENE_FUNCTION(CTextClearFunc);
TV_SCENE_FUNCTION(CSetTextFadeFunc);
TV_SCENE_FUNCTION(CScoreCountStartFunc);
TV_SCENE_FUNCTION(CScoreCountStopFunc);
TV_SCENE_FUNCTION(CGetScoreFunc);
TV_SCENE_FUNCTION(CSetScoreRatioFunc);
TV_SCENE_FUNCTION(CResetScoreFunc);
TV_SCENE_FUNCTION(CSetFrameRateLimitFunc);
TV_SCENE_FUNCTION(CShowCloudFunc);
TV_SCENE_FUNCTION(CHideCloudFunc);
TV_SCENE_FUNCTION(CShowSnowFunc);
TV_SCENE_FUNCTION(CHideSnowFunc);
TV_SCENE_FUNCTION(CSetSnowScaleFunc);
TV_SCENE_FUNCTION(CFinishFunc);

#undef TV_SCENE_FUNCTION

// Registers one of each, "SetScene" first and "Finish" last.
void RegisterSceneFunctions(trivale::type_a::simple_script::CCustomFunctionSet& set);

}  // namespace scene_func
