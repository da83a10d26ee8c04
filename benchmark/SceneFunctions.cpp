#include "benchmark/SceneFunctions.h"

#include <cstdint>
#include <memory>
#include <typeinfo>

#include "benchmark/ColorFade.h"
#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "core/Exception.h"
#include "core/Saturate.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Window.h"
#include "script/SimpleScriptEngine.h"

namespace scene_func {

using namespace trivale::type_a::simple_script;
using Args = std::deque<CFactor>;

namespace {

constexpr std::uint16_t kFadePriority = 0xE000;

// The play scene set itself as the engine's user object.
CPlayScene& PlaySceneOf(CSimpleScriptEngine& context) {
    CPlayScene* scene = dynamic_cast<CPlayScene*>(context.GetUserObject());
    if (scene == nullptr) throw std::bad_cast();
    return *scene;
}

CResourceScene& Overlay() { return *CResourceScene::Instance(); }

trivale::CGameApplicationDriverDX9& Driver() {
    trivale::CGameApplicationDriverDX9* driver = trivale::GetApplicationDriver();
    if (driver == nullptr || driver->GetSceneManager() == nullptr || driver->GetFrameRateKeeper() == nullptr)
        throw trivale::EInvalidOperation(nullptr, "アプリケーションドライバが初期化されていません.");
    return *driver;
}

// Exactly these argument types, or a reported mismatch.
bool Accept(CStandardCustomFunction& function, CSimpleScriptEngine& context, const Args& arguments,
            std::initializer_list<FactorType> types) {
    return function.CheckArgumentsOrReport(context, arguments, static_cast<int>(types.size()), types);
}

// The manager lets a fade in at the end of this pass; the play scene whose script started it draws its
// first frame in this one, so that the frame which starts a fade is already covered.
void StartFade(CSimpleScriptEngine& context, const std::shared_ptr<trivale::IScene>& fade) {
    Driver().GetSceneManager()->AddScene(fade);
    if (auto* play = dynamic_cast<CPlayScene*>(context.GetUserObject())) play->StartFade(fade);
}

float FloatOf(const CFactor& argument) { return static_cast<float>(argument.ToDouble()); }

std::uint32_t ColourOf(const Args& arguments, std::size_t red) {
    std::uint32_t colour = 0xFF000000u;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto byte = static_cast<std::uint32_t>(trivale::SaturateToInt(FloatOf(arguments[red + i]) * 255.0));
        colour |= (byte & 0xFFu) << (16 - 8 * i);
    }
    return colour;
}

// Sleeps this frame and steps back, so the engine runs the calling line again next frame.
void WaitAFrame(CSimpleScriptEngine& context) {
    if (context.Sleep(1)) context.SetProgramCounter(context.GetProgramCounter() - 1);
}

}  // namespace

// One function: its class, script name, effect (run only when the arguments are as declared) and
// declared argument types.
#define TV_DEFINE(name, scriptName, effect, ...)                              \
    name::name() : CStandardCustomFunction(scriptName) {}                     \
    CFactor name::Call(CSimpleScriptEngine& context, const Args& arguments) { \
        CFactor result(&context);                                             \
        if (Accept(*this, context, arguments, {__VA_ARGS__})) {               \
            effect;                                                           \
        }                                                                     \
        return result;                                                        \
    }
#define STRING_ARG arguments[0].GetStringValue()

TV_DEFINE(CSetSceneFunc, "SetScene", PlaySceneOf(context).SetScene(STRING_ARG), TYPE_STRING)
TV_DEFINE(CSetSkySceneFunc, "SetSkyScene", PlaySceneOf(context).SetSkyScene(STRING_ARG), TYPE_STRING)
TV_DEFINE(CSetCameraFunc, "SetCamera", PlaySceneOf(context).SetCamera(STRING_ARG), TYPE_STRING)
TV_DEFINE(CSetCameraClipFunc, "SetCameraClip",
          PlaySceneOf(context).SetCameraClip(FloatOf(arguments[0]), FloatOf(arguments[1])), TYPE_FLOAT, TYPE_FLOAT)
TV_DEFINE(
    CSyncSceneFrameFunc, "SyncSceneFrame",
    {
        CPlayScene& scene = PlaySceneOf(context);
        if (scene.GetCurrentScene() == nullptr) {
            context.OnError("SyncSceneFrame: no current scene");
        } else if (arguments[0].GetIntValue() > scene.GetSceneFrame()) {
            WaitAFrame(context);
        }
    },
    TYPE_INT)
TV_DEFINE(
    CSyncSceneTimeFunc, "SyncSceneTime",
    {
        if (PlaySceneOf(context).GetSceneTime() < static_cast<double>(FloatOf(arguments[0]))) WaitAFrame(context);
    },
    TYPE_FLOAT)
TV_DEFINE(CSetSceneTimeFunc, "SetSceneTime", PlaySceneOf(context).SetSceneTime(FloatOf(arguments[0])), TYPE_FLOAT)
TV_DEFINE(CDirectoryPrecacheScenesFunc, "DirectoryPrecacheScenes", PlaySceneOf(context).PrecacheScenes(STRING_ARG),
          TYPE_STRING)
TV_DEFINE(CColorFadeInFunc, "ColorFadeIn",
          StartFade(context,
                    std::make_shared<CColorFadeIn>(FloatOf(arguments[0]), ColourOf(arguments, 1), kFadePriority)),
          TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT)
TV_DEFINE(CColorFadeOutFunc, "ColorFadeOut",
          StartFade(context, std::make_shared<CColorFadeOut>(FloatOf(arguments[0]), ColourOf(arguments, 2),
                                                             FloatOf(arguments[1]), kFadePriority)),
          TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT)
TV_DEFINE(CPlayMusicFunc, "PlayMusic", Overlay().GetMusicManager()->Play(STRING_ARG, false), TYPE_STRING)
TV_DEFINE(CTextOutFunc, "TextOut", PlaySceneOf(context).TextOut(STRING_ARG), TYPE_STRING)
TV_DEFINE(CTextClearFunc, "TextClear", PlaySceneOf(context).TextClear())
TV_DEFINE(
    CSetTextFadeFunc, "SetTextFade",
    {
        CMotionTween<float>& fade = *PlaySceneOf(context).GetTextFade();
        fade.SetDuration(FloatOf(arguments[0]));
        fade.SetStart(FloatOf(arguments[1]));
        fade.SetEnd(FloatOf(arguments[2]));
        fade.Rewind();
    },
    TYPE_FLOAT, TYPE_FLOAT, TYPE_FLOAT)
TV_DEFINE(CScoreCountStartFunc, "ScoreCountStart", Overlay().SetScoreCounting(true))
TV_DEFINE(CScoreCountStopFunc, "ScoreCountStop", Overlay().SetScoreCounting(false))
TV_DEFINE(CGetScoreFunc, "GetScore", result.SetIntValue(trivale::SaturateToInt(Overlay().GetScore())))
TV_DEFINE(CSetScoreRatioFunc, "SetScoreRatio", Overlay().SetScoreRatio(FloatOf(arguments[0])), TYPE_FLOAT)
TV_DEFINE(CResetScoreFunc, "ResetScore", Overlay().ResetScore())
TV_DEFINE(CSetFrameRateLimitFunc, "SetFrameRateLimit",
          Driver().GetFrameRateKeeper()->SetFrameRate(arguments[0].GetIntValue()), TYPE_INT)
TV_DEFINE(CShowCloudFunc, "ShowCloud", PlaySceneOf(context).ShowCloud(true))
TV_DEFINE(CHideCloudFunc, "HideCloud", PlaySceneOf(context).ShowCloud(false))
TV_DEFINE(CShowSnowFunc, "ShowSnow", PlaySceneOf(context).ShowSnow(true))
TV_DEFINE(CHideSnowFunc, "HideSnow", PlaySceneOf(context).ShowSnow(false))
TV_DEFINE(CSetSnowScaleFunc, "SetSnowScale", PlaySceneOf(context).SetSnowScale(FloatOf(arguments[0])), TYPE_FLOAT)
TV_DEFINE(CFinishFunc, "Finish", {
    if (Overlay().IsOneShot()) plat::PostQuit(0);
})

#undef STRING_ARG
#undef TV_DEFINE

void RegisterSceneFunctions(CCustomFunctionSet& set) {
    set.Register(std::make_shared<CSetSceneFunc>());
    set.Register(std::make_shared<CSetSkySceneFunc>());
    set.Register(std::make_shared<CSetCameraFunc>());
    set.Register(std::make_shared<CSetCameraClipFunc>());
    set.Register(std::make_shared<CSyncSceneFrameFunc>());
    set.Register(std::make_shared<CSyncSceneTimeFunc>());
    set.Register(std::make_shared<CSetSceneTimeFunc>());
    set.Register(std::make_shared<CDirectoryPrecacheScenesFunc>());
    set.Register(std::make_shared<CColorFadeInFunc>());
    set.Register(std::make_shared<CColorFadeOutFunc>());
    set.Register(std::make_shared<CPlayMusicFunc>());
    set.Register(std::make_shared<CTextOutFunc>());
    set.Register(std::make_shared<CTextClearFunc>());
    set.Register(std::make_shared<CSetTextFadeFunc>());
    set.Register(std::make_shared<CScoreCountStartFunc>());
    set.Register(std::make_shared<CScoreCountStopFunc>());
    set.Register(std::make_shared<CGetScoreFunc>());
    set.Register(std::make_shared<CSetScoreRatioFunc>());
    set.Register(std::make_shared<CResetScoreFunc>());
    set.Register(std::make_shared<CSetFrameRateLimitFunc>());
    set.Register(std::make_shared<CShowCloudFunc>());
    set.Register(std::make_shared<CHideCloudFunc>());
    set.Register(std::make_shared<CShowSnowFunc>());
    set.Register(std::make_shared<CHideSnowFunc>());
    set.Register(std::make_shared<CSetSnowScaleFunc>());
    set.Register(std::make_shared<CFinishFunc>());
}

}  // namespace scene_func
