// Scenes that cover the whole back buffer with one colour of changing opacity: a fade-in clears from
// opaque to transparent, a fade-out darkens to opaque, holds, then may close another scene and add a
// follow-up. Each removes itself when done. They run between the play scene and the overlay, so the
// overlay's texts stay above them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app_framework/StandardScene.h"

// Seconds the current frame stands for. The driver's frame keeper carries what truncation to whole
// milliseconds drops into the next frame, so fades summed over frames follow the clock.
using FrameSecondsSource = std::function<double()>;
double DriverFrameSeconds();

// The alpha byte of a coverage of f (0 to 1): 0 or 255 at and past the ends, rounded between them;
// 0 for a value that is not a number.
std::uint32_t FadeAlpha(float f);

class CColorFadeIn : public trivale::CStandardScene {
public:
    // The colour's top byte is dropped. A duration of 0 or less (or not a number) is finished at once.
    CColorFadeIn(double duration, std::uint32_t colour, std::uint16_t priority,
                 FrameSecondsSource frameSeconds = DriverFrameSeconds);
    ~CColorFadeIn() override {}

    void Frame(unsigned frames) override;
    virtual bool IsFinished() const;

private:
    std::uint32_t colour_;
    double elapsed_ = 0.0;
    double duration_;
    FrameSecondsSource frameSeconds_;
};

class CColorFadeOut : public trivale::CStandardScene {
public:
    CColorFadeOut(double duration, std::uint32_t colour, double hold, std::uint16_t priority,
                  FrameSecondsSource frameSeconds = DriverFrameSeconds);
    ~CColorFadeOut() override {}

    void Frame(unsigned frames) override;
    // Not owned: killed when the fade ends.
    virtual void SetSceneToClose(trivale::IScene* scene);
    // Handed to the driver's scene manager when the fade ends (it enters after that pass).
    virtual void SetNextScene(std::shared_ptr<trivale::IScene> scene);
    virtual void SetDuration(int seconds);
    virtual void SetColor(std::uint32_t colour);
    virtual bool IsFinished() const;

private:
    std::uint32_t colour_;
    double elapsed_ = 0.0;
    double duration_;
    double hold_;
    trivale::IScene* sceneToClose_ = nullptr;
    std::shared_ptr<trivale::IScene> nextScene_;
    FrameSecondsSource frameSeconds_;
};

// Covers the back buffer (one pixel beyond every edge) with the colour at that coverage, blended over
// what is there, inside a scene of its own.
void DrawFade(std::uint32_t colour, float f);
