#include <gtest/gtest.h>

#include <functional>
#include <memory>
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
    ~RecordingScene() override { Note("delete"); }
    void Initialize() override { Note("init", onInitialize); }
    void OnDeviceReset() override { Note("reset"); }
    void Frame(unsigned frames) override { Note("frame" + std::to_string(frames), onFrame); }
    void Finalize() override { Note("final", onFinalize); }

    std::function<void()> onInitialize, onFrame, onFinalize;

private:
    void Note(const std::string& what, const std::function<void()>& hook = nullptr) {
        journal_->push_back(name_ + "." + what);
        if (hook) hook();
    }
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
    // The journal of one pass.
    Journal Pass(unsigned frames) {
        journal.clear();
        manager->OnFrame(frames);
        return Take();
    }
    Journal Take() {
        Journal taken;
        taken.swap(journal);
        return taken;
    }
    Journal journal;
    std::unique_ptr<CSceneManager> manager{new CSceneManager()};
};

// A scene added during another's Initialize enters in the same pass; one added during a frame, at
// the end of it (below).
TEST_F(SceneManagerTest, ScenesEnterAtTheEndOfAPassAndRunByPriorityEqualOnesInOrderOfEntry) {
    Add("overlay", 0xFFFF)->onInitialize = [this] { Add("early", 2); };
    Add("a", 0x8000);
    Add("b", 0x8000);
    EXPECT_EQ((Journal{"overlay.init", "overlay.reset", "a.init", "a.reset", "b.init", "b.reset", "early.init",
                       "early.reset"}),
              Pass(3));
    EXPECT_EQ((Journal{"early.frame1", "a.frame1", "b.frame1", "overlay.frame1"}), Pass(5));  // after an entry: 1
    EXPECT_EQ((Journal{"early.frame5", "a.frame5", "b.frame5", "overlay.frame5"}), Pass(5));
    Add("c", 0x8000);
    Pass(1);
    EXPECT_EQ((Journal{"early.frame1", "a.frame1", "b.frame1", "c.frame1", "overlay.frame1"}), Pass(1));
}

// Only the dead one of equal priorities leaves.
TEST_F(SceneManagerTest, KilledScenesAreFinalisedAtTheEndOfThePassBeforeNewOnesEnter) {
    RecordingScene* a = Add("a", 1);
    RecordingScene* b = Add("b", 1);
    RecordingScene* c = Add("c", 3);
    Pass(1);
    a->onFrame = [this, b] {
        b->Kill();  // later in the walk: skipped
        Add("d", 0);
    };
    b->onFinalize = [c] { c->Kill(); };  // killed by another's Finalize: gone in the same pass
    EXPECT_EQ((Journal{"a.frame1", "c.frame1", "b.final", "b.delete", "c.final", "c.delete", "d.init", "d.reset"}),
              Pass(1));
    a->onFrame = [a] { a->Kill(); };
    EXPECT_EQ((Journal{"d.frame1", "a.frame1", "a.final", "a.delete"}), Pass(1));
    EXPECT_EQ((Journal{"d.frame1"}), Pass(1));
}

TEST_F(SceneManagerTest, FindSceneAndSharedOwnership) {
    RecordingScene* a = Add("a", 0x8000);
    std::shared_ptr<IScene> shared(new trivale::CStandardScene(0xFFFF));
    manager->AddScene(shared);
    manager->AddScene(std::shared_ptr<IScene>());  // ignored
    EXPECT_FALSE(manager->FindScene(a));           // pending scenes are not searched
    Pass(1);
    EXPECT_EQ(2u, manager->GetScenes().size());
    EXPECT_EQ(a, manager->FindScene(a).get());
    RecordingScene other(&journal, "other", 1);
    EXPECT_FALSE(manager->FindScene(&other));
    shared->Kill();
    EXPECT_EQ((Journal{"a.frame1"}), Pass(1));
    EXPECT_EQ(1, shared.use_count());
}

TEST_F(SceneManagerTest, WholeSetOperations) {
    Add("b", 2);
    RecordingScene* dead = Add("a", 1);
    Pass(1);
    manager->ResetAll();
    EXPECT_EQ((Journal{"a.reset", "b.reset"}), Take());
    // RemoveAll finalises every live scene, dead or not, and releases pending ones untouched.
    dead->SetAlive(false);
    Add("pending", 3);
    manager->RemoveAll();
    EXPECT_EQ((Journal{"a.final", "b.final", "a.delete", "b.delete", "pending.delete"}), Take());
    EXPECT_TRUE(manager->GetScenes().empty());
}

// ---- failures ----

// Regression: a scene whose Finalize threw stayed in the set and was finalised again later.
TEST_F(SceneManagerTest, AFinalizeThatThrowsStillRemovesTheSceneAndNeverFinalisesItTwice) {
    RecordingScene* a = Add("a", 1);
    RecordingScene* b = Add("b", 2);
    Pass(1);
    a->onFinalize = [] { throw trivale::EInvalidOperation("finalize failed"); };
    a->Kill();
    b->Kill();
    Add("pending", 3);
    EXPECT_THROW(manager->OnFrame(1), trivale::EInvalidOperation);
    EXPECT_EQ((Journal{"a.final", "a.delete", "b.final", "b.delete"}), Take());
    EXPECT_TRUE(manager->GetScenes().empty());
    EXPECT_EQ((Journal{"pending.init", "pending.reset"}), Pass(1));  // the pending scene waited
    manager->RemoveAll();
    EXPECT_EQ((Journal{"pending.final", "pending.delete"}), Take());
}

TEST_F(SceneManagerTest, AFrameOrInitializeThatThrowsLeavesTheOthersInPlace) {
    RecordingScene* a = Add("a", 1);
    Add("b", 2);
    a->onInitialize = [] { throw trivale::EException("initialize failed"); };
    EXPECT_THROW(manager->OnFrame(1), trivale::EException);
    EXPECT_EQ((Journal{"a.init"}), Take());
    EXPECT_EQ(1u, manager->GetScenes().size());
    EXPECT_EQ((Journal{"a.frame1", "b.init", "b.reset"}), Pass(1));  // b enters now; a is live
    a->onFrame = [] { throw std::runtime_error("frame failed"); };
    EXPECT_THROW(manager->OnFrame(1), std::runtime_error);
    a->onFrame = nullptr;
    EXPECT_EQ((Journal{"a.frame2", "b.frame2"}), Pass(2));
}

TEST_F(SceneManagerTest, RemoveAllRethrowsTheFirstFailureAndTheDestructorLogsThemAll) {
    for (bool destructor : {false, true}) {
        manager.reset(new CSceneManager());
        RecordingScene* a = Add("a", 1);
        RecordingScene* b = Add("b", 2);
        Pass(1);
        a->onFinalize = [] { throw trivale::EException("first"); };
        b->onFinalize = [] { throw trivale::EIOError("second"); };
        fwtest::CapturedLog log;
        if (destructor) {
            EXPECT_NO_THROW(manager.reset());
            EXPECT_EQ(1, log.Count("first"));
            EXPECT_EQ(1, log.Count("EIOError"));
        } else {
            try {
                manager->RemoveAll();
                ADD_FAILURE() << "no exception";
            } catch (const trivale::EException& e) {
                EXPECT_EQ("first", e.GetMessage());
            }
        }
        EXPECT_EQ((Journal{"a.final", "b.final", "a.delete", "b.delete"}), Take());
    }
}

}  // namespace
