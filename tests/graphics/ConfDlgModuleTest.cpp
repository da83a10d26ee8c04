// The real dialog module, loaded beside the test program as the program loads it, in its unattended
// mode; and its rules for defaults and the remembered selection.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "confdlg/SelectionStore.h"
#include "confdlg/SignalCancel.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "devices/ConfigDialogDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/GraphicsGL.h"
#include "tests/core/TestUtil.h"

namespace trivale {
namespace {

using confdlg::UnattendedChoice;

// Points the module's settings at a scratch directory and clears the unattended variable.
struct ScratchSettings {
    std::string File() const { return dir_ / "vellacor/dialog.conf"; }
    tvtest::TempDir dir_;
    tvtest::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
    tvtest::ScopedEnv unattended_{confdlg::kUnattendedVariable, nullptr};
};

std::unique_ptr<CONFIG_INFO> MakeInfo() {
    auto info = std::make_unique<CONFIG_INFO>();  // zeroed
    info->adapterCount = 2;
    for (int a = 0; a < 2; ++a) {
        CONFIG_ADAPTER_INFO& adapter = info->adapters[a];
        std::snprintf(adapter.name, sizeof(adapter.name), "Adapter %d (%d)", a, a + 1);
        adapter.maxAnisotropy = 16;
        adapter.formatCount = 3;
        adapter.formats[0].bitsPerPixel = 32;
        adapter.formats[1].bitsPerPixel = 16;
        adapter.formats[2].bitsPerPixel = 15;
        adapter.formats[0].multiSample[4] = 1;
        const CONFIG_DISPLAY_MODE modes[] = {{1920, 1080, 32, 60}, {1280, 1024, 32, 60}, {1024, 768, 32, 75},
                                             {1024, 768, 32, 60},  {800, 600, 32, 60},   {1024, 768, 16, 85},
                                             {640, 480, 15, 60}};
        adapter.modeCount = 7;
        std::memcpy(adapter.modes, modes, sizeof(modes));
    }
    return info;
}

// ---- the rules ----

TEST(SelectionStoreTest, UnattendedValues) {
    CONFIG_SELECTION s = {};
    EXPECT_EQ(confdlg::ParseUnattended(nullptr, s), UnattendedChoice::None);
    EXPECT_EQ(confdlg::ParseUnattended("", s), UnattendedChoice::None);
    EXPECT_EQ(confdlg::ParseUnattended("accept", s), UnattendedChoice::Accept);
    EXPECT_EQ(confdlg::ParseUnattended(" cancel\n", s), UnattendedChoice::Cancel);
    EXPECT_EQ(confdlg::ParseUnattended("Accept", s), UnattendedChoice::Accept) << "any case, as the switches";
    EXPECT_EQ(confdlg::ParseUnattended("CANCEL", s), UnattendedChoice::Cancel);
    EXPECT_EQ(confdlg::ParseUnattended("1, 2,4,8,0,32,1", s), UnattendedChoice::Explicit);
    const CONFIG_SELECTION given = {1, 2, 4, 8, 0, 32, 1};
    EXPECT_EQ(std::memcmp(&s, &given, sizeof(s)), 0);
    const char* malformed[] = {"1,2,3",        "1,2,3,4,5,6,7,8", "a,b,c,d,e,f,g",
                               "1,2,3,4,5,6,", "1,2,3,4,5,6,7,",  "99999999999,0,0,0,1,24,0",
                               "yes"};
    for (const char* text : malformed)
        EXPECT_EQ(confdlg::ParseUnattended(text, s), UnattendedChoice::Malformed) << text;
}

TEST(SelectionStoreTest, DefaultsAndFitting) {
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    CONFIG_SELECTION s = confdlg::DefaultSelection(*info, {});
    const CONFIG_SELECTION defaults = {0, 2, 0, 0, 1, 24, 0};  // 1024 x 768 at the higher rate
    EXPECT_EQ(std::memcmp(&s, &defaults, sizeof(s)), 0);

    CONFIG_SELECTION wild = {5, 900, 8, 99, 7, 12, -3};
    confdlg::FitSelection(*info, wild, {});
    const CONFIG_SELECTION fitted = {0, 2, 0, 16, 1, 24, 1};
    EXPECT_EQ(std::memcmp(&wild, &fitted, sizeof(wild)), 0);
    CONFIG_SELECTION fine = {1, 4, 4, 2, 0, 16, 0};
    confdlg::FitSelection(*info, fine, {});
    EXPECT_EQ(fine.mode, 4);
    EXPECT_EQ(fine.multiSample, 4);
    fine.mode = 5;  // 4 samples are offered at 32 bits only
    confdlg::FitSelection(*info, fine, {});
    EXPECT_EQ(fine.multiSample, 0);

    auto none = std::make_unique<CONFIG_INFO>();
    none->adapterCount = 200;  // never trusted past the record
    none->adapters[0].modeCount = 5000;
    CONFIG_SELECTION s2 = {12, 7, 0, 0, 1, 24, 0};
    confdlg::FitSelection(*none, s2, {});
    EXPECT_EQ(s2.adapter, 0);

    // Full screen offers only the sizes the display has; a display naming none keeps every mode.
    const CONFIG_DISPLAY_MODE windowOnly = {1024, 768, 32, 0}, real = {1280, 1024, 32, 0};
    EXPECT_FALSE(confdlg::OfferedFullScreen({{1280, 1024}}, windowOnly));
    EXPECT_TRUE(confdlg::OfferedFullScreen({{1280, 1024}}, real));
    EXPECT_TRUE(confdlg::OfferedFullScreen({}, windowOnly));
}

// The default window fits the adapter's desktop as well as 1024 x 768, so that an unattended run on a
// small desktop shows its whole window; a remembered window too large for the desktop becomes that
// default, while full screen keeps its mode.
TEST(SelectionStoreTest, DefaultWindowFitsTheDesktop) {
    ScratchSettings settings;
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    const auto defaultMode = [&](uint32_t width, uint32_t height) {
        return confdlg::DefaultSelection(*info, {{width, height}}).mode;
    };
    EXPECT_EQ(defaultMode(1920, 1080), 2);  // 1024 x 768 at most
    EXPECT_EQ(defaultMode(1024, 768), 2);
    EXPECT_EQ(defaultMode(1023, 768), 4);  // 800 x 600
    EXPECT_EQ(defaultMode(800, 600), 4);
    EXPECT_EQ(defaultMode(640, 480), 6);     // the only size that fits, though not 32-bit
    EXPECT_EQ(defaultMode(320, 200), 6);     // smaller than every size: the smallest
    EXPECT_EQ(defaultMode(0, 0), 2);         // not known: 1024 x 768
    info->adapters[0].modes[6].width = 800;  // 800 x 600 at 15 bits: of one size, the 32-bit mode
    info->adapters[0].modes[6].height = 600;
    EXPECT_EQ(defaultMode(320, 200), 4);
    // Nothing within 1024 x 768 fits a wide, low desktop: a size that fits it rather than the smallest.
    const CONFIG_DISPLAY_MODE wide[] = {{1280, 720, 32, 60}, {1024, 768, 32, 60}};
    std::memcpy(info->adapters[0].modes, wide, sizeof(wide));
    info->adapters[0].modeCount = 2;
    EXPECT_EQ(defaultMode(1366, 720), 0);
    info = MakeInfo();

    const confdlg::DesktopSizes desktops = {{640, 480}, {1920, 1080}};
    CONFIG_SELECTION window = {0, 1, 0, 0, 1, 24, 0};  // 1280 x 1024
    confdlg::FitSelection(*info, window, desktops);
    EXPECT_EQ(window.mode, 6);
    CONFIG_SELECTION large = {1, 1, 0, 0, 1, 24, 0};  // fits the other adapter's desktop
    confdlg::FitSelection(*info, large, desktops);
    EXPECT_EQ(large.mode, 1);
    CONFIG_SELECTION fullScreen = {0, 1, 0, 0, 0, 24, 0};
    confdlg::FitSelection(*info, fullScreen, desktops);
    EXPECT_EQ(fullScreen.mode, 1);

    ASSERT_TRUE(confdlg::SavePrevious(*info, {0, 2, 0, 0, 1, 24, 0}));
    CONFIG_SELECTION back = {};
    ASSERT_TRUE(confdlg::LoadPrevious(*info, back, desktops));
    EXPECT_EQ(back.mode, 6);
    ASSERT_TRUE(confdlg::LoadPrevious(*info, back, {{1024, 768}}));
    EXPECT_EQ(back.mode, 2);
}

// A desktop smaller than every usual window size (600 x 400): the display's list still holds the
// smallest, so that the record, which takes no size below 640 x 480, is not empty; the default and the
// dialog's window list both take it, as a run with VELLACOR_DIALOG=accept does.
TEST(SelectionStoreTest, ADesktopSmallerThanEverySizeTakesTheSmallest) {
    using Sizes = std::vector<std::pair<uint32_t, uint32_t>>;
    const auto listed = [](const Sizes& own, uint32_t width, uint32_t height) {
        std::vector<plat::AdapterMode> modes;
        for (const auto& size : own) modes.push_back({size.first, size.second, 60, plat::Format::Xrgb8888});
        plat::AdapterMode desktop;
        desktop.width = width;
        desktop.height = height;
        plat::AddWindowSizes(modes, desktop);
        Sizes got;
        for (const plat::AdapterMode& m : modes) got.push_back({m.width, m.height});
        return got;
    };
    EXPECT_EQ(listed({{600, 400}}, 600, 400), (Sizes{{600, 400}, {640, 480}}));
    EXPECT_EQ(listed({}, 639, 2000), (Sizes{{640, 480}}));
    EXPECT_EQ(listed({{640, 480}}, 640, 480), (Sizes{{640, 480}}));  // listed once
    EXPECT_EQ(listed({}, 800, 480), (Sizes{{640, 480}}));            // one fits: no other is added

    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    CONFIG_ADAPTER_INFO& adapter = info->adapters[0];
    const CONFIG_DISPLAY_MODE modes[] = {{800, 600, 32, 60}, {640, 480, 16, 60}, {640, 480, 32, 60}};
    std::memcpy(adapter.modes, modes, sizeof(modes));
    adapter.modeCount = 3;
    EXPECT_EQ(confdlg::DefaultSelection(*info, {{600, 400}}).mode, 2);
    EXPECT_EQ(confdlg::OfferedModes(adapter, {}, true, 600, 400), (std::vector<int>{2}));
    EXPECT_EQ(confdlg::OfferedModes(adapter, {}, true, 800, 600), (std::vector<int>{0, 2}));
    adapter.modeCount = 0;  // nothing listed at all stays nothing
    EXPECT_TRUE(confdlg::OfferedModes(adapter, {}, true, 600, 400).empty());
}

// Full screen lists each mode of the sizes the display has; a window each size that fits once,
// largest first, by a 32-bit mode where there is one.
TEST(SelectionStoreTest, ModeListRows) {
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    const CONFIG_ADAPTER_INFO& adapter = info->adapters[0];
    using Rows = std::vector<int>;
    EXPECT_EQ(confdlg::OfferedModes(adapter, {{1280, 1024}, {1024, 768}}, false, 0, 0), (Rows{1, 2, 3, 5}));
    EXPECT_EQ(confdlg::OfferedModes(adapter, {}, false, 0, 0), (Rows{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(confdlg::OfferedModes(adapter, {{1280, 1024}}, true, 1280, 1024), (Rows{1, 2, 4, 6}));
    EXPECT_EQ(confdlg::OfferedModes(adapter, {}, true, 0, 0), (Rows{0, 1, 2, 4, 6}));

    CONFIG_ADAPTER_INFO mixed = {};
    const CONFIG_DISPLAY_MODE modes[] = {{640, 480, 32, 60}, {800, 600, 16, 60},  {1280, 960, 32, 60},
                                         {800, 600, 32, 75}, {1280, 960, 32, 75}, {1280, 1024, 16, 60}};
    std::memcpy(mixed.modes, modes, sizeof(modes));
    mixed.modeCount = 6;
    EXPECT_EQ(confdlg::OfferedModes(mixed, {}, true, 1280, 1024), (Rows{5, 2, 3, 0}));
}

TEST(SelectionStoreTest, UnterminatedNameIsReadWithinItsField) {
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    std::memset(info->adapters[0].name, 'N', sizeof(info->adapters[0].name));
    EXPECT_EQ(confdlg::AdapterName(info->adapters[0]), std::string(64, 'N'));
}

TEST(SelectionStoreTest, RememberedSelectionIsMatchedByValues) {
    ScratchSettings settings;
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    CONFIG_SELECTION chosen = {1, 3, 4, 8, 0, 32, 1};
    ASSERT_TRUE(confdlg::SavePrevious(*info, chosen));
    CONFIG_SELECTION back = {};
    ASSERT_TRUE(confdlg::LoadPrevious(*info, back, {}));
    EXPECT_EQ(std::memcmp(&back, &chosen, sizeof(back)), 0);

    // The adapter's modes changed order since: the same mode is found at its new index.
    std::swap(info->adapters[1].modes[3], info->adapters[1].modes[0]);
    ASSERT_TRUE(confdlg::LoadPrevious(*info, back, {}));
    EXPECT_EQ(back.adapter, 1);
    EXPECT_EQ(back.mode, 0);

    // The adapter is gone: the first one, with the same mode where it has it, the other choices kept.
    std::snprintf(info->adapters[1].name, sizeof(info->adapters[1].name), "Other (2)");
    ASSERT_TRUE(confdlg::LoadPrevious(*info, back, {}));
    EXPECT_EQ((std::vector<int>{back.adapter, back.mode, back.depthBits, back.anisotropy}),
              (std::vector<int>{0, 3, 32, 8}));
}

TEST(SelectionStoreTest, MissingOrDamagedFileGivesDefaults) {
    ScratchSettings settings;
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    CONFIG_SELECTION s = {};
    EXPECT_FALSE(confdlg::LoadPrevious(*info, s, {}));
    EXPECT_EQ(s.mode, 2);
    tvtest::WriteFile(settings.File(), std::string("adapter=Adapter 0 (1)\nmode=garbage\n\x01\xff\n\0x=1\n"));
    EXPECT_FALSE(confdlg::LoadPrevious(*info, s, {}));
    tvtest::WriteFile(settings.File(), "adapter=Adapter 0 (1)\nmode=800x600x32@60\ndepthbits=99\nvsync=x\n");
    ASSERT_TRUE(confdlg::LoadPrevious(*info, s, {}));
    EXPECT_EQ(s.mode, 4);
    EXPECT_EQ(s.depthBits, 24);
}

// Only a regular file of a sane size is read: a FIFO there once held the start-up in open, and a link
// to an endless device read until the memory ran out. A file of another kind counts as none.
TEST(SelectionStoreTest, OnlyARegularFileOfSaneSizeIsRead) {
    ScratchSettings settings;
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    const std::string remembered = "adapter=Adapter 0 (1)\nmode=800x600x32@60\n";
    tvtest::WriteFile(settings.File(), remembered);
    CONFIG_SELECTION s = {};
    ASSERT_TRUE(confdlg::LoadPrevious(*info, s, {}));
    EXPECT_EQ(s.mode, 4);

    ASSERT_EQ(std::remove(settings.File().c_str()), 0);
    ASSERT_EQ(::mkfifo(settings.File().c_str(), 0600), 0);
    EXPECT_FALSE(confdlg::LoadPrevious(*info, s, {})) << "a FIFO without a writer";
    EXPECT_EQ(s.mode, 2);
    ASSERT_EQ(std::remove(settings.File().c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", settings.File().c_str()), 0);
    EXPECT_FALSE(confdlg::LoadPrevious(*info, s, {})) << "a link to an endless device";
    ASSERT_EQ(std::remove(settings.File().c_str()), 0);
    tvtest::WriteFile(settings.File(), remembered + std::string(100000, '#') + "\n");
    EXPECT_FALSE(confdlg::LoadPrevious(*info, s, {})) << "far larger than the module writes";
    ASSERT_EQ(std::remove(settings.File().c_str()), 0);
    ASSERT_EQ(::symlink("elsewhere.conf", settings.File().c_str()), 0);
    tvtest::WriteFile(settings.dir_ / "vellacor/elsewhere.conf", remembered);
    EXPECT_TRUE(confdlg::LoadPrevious(*info, s, {})) << "a link to a regular file is that file";
}

// Saving writes a new file of its own beside the settings and renames it: a FIFO at that name once held
// the dialog's OK, and a link there was written through.
TEST(SelectionStoreTest, SavingWritesAFileOfItsOwn) {
    ScratchSettings settings;
    std::unique_ptr<CONFIG_INFO> info = MakeInfo();
    const CONFIG_SELECTION chosen = {1, 3, 4, 8, 0, 32, 1};
    ASSERT_TRUE(confdlg::SavePrevious(*info, chosen));  // makes the folder
    const std::string temporary = settings.File() + ".new";
    ASSERT_EQ(::mkfifo(temporary.c_str(), 0600), 0);
    EXPECT_TRUE(confdlg::SavePrevious(*info, chosen)) << "a FIFO at the temporary name";
    const std::string victim = settings.dir_ / "victim";
    tvtest::WriteFile(victim, "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), temporary.c_str()), 0);
    EXPECT_TRUE(confdlg::SavePrevious(*info, chosen)) << "a link at the temporary name";
    EXPECT_EQ(tvtest::ReadFile(victim), "keep me");
    struct stat st;
    EXPECT_NE(::lstat(temporary.c_str(), &st), 0) << "nothing left behind";
    CONFIG_SELECTION back = {};
    ASSERT_TRUE(confdlg::LoadPrevious(*info, back, {}));
    EXPECT_EQ(std::memcmp(&back, &chosen, sizeof(back)), 0);
}

// Ctrl+C or a session's SIGTERM while the dialog waits answers it as Cancel does; the handlers found
// before (the program's, which end the show) are back afterwards.
int g_programHandlerCalls = 0;
void ProgramHandler(int) { ++g_programHandlerCalls; }

TEST(SignalCancelTest, SignalsCancelTheDialogAndTheProgramsHandlersComeBack) {
    struct sigaction program = {}, was[2] = {};
    program.sa_handler = &ProgramHandler;
    sigemptyset(&program.sa_mask);
    const int signals[2] = {SIGINT, SIGTERM};
    for (int i = 0; i < 2; ++i) ASSERT_EQ(sigaction(signals[i], &program, &was[i]), 0);
    for (const int signal : signals) {
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        int cancels = 0;
        {
            const confdlg::SignalCancel cancel([&] {
                ++cancels;
                g_main_loop_quit(loop);
            });
            // The dialog's loop stands in: the signal arrives while it waits, and a timeout ends a hang.
            const guint timeout = g_timeout_add(
                5000, [](gpointer l) -> gboolean { return g_main_loop_quit(static_cast<GMainLoop*>(l)), TRUE; }, loop);
            ::raise(signal);
            g_main_loop_run(loop);
            g_source_remove(timeout);
        }
        g_main_loop_unref(loop);
        EXPECT_EQ(cancels, 1) << signal;
        EXPECT_EQ(g_programHandlerCalls, 0) << signal;
        ::raise(signal);
        EXPECT_EQ(g_programHandlerCalls, 1) << "the program's handler is back for " << signal;
        g_programHandlerCalls = 0;
    }
    for (int i = 0; i < 2; ++i) sigaction(signals[i], &was[i], nullptr);
}

// A signal that the program's own handler caught (before the dialog came up, or before its watches were
// in place) reaches the dialog through the program's stop query and cancels it too.
int g_stopAsked = 0;
int StopAsked() { return g_stopAsked; }

TEST(SignalCancelTest, AStopTheProgramCaughtCancelsTheDialog) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    int cancels = 0;
    {
        const confdlg::SignalCancel cancel(
            [&] {
                ++cancels;
                g_main_loop_quit(loop);
            },
            &StopAsked);
        const guint timeout = g_timeout_add(
            5000, [](gpointer l) -> gboolean { return g_main_loop_quit(static_cast<GMainLoop*>(l)), TRUE; }, loop);
        g_stopAsked = 1;
        g_main_loop_run(loop);
        g_source_remove(timeout);
    }
    g_main_loop_unref(loop);
    g_stopAsked = 0;
    EXPECT_GE(cancels, 1);
}

// A signal that the program's starter ignores (`trap '' INT` before the program) stays ignored while
// the dialog shows, with or without the program's stop query; one that it does not ignore still
// cancels. With the query, the program's own handler keeps the signals during the dialog: it is what
// hears a stop there, and what notes a second one.
int g_heardStops = 0;
int HeardStops() { return g_heardStops; }
void NoteStop(int) { ++g_heardStops; }

TEST(SignalCancelTest, AnIgnoredSignalStaysIgnoredAndTheProgramKeepsTheOthers) {
    struct sigaction ignore = {}, program = {}, was[2] = {};
    ignore.sa_handler = SIG_IGN;
    program.sa_handler = &NoteStop;
    sigemptyset(&ignore.sa_mask);
    sigemptyset(&program.sa_mask);
    ASSERT_EQ(sigaction(SIGINT, &ignore, &was[0]), 0);
    ASSERT_EQ(sigaction(SIGTERM, &program, &was[1]), 0);
    for (const bool withQuery : {false, true}) {
        SCOPED_TRACE(withQuery ? "with the stop query" : "without it");
        g_heardStops = 0;
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        int cancels = 0;
        {
            const confdlg::SignalCancel cancel(
                [&] {
                    ++cancels;
                    g_main_loop_quit(loop);
                },
                withQuery ? &HeardStops : nullptr);
            struct sigaction during = {};
            sigaction(SIGINT, nullptr, &during);
            EXPECT_EQ(during.sa_handler, SIG_IGN) << "SIGINT taken over at the dialog";
            sigaction(SIGTERM, nullptr, &during);
            if (withQuery) {
                EXPECT_EQ(during.sa_handler, &NoteStop) << "SIGTERM taken from the program";
            }
            // The dialog's loop, given time to answer a signal it should not hear.
            const guint quiet = g_timeout_add(
                300, [](gpointer l) -> gboolean { return g_main_loop_quit(static_cast<GMainLoop*>(l)), TRUE; }, loop);
            ::raise(SIGINT);
            g_main_loop_run(loop);
            g_source_remove(quiet);
            EXPECT_EQ(cancels, 0) << "an ignored SIGINT cancelled the dialog";
            // SIGTERM, which the starter left alone, cancels it.
            const guint hang = g_timeout_add(
                5000, [](gpointer l) -> gboolean { return g_main_loop_quit(static_cast<GMainLoop*>(l)), TRUE; }, loop);
            ::raise(SIGTERM);
            g_main_loop_run(loop);
            g_source_remove(hang);
        }
        g_main_loop_unref(loop);
        EXPECT_GE(cancels, 1) << "SIGTERM did not cancel";
        EXPECT_EQ(g_heardStops, withQuery ? 1 : 0);
        struct sigaction after = {};
        sigaction(SIGINT, nullptr, &after);
        EXPECT_EQ(after.sa_handler, SIG_IGN);
        sigaction(SIGTERM, nullptr, &after);
        EXPECT_EQ(after.sa_handler, &NoteStop);
    }
    sigaction(SIGINT, &was[0], nullptr);
    sigaction(SIGTERM, &was[1], nullptr);
}

// ---- the module itself, as the program runs it ----

class ConfDlgModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CConfigDialogDX9::SetLibraryName("libconfdlg.so");
        state_ = std::make_shared<plat::FakeGraphicsState>();
        plat::FakeAdapter adapter = plat::MakeFakeAdapter("Scripted adapter");
        adapter.modes[0].clear();
        for (uint32_t w : {1280u, 1024u, 800u, 640u}) {
            adapter.modes[0].push_back({w, w * 3 / 4, 60, plat::Format::Xrgb8888});
        }
        state_->adapters.push_back(adapter);
        system_ = plat::CreateFakeGraphicsSystem(state_);
        dialog_.reset(new CConfigDialogDX9());
        dialog_->direct3D = system_.get();
        dialog_->title = "VELLACOR 06";
    }
    bool Run(const char* unattended, bool usePrevious = false) {
        setenv(confdlg::kUnattendedVariable, unattended, 1);
        return dialog_->Execute(usePrevious);
    }

    tvtest::CapturedLog log_;
    ScratchSettings settings_;
    std::shared_ptr<plat::FakeGraphicsState> state_;
    std::unique_ptr<plat::IGraphicsSystem> system_;
    std::unique_ptr<CConfigDialogDX9> dialog_;
};

TEST_F(ConfDlgModuleTest, AcceptTakesTheDefaults) {
    ASSERT_TRUE(Run("accept"));
    EXPECT_EQ(dialog_->windowedParameters.backBufferWidth, 1024u);
    EXPECT_EQ(dialog_->windowedParameters.autoDepthStencilFormat, plat::Format::Depth24X8);
    EXPECT_FALSE(dialog_->fullScreen);
    EXPECT_NE(log_.Text().find("INFO: Config dialog DLL load successful.\n"), std::string::npos);
    EXPECT_NE(log_.Text().find("Selected display mode: Adapter = #0, Mode = 1, MultiSample = 0, Anisotropy = 0, "
                               "Windowed = 1, DepthBufferBits = 24, VSync = 0"),
              std::string::npos)
        << log_.Text();
}

TEST_F(ConfDlgModuleTest, CancelEndsTheRunQuietly) {
    EXPECT_FALSE(Run("cancel"));
    EXPECT_NE(log_.Text().find("INFO: コンフィグダイアログをキャンセルしました.\n"), std::string::npos);
    EXPECT_EQ(dialog_->adapter, -1);
}

// A typo must not look like a cancel: every field is checked and the failure says which and why.
TEST_F(ConfDlgModuleTest, UnusableUnattendedSelectionsAreFailuresWithTheirReason) {
    state_->adapters[0].caps.maxAnisotropy = 8;
    state_->adapters[0].samples[0][4] = state_->adapters[0].samples[3][4] = true;
    state_->adapters[0].modes[1].clear();
    state_->adapters[0].modes[2].clear();
    const struct {
        const char* value;
        const char* reason;
    } rows[] = {
        {"0,0,0", "is neither \"accept\", \"cancel\" nor seven comma-separated numbers"},
        {"acept", "is neither"},
        {"1,0,0,0,1,24,0", ": adapter 1 does not exist (0 to 0)."},
        {"0,4,0,0,1,24,0", ": mode 4 does not exist (0 to 3)."},
        {"0,-1,0,0,1,24,0", ": mode -1 does not exist"},
        {"0,0,3,0,1,24,0", ": sample count 3 is not offered with mode 0 (0, 4)."},
        {"0,0,1,0,1,24,0", ": sample count 1 is not offered"},
        {"0,0,0,16,1,24,0", ": anisotropy 16 is not offered (0 or a power of two from 2 to 8)."},
        {"0,0,0,3,1,24,0", ": anisotropy 3 is not offered"},
        {"0,0,0,0,2,24,0", ": windowed 2 is neither 0 nor 1."},
        {"0,0,0,0,1,17,0", ": depth bits 17 do not exist (16, 24 or 32)."},
        {"0,0,0,0,1,24,-1", ": vsync -1 is neither 0 nor 1."},
    };
    for (const auto& row : rows) {
        try {
            Run(row.value);
            ADD_FAILURE() << row.value << " was taken";
        } catch (const EInvalidParameter& e) {
            EXPECT_EQ(e.GetMessage().find(std::string("VELLACOR_DIALOG='") + row.value + "'"), 0u) << e.GetMessage();
            EXPECT_NE(e.GetMessage().find(row.reason), std::string::npos) << e.GetMessage();
        }
    }
    EXPECT_EQ(log_.Text().find("キャンセル"), std::string::npos) << log_.Text();
    // The values the dialog offers are taken as given.
    ASSERT_TRUE(Run("0,3,4,8,0,32,1"));
    EXPECT_EQ(dialog_->fullScreenParameters.backBufferWidth, 640u);
    EXPECT_EQ(dialog_->anisotropy, 8u);
}

TEST_F(ConfDlgModuleTest, RememberedSelectionIsUsedAndNeverWrittenUnattended) {
    tvtest::WriteFile(settings_.File(), "adapter=Scripted adapter (1)\nmode=800x600x32@60\nwindowed=0\n");
    ASSERT_TRUE(Run("accept"));
    EXPECT_EQ(dialog_->fullScreenParameters.backBufferWidth, 800u);
    EXPECT_TRUE(dialog_->fullScreen);
    ASSERT_TRUE(Run("0,0,0,0,1,24,0", true)) << "use-previous ignores the variable";
    EXPECT_EQ(dialog_->fullScreenParameters.backBufferWidth, 800u);
    ASSERT_TRUE(Run("0,0,0,0,1,24,0"));
    EXPECT_EQ(tvtest::ReadFile(settings_.File()), "adapter=Scripted adapter (1)\nmode=800x600x32@60\nwindowed=0\n");
}

}  // namespace
}  // namespace trivale
