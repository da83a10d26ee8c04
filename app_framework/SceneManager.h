// The live scenes ordered by priority, driven once per frame-keeper tick. Scenes enter and leave only
// at the end of a pass, so the set never changes while it is being walked.
#pragma once

#include <exception>
#include <list>
#include <set>

#include <memory>

#include "app_framework/FrameTimerListener.h"
#include "app_framework/Scene.h"
#include "core/Object.h"

namespace trivale {

struct SceneOrder {
    bool operator()(const std::shared_ptr<IScene>& a, const std::shared_ptr<IScene>& b) const {
        return a->GetPriority() < b->GetPriority();
    }
};

class CSceneManager : public IFrameTimerListener, public virtual CNonCopyable {
public:
    // Equal priorities keep the order in which the scenes entered.
    typedef std::multiset<std::shared_ptr<IScene>, SceneOrder> SceneSet;

    CSceneManager();
    // Finalises every live scene; a failure is logged, never thrown.
    ~CSceneManager() override;

    // One pass: every live scene's Frame, then the dead ones leave, then the added ones enter.
    void OnFrame(unsigned frames) override;
    // The scene waits until the end of the pass; null is ignored.
    void AddScene(const std::shared_ptr<IScene>& scene);
    // Adopts the scene.
    void AddScene(IScene* scene);
    // Finalises every live scene and drops all scenes, the pending ones untouched.
    void RemoveAll();
    void ResetAll();
    void InitializeAll();
    void FinalizeAll();
    const SceneSet& GetScenes() const { return scenes_; }
    // The live entry holding that very scene; empty when none does (pending scenes are not searched).
    std::shared_ptr<IScene> FindScene(IScene* scene) const;
    void DumpSceneList() const;

private:
    void RemoveDead();
    void InsertPending();
    void Erase(const std::shared_ptr<IScene>& scene);
    void Clear();
    // Finalises every live scene and drops all scenes; the first failure is returned, or, with
    // logFailures, every failure is logged.
    std::exception_ptr FinalizeAndClear(bool logFailures);

    bool inserted_ = false;
    SceneSet scenes_;
    std::list<std::shared_ptr<IScene>> pending_;
};

}  // namespace trivale
