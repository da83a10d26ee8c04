#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app_framework/SceneManager.h"
#include "app_framework/StandardScene.h"
#include "core/Exception.h"

using trivale::CSceneManager;
using trivale::IScene;

namespace {

typedef std::vector<std::string> Journal;

// A scene that writes every call into a shared journal and runs optional hooks.
class RecordingScene : public trivale::CStandardScene {
public:
    RecordingScene(Journal* journal, const std::string& name, std::uint16_t priority)
        : CStandardScene(priority), journal_(journal), name_(name) {}
    ~RecordingScene() override { journal_->push_back(name_ + ".delete"); }

    void Initialize() override {
        journal_->push_back(name_ + ".init");
        if (onInitialize) onInitialize();
    }
    void OnDeviceReset() override { journal_->push_back(name_ + ".reset"); }
    void Frame(unsigned frames) override {
        journal_->push_back(name_ + ".frame" + std::to_string(frames));
        if (onFrame) onFrame();
    }
    void Finalize() override {
        journal_->push_back(name_ + ".final");
        if (onFinalize) onFinalize();
    }

    std::function<void()> onInitialize, onFrame, onFinalize;

private:
    Journal* journal_;
    std::string name_;
};

class SceneManagerTest : public ::testing::Test {
protected:
    RecordingScene* Add(const std::string& name, std::uint16_t priority) {
        RecordingScene* scene = new RecordingScene(&journal, name, priority);
        manager->AddScene(scene);
        return scene;
    }
    // The journal since the last call.
    Journal Take() {
        Journal taken;
        taken.swap(journal);
        return taken;
    }
    Journal journal;
    std::unique_ptr<CSceneManager> manager{new CSceneManager()};
};

TEST_F(SceneManagerTest, ScenesEnterAtTheEndOfAPassAndRunByPriority) {
    Add("overlay", 0xFFFF);
    Add("play", 0x8000);
    Add("fade", 0xE000);
    manager->OnFrame(3);
    EXPECT_EQ((Journal{"overlay.init", "overlay.reset", "play.init", "play.reset", "fade.init", "fade.reset"}),
              Take());
    manager->OnFrame(3);  // the pass after an insertion advances one frame
    EXPECT_EQ((Journal{"play.frame1", "fade.frame1", "overlay.frame1"}), Take());
    manager->OnFrame(5);
    EXPECT_EQ((Journal{"play.frame5", "fade.frame5", "overlay.frame5"}), Take());
}

TEST_F(SceneManagerTest, EqualPrioritiesRunInTheOrderTheyEntered) {
    Add("a", 0x8000);
    Add("b", 0x8000);
    manager->OnFrame(1);
    Add("c", 0x8000);
    Add("low", 0x10);
    manager->OnFrame(1);
    Take();
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"low.frame1", "a.frame1", "b.frame1", "c.frame1"}), Take());
}

TEST_F(SceneManagerTest, ASceneAddedDuringInitializeEntersInTheSamePass) {
    RecordingScene* first = Add("first", 1);
    first->onInitialize = [this] { Add("second", 2); };
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"first.init", "first.reset", "second.init", "second.reset"}), Take());
    EXPECT_EQ(2u, manager->GetScenes().size());
}

TEST_F(SceneManagerTest, ASceneAddedDuringAFrameRunsFromTheNextPassWithOneFrame) {
    RecordingScene* host = Add("host", 1);
    manager->OnFrame(1);
    manager->OnFrame(1);
    bool added = false;
    host->onFrame = [&] {
        if (!added) Add("guest", 2);
        added = true;
    };
    Take();
    manager->OnFrame(4);
    EXPECT_EQ((Journal{"host.frame4", "guest.init", "guest.reset"}), Take());
    manager->OnFrame(4);
    EXPECT_EQ((Journal{"host.frame1", "guest.frame1"}), Take());
}

TEST_F(SceneManagerTest, ASceneThatKillsItselfIsFinalisedInTheSamePassAndDestroyed) {
    RecordingScene* a = Add("a", 1);
    Add("b", 2);
    manager->OnFrame(1);
    a->onFrame = [a] { a->Kill(); };
    Take();
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"a.frame1", "b.frame1", "a.final", "a.delete"}), Take());
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"b.frame1"}), Take());
}

TEST_F(SceneManagerTest, AKilledSceneLaterInTheWalkIsSkipped) {
    RecordingScene* a = Add("a", 1);
    RecordingScene* b = Add("b", 2);
    manager->OnFrame(1);
    a->onFrame = [b] { b->Kill(); };
    Take();
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"a.frame1", "b.final", "b.delete"}), Take());
}

TEST_F(SceneManagerTest, ASceneKilledByAnothersFinalizeLeavesInTheSamePass) {
    RecordingScene* a = Add("a", 1);
    RecordingScene* b = Add("b", 2);
    manager->OnFrame(1);
    a->onFinalize = [b] { b->Kill(); };
    a->Kill();
    Take();
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"b.frame1", "a.final", "a.delete", "b.final", "b.delete"}), Take());
    EXPECT_TRUE(manager->GetScenes().empty());
}

TEST_F(SceneManagerTest, DeadScenesLeaveBeforePendingScenesEnter) {
    RecordingScene* a = Add("a", 1);
    manager->OnFrame(1);
    a->onFrame = [this, a] {
        a->Kill();
        Add("b", 1);
    };
    Take();
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"a.frame1", "a.final", "a.delete", "b.init", "b.reset"}), Take());
}

TEST_F(SceneManagerTest, OnlyTheDeadOneOfEqualPrioritiesLeaves) {
    RecordingScene* a = Add("a", 7);
    RecordingScene* b = Add("b", 7);
    manager->OnFrame(1);
    b->Kill();
    manager->OnFrame(1);
    ASSERT_EQ(1u, manager->GetScenes().size());
    EXPECT_EQ(a, manager->GetScenes().begin()->get());
}

TEST_F(SceneManagerTest, FindSceneSeesLiveScenesOnly) {
    RecordingScene* a = Add("a", 1);
    EXPECT_FALSE(manager->FindScene(a));
    manager->OnFrame(1);
    EXPECT_EQ(a, manager->FindScene(a).get());
    RecordingScene other(&journal, "other", 1);
    EXPECT_FALSE(manager->FindScene(&other));
}

TEST_F(SceneManagerTest, SharedScenesOutliveTheManagersReference) {
    boost::shared_ptr<IScene> shared(new RecordingScene(&journal, "s", 1));
    manager->AddScene(shared);
    manager->AddScene(boost::shared_ptr<IScene>());  // ignored
    manager->OnFrame(1);
    EXPECT_EQ(1u, manager->GetScenes().size());
    shared->Kill();
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"s.init", "s.reset", "s.final"}), Take());
    EXPECT_EQ(1, shared.use_count());
}

TEST_F(SceneManagerTest, RemoveAllFinalisesLiveScenesAndReleasesPendingOnesUntouched) {
    RecordingScene* dead = Add("dead", 2);
    Add("live", 1);
    manager->OnFrame(1);
    dead->SetAlive(false);
    Add("pending", 3);
    Take();
    manager->RemoveAll();
    EXPECT_EQ((Journal{"live.final", "dead.final", "live.delete", "dead.delete", "pending.delete"}), Take());
    EXPECT_TRUE(manager->GetScenes().empty());
}

TEST_F(SceneManagerTest, ResetInitializeAndFinalizeAllWalkTheLiveSet) {
    Add("b", 2);
    Add("a", 1);
    manager->OnFrame(1);
    Take();
    manager->ResetAll();
    manager->InitializeAll();
    manager->FinalizeAll();
    EXPECT_EQ((Journal{"a.reset", "b.reset", "a.init", "b.init", "a.final", "b.final"}), Take());
    EXPECT_EQ(2u, manager->GetScenes().size());
}

TEST_F(SceneManagerTest, DumpSceneListNamesEachLiveScene) {
    {
        fwtest::CapturedLog log;
        manager->DumpSceneList();
        EXPECT_EQ((std::vector<std::string>{"INFO: < Scene list dump >", "INFO: \t."}), log.Lines());
    }
    Add("a", 0x8000);
    manager->AddScene(new trivale::CStandardScene(0xFFFF));
    manager->OnFrame(1);
    fwtest::CapturedLog log;
    manager->DumpSceneList();
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_NE(std::string::npos, lines[1].find("\t8000: "));
    EXPECT_NE(std::string::npos, lines[1].find("RecordingScene"));
    EXPECT_EQ("INFO: \tFFFF: trivale::CStandardScene", lines[2]);
}

TEST_F(SceneManagerTest, TheDestructorFinalisesEveryLiveScene) {
    Add("a", 1);
    Add("b", 2);
    manager->OnFrame(1);
    Take();
    manager.reset();
    EXPECT_EQ((Journal{"a.final", "b.final", "a.delete", "b.delete"}), Take());
}

// ---- failures ----

TEST_F(SceneManagerTest, AFinalizeThatThrowsStillRemovesTheSceneAndNeverFinalisesItTwice) {
    RecordingScene* a = Add("a", 1);
    RecordingScene* b = Add("b", 2);
    manager->OnFrame(1);
    a->onFinalize = [] { throw trivale::EInvalidOperation("finalize failed"); };
    a->Kill();
    b->Kill();
    Take();
    EXPECT_THROW(manager->OnFrame(1), trivale::EInvalidOperation);
    EXPECT_EQ((Journal{"a.final", "a.delete", "b.final", "b.delete"}), Take());
    EXPECT_TRUE(manager->GetScenes().empty());
    manager->RemoveAll();
    EXPECT_TRUE(Take().empty());
}

TEST_F(SceneManagerTest, PendingScenesWaitWhenTheRemovalFails) {
    RecordingScene* a = Add("a", 1);
    manager->OnFrame(1);
    a->onFinalize = [] { throw std::runtime_error("finalize failed"); };
    a->Kill();
    Add("b", 2);
    Take();
    EXPECT_THROW(manager->OnFrame(1), std::runtime_error);
    EXPECT_EQ((Journal{"a.final", "a.delete"}), Take());
    manager->OnFrame(1);
    EXPECT_EQ((Journal{"b.init", "b.reset"}), Take());
}

TEST_F(SceneManagerTest, AFrameThatThrowsLeavesTheSetIntact) {
    RecordingScene* a = Add("a", 1);
    Add("b", 2);
    manager->OnFrame(1);
    bool fail = true;
    a->onFrame = [&fail] {
        if (fail) throw trivale::EException("frame failed");
    };
    Take();
    EXPECT_THROW(manager->OnFrame(1), trivale::EException);
    EXPECT_EQ((Journal{"a.frame1"}), Take());
    fail = false;
    manager->OnFrame(2);
    EXPECT_EQ((Journal{"a.frame2", "b.frame2"}), Take());
}

TEST_F(SceneManagerTest, AnInitializeThatThrowsKeepsTheScenesNotYetEntered) {
    RecordingScene* a = Add("a", 1);
    Add("b", 2);
    a->onInitialize = [] { throw trivale::EException("initialize failed"); };
    EXPECT_THROW(manager->OnFrame(1), trivale::EException);
    EXPECT_EQ((Journal{"a.init"}), Take());
    EXPECT_EQ(1u, manager->GetScenes().size());
    manager->OnFrame(1);  // b enters now; a runs (it is live) with one frame
    EXPECT_EQ((Journal{"a.frame1", "b.init", "b.reset"}), Take());
}

TEST_F(SceneManagerTest, RemoveAllFinalisesEveryoneAndRethrowsTheFirstFailure) {
    RecordingScene* a = Add("a", 1);
    RecordingScene* b = Add("b", 2);
    manager->OnFrame(1);
    a->onFinalize = [] { throw trivale::EException("first"); };
    b->onFinalize = [] { throw trivale::EException("second"); };
    Take();
    try {
        manager->RemoveAll();
        ADD_FAILURE() << "no exception";
    } catch (const trivale::EException& e) {
        EXPECT_EQ("first", e.GetMessage());
    }
    EXPECT_EQ((Journal{"a.final", "b.final", "a.delete", "b.delete"}), Take());
    EXPECT_TRUE(manager->GetScenes().empty());
}

TEST_F(SceneManagerTest, TheDestructorLogsFailuresAndThrowsNothing) {
    RecordingScene* a = Add("a", 1);
    Add("b", 2);
    manager->OnFrame(1);
    a->onFinalize = [] { throw trivale::EIOError("finalize failed"); };
    Take();
    fwtest::CapturedLog log;
    EXPECT_NO_THROW(manager.reset());
    EXPECT_EQ((Journal{"a.final", "b.final", "a.delete", "b.delete"}), Take());
    EXPECT_NE(std::string::npos, log.Text().find("finalize failed"));
    EXPECT_NE(std::string::npos, log.Text().find("EIOError"));
}

}  // namespace
