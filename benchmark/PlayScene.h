// The scene that plays the show: it runs the script "main.tvs" one step per frame, flies the chosen
// camera through the current LightWave scene with the sky scene centred on the camera, adds the cloud
// and snow layers and draws the script's text lines over it all. While textures are still queued it
// shows the loading screen instead and neither the script nor the scene time moves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "benchmark/ColorFade.h"
#include "benchmark/LWSceneCache.h"
#include "benchmark/LoadingScreen.h"
#include "benchmark/MotionTween.h"
#include "benchmark/ProgressiveTextureCache.h"
#include "benchmark/TextLines.h"
#include "script/CustomFunctionSet.h"
#include "script/SimpleScriptEngine.h"
#include "script/SimpleScriptSource.h"

class CResourceScene;

// How the script has the world shown.
struct PlayView {
    std::string camera = "Camera";
    float zNear = 5.0f;
    float zFar = 1000.0f;
    bool showCloud = false;
    bool showSnow = false;
    float snowScale = 1.0f;
};

class CPlayScene : public trivale::CStandardScene {
public:
    static constexpr std::uint16_t kPriority = 0x8000;
    // However long a frame took, the scene moves on by at most this much.
    static constexpr double kLongestStepSeconds = 0.5;
    static constexpr float kCloudHeight = 2000.0f;
    static constexpr double kSnowSpeed = 0.7;
    // The snow lattice's cell at snow scale 1. A near plane set past the first cell thins the snow: the
    // band over which the flakes go is four times as far as the plane stands past that cell, doubled for
    // each eighth of a cell; the flakes keep within 5.5 cells of view depth and off the faces of the
    // lattice's block, each a cell deep; the reach and the faces close in from beyond the block as the
    // plane moves on by a third of a cell.
    static constexpr float kSnowCell = 70.0f;
    static constexpr float kSnowBandSpread = 4.0f;
    static constexpr float kSnowBandDoublingsPerCell = 8.0f;
    static constexpr float kSnowReachCells = 5.5f;
    static constexpr float kSnowBeyondCells = 11.0f;
    static constexpr float kSnowBeyondEaseCells = 0.3f;
    static constexpr float kSnowRimCells = 1.0f;

    // The frame time comes from the driver's frame keeper, which carries the part of a millisecond
    // it truncates into the next frame, so scene time follows the clock.
    explicit CPlayScene(FrameSecondsSource frameSeconds = DriverFrameSeconds);
    ~CPlayScene() override;

    // Loads the loading picture and the script, runs the script's "OnInitialize" and sets it to go on
    // after "main". The overlay must exist: it hears the script's errors and prints.
    void Initialize() override;
    // One script step and one drawn frame, however many frames are due; a loading frame otherwise.
    void Frame(unsigned frames) override;

    // The named scene from the cache, its backdrop as the clear colour, time 0.
    virtual void SetScene(const std::string& name);
    virtual double GetSceneTime() const { return sceneTime_; }
    // The current scene's frame at the scene time, rounded; 0 without a current scene.
    virtual int GetSceneFrame();
    virtual void SetSceneTime(double seconds) { sceneTime_ = seconds; }
    virtual void SetSkyScene(const std::string& name);
    virtual void SetCameraClip(float zNear, float zFar);
    // A name the scene does not have takes its first camera by name.
    virtual void SetCamera(const std::string& name) { view_.camera = name; }
    virtual void ShowCloud(bool show) { view_.showCloud = show; }
    virtual void ShowSnow(bool show) { view_.showSnow = show; }
    virtual void SetSnowScale(float scale) { view_.snowScale = scale; }
    // Every ".lws" under the directory, recursively; while loading, their textures are queued.
    virtual void PrecacheScenes(const std::string& directory);
    virtual void TextOut(const std::string& line) { text_.TextOut(line); }
    virtual void TextClear() { text_.TextClear(); }
    virtual CMotionTween<float>* GetTextFade() { return text_.GetTextFade(); }

    // A fade that the script starts while the scene plays a frame (and hands to the scene manager,
    // which lets it in only after this pass) has its first frame drawn by this scene right after its
    // own drawing, where the fade runs from the next pass on: the frame that starts a fade-in out of
    // white is white. Fades started outside a playing frame are the manager's alone.
    void StartFade(std::shared_ptr<trivale::IScene> fade);

    // The frame's drawing steps.
    // Loads one more queued texture and draws the loading picture with the progress; the frame that
    // loads the last one ends loading and makes the cloud and snow layers.
    void DrawLoadingScreen();
    // The text lines, the debug pages' particle count, then the text fade advanced by the frame's time.
    void DrawTextLines(double elapsedMs);
    void DrawParticleCount();

    // Null before the script sets one.
    trivale::type_a::CLWRenderableScene* GetCurrentScene() const { return current_; }
    trivale::type_a::CLWRenderableScene* GetSkyScene() const { return sky_; }
    const PlayView& GetView() const { return view_; }
    const CTextLines& GetTextLines() const { return text_; }
    trivale::type_a::CProgressiveTextureCache& GetTextureCache() { return textures_; }
    CLWSceneCache& GetSceneCache() { return scenes_; }
    const ParticleLayers& GetLayers() const { return layers_; }
    // How the snow thins for the near plane and snow scale set now.
    SnowThinning Thinning() const;

private:
    // The 3D pass: the sky around the camera, the lit scene, clouds and snow.
    void DrawWorld(CResourceScene& overlay);
    // One step of the script, noting the fades it starts.
    void RunScriptStep();
    int ShownParticleCount() const;

    trivale::type_a::CSimpleScriptSource source_;
    trivale::type_a::CSimpleScriptEngine engine_;
    std::shared_ptr<trivale::type_a::simple_script::CCustomFunctionSet> functions_;
    trivale::type_a::CProgressiveTextureCache textures_;
    CLWSceneCache scenes_;
    trivale::type_a::CLWRenderableScene* current_ = nullptr;
    trivale::type_a::CLWRenderableScene* sky_ = nullptr;
    double sceneTime_ = 0.0;
    PlayView view_;
    // Holds the loading picture until loading ends; made by Initialize.
    std::unique_ptr<CLoadingScreen> loading_;
    ParticleLayers layers_;
    CTextLines text_;
    FrameSecondsSource frameSeconds_;
    // Fades the script started in this frame's step, while it runs.
    std::vector<std::shared_ptr<trivale::IScene>> startedFades_;
    bool stepping_ = false;
};
