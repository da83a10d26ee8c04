// The LightWave scene loader, and motion and envelope evaluation at a few times over what it loaded.
#include <cstring>

#include "FuzzSupport.h"
#include "lightwave/scene/LwScene.h"

namespace {

// Keys chain both ways, as many as counted.
void CheckEnvelopes(LwEnvelope* envelope, LwScene* scene, int limit) {
    for (; envelope && limit > 0; envelope = envelope->Next, --limit) {
        int32_t keys = 0;
        LwEnvelopeKey* previous = nullptr;
        for (LwEnvelopeKey* k = envelope->FirstKey; k; previous = k, k = k->Next) {
            FUZZ_CHECK(k->Prev == previous);
            FUZZ_CHECK(++keys <= envelope->KeyCount);
        }
        FUZZ_CHECK(keys == envelope->KeyCount && previous == envelope->LastKey);
        double out = 0;
        for (double t : {-1.5, 0.0, 0.37, 2.0, 1e6}) scene->Op.EvaluateEnvelope(scene, envelope, t, &out);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    // Objects are never loaded: they would be read from disk.
    const std::uint32_t flags = in.Byte() & LW_SCENE_MOTION_TO_CHANNELS;
    const std::string text = in.Rest();
    LwScene* scene = LoadLwScene(text.data(), static_cast<std::uint32_t>(text.size()), flags, nullptr);
    FUZZ_CHECK(scene != nullptr);
    if (scene->ErrorCode == LW_ERR_NONE) {
        // Every item takes a line of its own.
        int32_t items = 0, byType[5] = {0, 0, 0, 0, 0};
        for (LwSceneItem* item = scene->FirstItem; item; item = item->Next) {
            FUZZ_CHECK(++items <= static_cast<int32_t>(text.size()));
            FUZZ_CHECK(item->Type >= LW_ITEM_UNKNOWN && item->Type <= LW_ITEM_BONE);
            ++byType[item->Type];
            FUZZ_CHECK(std::memchr(item->Name, '\0', sizeof item->Name) != nullptr);
            FUZZ_CHECK(scene->Op.GetItemByIndex(scene, item->Index) != nullptr);
            LwSceneItem* parent = scene->Op.GetParentItem(scene, item);
            FUZZ_CHECK(parent == nullptr || scene->Op.GetItemByIndex(scene, parent->Index) == parent);
            FUZZ_CHECK(std::strlen(scene->Op.GetItemDisplayName(scene, item)) < sizeof scene->DisplayName);
            if (item->Motion) FUZZ_CHECK(item->Motion->KeyCount >= 0);
            CheckEnvelopes(item->ChannelList, scene, 64);
            double out[3];
            for (double t : {-1.0, 0.0, 0.5, 3.25, 1e4}) {
                for (int32_t group : {LW_MOTION_POSITION, LW_MOTION_ROTATION, LW_MOTION_SCALE, LW_MOTION_PIVOT_POSITION,
                                      LW_MOTION_PIVOT_ROTATION})
                    scene->Op.EvaluateMotion(scene, item, group, t, out);
                if (item->Motion)
                    scene->Op.EvaluateKeyframeMotion(scene, item->Motion, LW_MOTION_POSITION, t * 30, out);
            }
        }
        FUZZ_CHECK(items == scene->NumItems);
        for (int32_t type = 0; type <= LW_ITEM_BONE; ++type)
            FUZZ_CHECK(scene->Op.CountItems(scene, type, nullptr) == byType[type]);
    }
    FreeLwScene(&scene);
    FUZZ_CHECK(scene == nullptr);
    return 0;
}
