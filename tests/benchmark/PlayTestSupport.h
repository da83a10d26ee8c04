// The play scene over the recording device with the real overlay, script engine and caches, on three
// scenes written here: "lit" (a red box, the camera "Camera", a light, a backdrop), "dark" (the box and
// the camera, no light) and "sky" (a blue box only).
#pragma once

#include <map>

#include "benchmark/PlayScene.h"
#include "benchmark/ResourceScene.h"
#include "platform/Window.h"
#include "tests/benchmark/OverlayTestSupport.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tests/render/RenderTestSupport.h"

namespace playtest {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// The pictures, told apart in the journal by their sizes (a layer's sheet holds cells of 128 pixels).
const std::map<std::string, std::pair<int, std::string>> kPictures = {
    {"loading.dds", {8, "loading"}},
    {"scenes/red.tga", {4, "scene"}},
    {"scenes/blue.tga", {2, "sky"}},
    {"scenes/skyhigh/small_cloud_1.dds", {256, "clouds"}},
    {"scenes/skyhigh/snow_1.dds", {512, "snow"}}};

inline void WriteShowFiles(const fs::path& data) {
    using namespace lwrtest;
    Motion back;
    back.z = {-10};
    const std::string red = Item("LoadObjectLayer 1 objects/red.lwo", "Object", {}),
                      eye = Item("AddCamera\nCameraName Camera", "Camera", back, "ZoomFactor 2\n"),
                      sun = Item("AddLight\nLightName Sun", "Light", {}, "LightColor 1 1 1\nLightIntensity 1\n");
    fs::create_directories(data / "scenes/skyhigh");
    std::ofstream(data / "scenes/lit.lws") << Header(0, 90) + red + sun + eye + "BackdropColor 0.2 0.3 0.5\n";
    std::ofstream(data / "scenes/dark.lws") << Header(0, 90) + red + eye;
    std::ofstream(data / "scenes/sky.lws") << Header(0, 90) + Item("LoadObjectLayer 1 objects/blue.lwo", "Object", {});
    for (const std::string colour : {"red", "blue"}) {
        T3OMaterial material = Glowing(colour.c_str(), colour == "red", 0, colour == "blue");
        material.textureName = colour + ".tga";
        WriteObject(data / "scenes" / (colour + "_000.t3o"), Box({-1, -1, -1}, {1, 1, 1}, material));
    }
    for (const auto& [name, picture] : kPictures) {
        const auto bytes = rendertest::FlatImage(picture.first, picture.first, ~0u);
        std::ofstream(data / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
}

class PlayTest : public overlaytest::OverlayTest {
protected:
    // A controller on which the one named action is pushed.
    struct Keys : trivale::CMergedController {
        bool IsPushed(const std::string& name) override { return name == pushed; }
        std::string pushed;
    };

    void SetUp() override {
        StartFake();
        overlay_.reset(CResourceScene::Instance());
        overlay_->Initialize();
        dynamic_cast<trivale::CMergedController&>(*overlay_->GetController()).AddController(&keys_);
        WriteShowFiles(data_);
    }
    void TearDown() override {
        play_.reset(), overlay_.reset();
        OverlayTest::TearDown();
    }
    // A play scene on the script, initialised, at a frame time of `seconds_`.
    void Start(const std::string& init, const std::string& main = "sleep 1000\n") {
        std::ofstream(data_ / "main.tvs") << "*OnInitialize\n" + init + "return\n*main\n" + main;
        play_ = std::make_unique<CPlayScene>([this] { return seconds_; });
        Journal(), made_.clear();
        play_->Initialize();
        Draws();  // notes the loading picture
    }
    // Runs frames until one has played (the cache was complete before it) and returns its draws.
    Lines PlayFrame(unsigned due = 1) {
        Lines drawn;
        for (bool playing = false; !playing;) {
            playing = play_->GetTextureCache().IsComplete();
            play_->Frame(due);
            drawn = Draws();
        }
        return drawn;
    }
    // The draws journalled since the last look, in order, named after their picture (the font's:
    // "text"), and "light off"; a run of the same name counts once.
    Lines Draws() {
        Lines shown;
        std::string texture;
        for (const std::string& line : Journal()) {
            for (const auto& entry : kPictures) {
                if (line.rfind("CreateTexture(" + std::to_string(entry.second.first) + ",", 0) == 0)
                    made_[line.substr(line.rfind(' ') + 1)] = entry.second.second;
            }
            if (line.rfind("SetTexture(0, ", 0) == 0) texture = line.substr(14, line.size() - 15);
            if (line == "LightEnable(0, 0)") shown.push_back("light off");
            const std::string kind = made_.count(texture) != 0 ? made_[texture] : "text";
            if (line.rfind("Draw", 0) == 0 && (shown.empty() || shown.back() != kind)) shown.push_back(kind);
        }
        return shown;
    }
    // Whether a quit was posted since the last look.
    static bool QuitPosted() {
        plat::Event event;
        bool quit = false;
        while (plat::PollEvent(&event)) quit = quit || event.type == plat::EventType::Quit;
        return quit;
    }

    Keys keys_;
    std::unique_ptr<CResourceScene> overlay_;
    std::unique_ptr<CPlayScene> play_;
    double seconds_ = 0.02;
    std::map<std::string, std::string> made_;  // the kind of each texture made since Start
};

}  // namespace playtest
