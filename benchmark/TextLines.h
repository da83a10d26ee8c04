// The show's captions: lines the script prints, drawn every playing frame over the 3D picture with
// the overlay's large font from a fixed start row, all at the opacity of one fade. A line may start
// with a three-character code, '@' or '$' (single or double size), the glyph variant digit, and 'c',
// 'l' or 'r' for centred, left or right; the code itself is not drawn.
#pragma once

#include <deque>
#include <string>

#include "benchmark/MotionTween.h"
#include "benchmark/ShowCanvas.h"

class CTextLines {
public:
    // Kept as given, code included.
    void TextOut(const std::string& line) { lines_.push_back(line); }
    void TextClear() { lines_.clear(); }
    // Invisible until the script sets it: from 0 to 0.
    CMotionTween<float>* GetTextFade() { return &fade_; }
    const std::deque<std::string>& GetLines() const { return lines_; }

    // Drops the oldest lines that no longer fit and draws the rest.
    void DrawLines(const ShowCanvas& canvas);
    // Advances the fade by the frame's milliseconds.
    void Advance(double elapsedMs);

private:
    std::deque<std::string> lines_;
    CMotionTween<float> fade_;
};

// "<count> particles " at the right edge above the main viewport's bottom, while a debug page is shown.
void DrawParticleCount(const ShowCanvas& canvas, int count);
