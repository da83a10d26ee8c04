// The play scene over the recording device with the real overlay, script engine and scene cache; the
// show's files are written here: three small LightWave scenes, the loading picture, the layers' pictures
// and the script under test.
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

// A controller on which the one named action is pushed.
struct Keys : trivale::CMergedController {
    bool IsPushed(const std::string& name) override { return name == pushed; }
    std::string pushed;
};

// "scenes\lit.lws": a red box textured with "red.tga", the camera "Camera" 10 units before it, a light,
// backdrop 0xFF334C7F, 30 frames a second. "scenes\sky.lws": a blue box textured with "blue.tga" only.
// "scenes\dark.lws": the red box and the camera without a light.
// Each picture has a size of its own (a layer's sheet holds cells of 128 pixels).
const std::pair<int, const char*> kSizes[] = {{8, "loading"}, {4, "scene"}, {2, "sky"}, {256, "clouds"}, {512, "snow"}};
inline int SideOf(const std::string& picture) {
    const std::string kinds[] = {"loading", "red", "blue", "cloud", "snow"};
    for (int i = 0; i < 5; ++i) {
        if (picture.find(kinds[i]) != std::string::npos) return kSizes[i].first;
    }
    return 0;
}

inline void WriteShowScenes(const fs::path& data) {
    using namespace lwrtest;
    lwrtest::Motion camera;
    camera.z = {-10};
    const std::string red = Item("LoadObjectLayer 1 objects/red.lwo", "Object", {});
    const std::string eye = Item("AddCamera\nCameraName Camera", "Camera", camera, "ZoomFactor 2\n");
    const std::string light = Item("AddLight\nLightName Sun", "Light", {}, "LightColor 1 1 1\nLightIntensity 1\n");
    fs::create_directories(data / "scenes");
    std::ofstream(data / "scenes/lit.lws") << Header(0, 90) + red + light + eye + "BackdropColor 0.2 0.3 0.5\n";
    std::ofstream(data / "scenes/dark.lws") << Header(0, 90) + red + eye;
    std::ofstream(data / "scenes/sky.lws") << Header(0, 90) + Item("LoadObjectLayer 1 objects/blue.lwo", "Object", {});
    for (const char* colour : {"red", "blue"}) {
        T3OMaterial material = Glowing(colour, colour[0] == 'r', 0, colour[0] == 'b');
        material.textureName = std::string(colour) + ".tga";
        WriteObject(data / "scenes" / (std::string(colour) + "_000.t3o"), Box({-1, -1, -1}, {1, 1, 1}, material));
    }
    for (const char* picture : {"loading.dds", "scenes/red.tga", "scenes/blue.tga", "scenes/skyhigh/small_cloud_1.dds",
                                "scenes/skyhigh/snow_1.dds"}) {
        fs::create_directories((data / picture).parent_path());
        const int side = SideOf(picture);
        const std::vector<unsigned char> bytes = rendertest::FlatImage(side, side, 0xFFFFFFFF);
        std::ofstream(data / picture, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
}

class PlayTest : public overlaytest::OverlayTest {
protected:
    void SetUp() override {
        StartFake();
        overlay_.reset(CResourceScene::Instance());
        overlay_->Initialize();
        dynamic_cast<trivale::CMergedController&>(*overlay_->GetController()).AddController(&keys_);
        WriteShowScenes(data_);
    }
    void TearDown() override {
        play_.reset();
        overlay_.reset();
        OverlayTest::TearDown();
    }
    // A play scene on the script, initialised, at a frame time of `seconds_`.
    CPlayScene& Start(const std::string& script) {
        std::ofstream(data_ / "main.tvs") << script;
        play_ = std::make_unique<CPlayScene>([this] { return seconds_; });
        Journal(), made_.clear();
        play_->Initialize();
        Draws();  // takes note of the loading picture
        return *play_;
    }
    // Runs frames until one has played (the cache was complete before it) and returns what that frame
    // drew, in order, named by texture: "loading" (the picture), "scene" (the red box), "sky" (the blue
    // box), "clouds", "snow", anything else "text"; and "light off"; a run of the same name counts once.
    Lines PlayFrame(unsigned due = 1) {
        bool playing = false;
        Lines drawn;
        for (int i = 0; i < 10 && !playing; ++i) {
            playing = play_->GetTextureCache().IsComplete();
            play_->Frame(due);
            drawn = Draws();
        }
        EXPECT_TRUE(playing);
        return drawn;
    }
    // The draws journalled since the last look, named as above.
    Lines Draws() {
        Lines shown;
        std::string texture;
        for (const std::string& line : Journal()) {
            if (line.rfind("CreateTexture(", 0) == 0) made_[line.substr(line.rfind(' ') + 1)] = KindOf(line);
            if (line.rfind("SetTexture(0, ", 0) == 0) texture = line.substr(14, line.size() - 15);
            if (line == "LightEnable(0, 0)") shown.push_back("light off");
            if (line.rfind("Draw", 0) != 0) continue;
            const std::string kind = made_.count(texture) != 0 ? made_[texture] : "text";
            if (shown.empty() || shown.back() != kind) shown.push_back(kind);
        }
        return shown;
    }
    // The pictures are told apart by their sizes.
    static std::string KindOf(const std::string& created) {
        for (const auto& [size, kind] : kSizes) {
            if (created.rfind("CreateTexture(" + std::to_string(size) + ", ", 0) == 0) return kind;
        }
        return "text";
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
