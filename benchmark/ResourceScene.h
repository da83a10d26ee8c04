// The resident overlay scene, one per process and last in every pass: it owns what the other scenes
// share (sprite batch, the three fonts, the screen layout, the merged controller with the input actions,
// the music manager), draws the title, the frame rate and score while the score counts, the previous
// score, and the debug pages; then ends the frame: ends the scene, presents, clears the viewports for
// the next pass and polls the input. As the script engine's listener it keeps the script console.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "app_framework/StandardScene.h"
#include "benchmark/MusicManager.h"
#include "benchmark/ScoreCounter.h"
#include "benchmark/Viewport.h"
#include "devices/MergedController.h"
#include "render/DXSprite.h"
#include "render/Sprite.h"
#include "render/SpriteFont.h"
#include "render/Texture.h"
#include "script/SimpleScriptEngineListener.h"

class CResourceScene : public trivale::CStandardScene, public trivale::type_a::ISimpleScriptEngineListener {
public:
    static constexpr std::uint16_t kPriority = 0xFFFF;
    static constexpr std::uint32_t kDefaultClearColour = 0xFF1E1E1E;
    // The console keeps this many lines at most, the newest.
    static constexpr std::size_t kConsoleLimit = 500;
    static constexpr int kDebugPageCount = 6;

    // The one overlay, made on first use; the driver's graphics device must exist by then. Whoever
    // adds it to the scene manager hands it over; its destruction lets the next call make a new one.
    static CResourceScene* Instance();
    ~CResourceScene() override;

    void Initialize() override;
    void Frame(unsigned frames) override;

    virtual trivale::type_a::CDXSprite* GetSprite() { return &sprite_; }
    // The large font, the small one and the debug font.
    virtual trivale::type_a::CSpriteFont* GetFont0() { return &fonts_[0]; }
    virtual trivale::type_a::CSpriteFont* GetFont1() { return &fonts_[1]; }
    virtual trivale::type_a::CSpriteFont* GetFont2() { return &fonts_[2]; }
    // The main viewport.
    virtual CViewport* GetViewport() { return &main_; }
    virtual trivale::IController* GetController() { return &controller_; }
    virtual CMusicManager* GetMusicManager() { return &music_; }
    // Two integers kept for the show's use; nothing reads them yet.
    virtual void SetUserValue1(int value) { userValue1_ = value; }
    virtual int GetUserValue1() const { return userValue1_; }
    // Lays the screen out again in the new shape.
    virtual void SetWideScreen(bool wide);
    virtual bool IsWideScreen() const { return wideScreen_; }
    virtual void SetUserValue2(int value) { userValue2_ = value; }
    virtual int GetUserValue2() const { return userValue2_; }
    // The main viewport's colour from the next clear on.
    virtual void SetClearColor(std::uint32_t colour) { clearColour_ = colour; }
    virtual int GetDebugPage() const { return debugPage_; }
    virtual void SetScoreCounting(bool counting) { score_.SetCounting(counting); }
    virtual void SetScoreRatio(float ratio) { score_.SetRatio(ratio); }
    virtual float GetScore() const { return score_.GetScore(); }
    virtual void ResetScore() { score_.Reset(); }
    virtual void SetOneShot(bool oneShot) { oneShot_ = oneShot; }
    virtual bool IsOneShot() const { return oneShot_; }
    // The input actions on every controller of the driver's input device, merged into the overlay's
    // controller; done once, at the end of Initialize.
    virtual void SetupInputMap();

    // Opens the console page and adds the text to it.
    void OnError(const std::string& text) override;
    void OnWarning(const std::string& text) override;
    // Adds the text to the console; the page stays.
    void OnPrint(const std::string& text) override;

    // The layout of the back buffer's present size; leaves the main viewport applied.
    void LayoutViewports();
    const std::deque<std::string>& GetConsole() const { return console_; }
    const CScoreCounter& GetScoreCounter() const { return score_; }
    std::uint32_t GetClearColor() const { return clearColour_; }
    // The free video memory the debug line shows, in MiB.
    int GetFreeVideoMemoryMiB() const { return freeVideoMemoryMiB_; }

private:
    CResourceScene();
    void LoadTexture(trivale::type_a::CTexture& texture, const std::string& name);
    void LoadFont(int index, const OverlayFontLayout& layout);
    // Bars to black, the main viewport to the clear colour; the main viewport stays applied.
    void ClearViewports();
    void DrawWatermark(std::uint32_t width, float top, float height);
    void DrawTexts(int width, int top, int bottom, int height);
    void DrawDebugPages(int width, int top, int bottom, int height);
    void AppendToConsole(const std::string& text);
    // Asks the driver while the debug line shows, at most once a second of the frame keeper's clock.
    int FreeVideoMemoryMiB(double now);

    trivale::type_a::CDXSprite sprite_;
    CViewport full_, topBar_, bottomBar_, main_;
    trivale::type_a::CTexture fontTextures_[3];
    trivale::type_a::CSpriteFont fonts_[3];
    trivale::type_a::CTexture watermarkTexture_;
    trivale::type_a::CSprite watermark_;
    std::uint32_t clearColour_ = kDefaultClearColour;
    trivale::CMergedController controller_;
    CMusicManager music_;
    bool wideScreen_ = false;
    int userValue1_ = 0;
    int userValue2_ = -1;
    int debugPage_ = 0;
    CTriangleRate triangles_;
    int freeVideoMemoryMiB_ = 0;
    double videoMemoryAskedAt_ = 0.0;
    bool videoMemoryAsked_ = false;
    CScoreCounter score_;
    bool oneShot_ = true;
    std::deque<std::string> console_;
};
