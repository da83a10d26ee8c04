#include "benchmark/MusicManager.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "core/Exception.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/Sound.h"

using namespace trivale;

CMusicManager::CMusicManager()
    : CMusicManager(Sources{[]() -> IDataLoader* {
                                CGameApplicationDriverDX9* driver = GetApplicationDriver();
                                return driver != nullptr ? driver->GetDataLoader() : nullptr;
                            },
                            []() -> CDXSound* {
                                CGameApplicationDriverDX9* driver = GetApplicationDriver();
                                return driver != nullptr ? driver->GetSound() : nullptr;
                            }}) {}

CMusicManager::CMusicManager(Sources sources) : sources_(std::move(sources)), stream_(plat::kBufferCtrlVolume) {}

CMusicManager::~CMusicManager() = default;

IDataLoader& CMusicManager::Loader() const {
    IDataLoader* loader = sources_.loader ? sources_.loader() : nullptr;
    if (loader == nullptr) throw EInvalidOperation(this, "CMusicManager: no data loader");
    return *loader;
}

void CMusicManager::Play(const std::string& name, bool loop) {
    // Opened before the old track is released, so a name that fails leaves it playing.
    std::shared_ptr<IStream> file = Loader().OpenShared(name);
    // The sound keeps a clone of the file; ours goes when this call ends.
    try {
        stream_.Create(sources_.device ? sources_.device() : nullptr, *file);
    } catch (EIOError& e) {
        // The readers see a stream, not a name: the report names the file.
        NameFileInReport(e, *file, name);
        throw;
    }
    stream_.SetLoop(loop);
    stream_.SetLinearVolume(volume_);
    stream_.Play();
}

void CMusicManager::Stop() { stream_.Stop(); }

void CMusicManager::FadeOut(int milliseconds) {
    // A negative time would wrap to some fifty days as the stream's unsigned duration.
    stream_.FadeOut(static_cast<std::uint32_t>(std::max(milliseconds, 0)));
}

void CMusicManager::SetVolume(int volume) {
    // Kept as given; the sound takes a value outside the scale as the scale's nearer end.
    volume_ = volume;
    stream_.SetLinearVolume(volume_);
}
