#include "app_framework/SceneManager.h"

#include <exception>
#include <vector>

#include "core/Exception.h"
#include "core/Log.h"

namespace trivale {

namespace {

typedef std::vector<std::shared_ptr<IScene>> SceneList;

}  // namespace

CSceneManager::CSceneManager() {}

CSceneManager::~CSceneManager() {
    // Every failure is logged here; nothing may leave a destructor.
    FinalizeAndClear(true);
}

void CSceneManager::OnFrame(unsigned frames) {
    if (inserted_) {
        inserted_ = false;
        frames = 1;
    }
    {
        // Walk a copy: a scene may reach the manager from its Frame.
        const SceneList scenes(scenes_.begin(), scenes_.end());
        for (const std::shared_ptr<IScene>& scene : scenes) {
            if (scene->IsAlive()) scene->Frame(frames);
        }
    }
    RemoveDead();
    InsertPending();
}

void CSceneManager::RemoveDead() {
    std::exception_ptr failure;
    for (;;) {
        SceneList dead;
        for (const std::shared_ptr<IScene>& scene : scenes_) {
            if (!scene->IsAlive()) dead.push_back(scene);
        }
        if (dead.empty()) break;
        for (std::shared_ptr<IScene>& entry : dead) {
            std::shared_ptr<IScene> scene;
            scene.swap(entry);
            // A scene whose Finalize fails leaves all the same: it must never be finalised twice.
            try {
                scene->Finalize();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
            Erase(scene);
            scene.reset();  // a scene held nowhere else goes here
        }
    }
    if (failure) std::rethrow_exception(failure);
}

void CSceneManager::InsertPending() {
    while (!pending_.empty()) {
        std::list<std::shared_ptr<IScene>> batch;
        batch.swap(pending_);
        while (!batch.empty()) {
            std::shared_ptr<IScene> scene = batch.front();
            batch.pop_front();
            scenes_.insert(scene);
            inserted_ = true;
            try {
                scene->Initialize();
                scene->OnDeviceReset();
            } catch (...) {
                // The scenes not yet entered wait for the next pass, ahead of any added since.
                pending_.splice(pending_.begin(), batch);
                throw;
            }
        }
    }
}

void CSceneManager::Clear() {
    // In set order, so that scenes held nowhere else go in the order they ran.
    while (!scenes_.empty()) scenes_.erase(scenes_.begin());
    pending_.clear();
}

void CSceneManager::Erase(const std::shared_ptr<IScene>& scene) {
    for (SceneSet::iterator it = scenes_.begin(); it != scenes_.end(); ++it) {
        if (it->get() == scene.get()) {
            scenes_.erase(it);
            return;
        }
    }
}

void CSceneManager::AddScene(const std::shared_ptr<IScene>& scene) {
    if (scene) pending_.push_back(scene);
}

void CSceneManager::AddScene(IScene* scene) {
    if (scene != nullptr) pending_.push_back(std::shared_ptr<IScene>(scene));
}

void CSceneManager::RemoveAll() {
    const std::exception_ptr failure = FinalizeAndClear(false);
    if (failure) std::rethrow_exception(failure);
}

std::exception_ptr CSceneManager::FinalizeAndClear(bool logFailures) {
    // Every live scene gets its Finalize even when an earlier one fails.
    std::exception_ptr failure;
    SceneList scenes(scenes_.begin(), scenes_.end());
    for (const std::shared_ptr<IScene>& scene : scenes) {
        try {
            scene->Finalize();
        } catch (...) {
            if (logFailures) {
                LogCurrentException();
            } else if (!failure) {
                failure = std::current_exception();
            }
        }
    }
    scenes.clear();
    Clear();
    return failure;
}

void CSceneManager::ResetAll() {
    const SceneList scenes(scenes_.begin(), scenes_.end());
    for (const std::shared_ptr<IScene>& scene : scenes) scene->OnDeviceReset();
}

void CSceneManager::InitializeAll() {
    const SceneList scenes(scenes_.begin(), scenes_.end());
    for (const std::shared_ptr<IScene>& scene : scenes) scene->Initialize();
}

void CSceneManager::FinalizeAll() {
    const SceneList scenes(scenes_.begin(), scenes_.end());
    for (const std::shared_ptr<IScene>& scene : scenes) scene->Finalize();
}

std::shared_ptr<IScene> CSceneManager::FindScene(IScene* scene) const {
    for (const std::shared_ptr<IScene>& live : scenes_) {
        if (live.get() == scene) return live;
    }
    return std::shared_ptr<IScene>();
}

void CSceneManager::DumpSceneList() const {
    LogInfo("< Scene list dump >");
    for (const std::shared_ptr<IScene>& scene : scenes_) {
        LogInfo("\t%04X: %s", static_cast<unsigned>(scene->GetPriority()), GetClassName(*scene).c_str());
    }
    LogInfo("\t.");
}

}  // namespace trivale
