#include "render/RenderDevice.h"

#include "devices/GameApplicationDriverDX9.h"

namespace trivale {
namespace type_a {

CDXGraphics& CurrentGraphics() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    if (driver == nullptr || driver->GetGraphics() == nullptr) {
        throw EInvalidOperation(nullptr, "描画に使うグラフィックスがありません.");
    }
    return *driver->GetGraphics();
}

plat::IGraphicsDevice& CurrentDevice() {
    plat::IGraphicsDevice* device = CurrentGraphics().GetDevice();
    if (device == nullptr) throw EInvalidOperation(nullptr, "描画に使うデバイスがありません.");
    return *device;
}

plat::IGraphicsDevice* CurrentDeviceOrNull() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    if (driver == nullptr || driver->GetGraphics() == nullptr) return nullptr;
    return driver->GetGraphics()->GetDevice();
}

IDataLoader& CurrentDataLoader() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    if (driver == nullptr || driver->GetDataLoader() == nullptr) {
        throw EInvalidOperation(nullptr, "データローダがありません.");
    }
    return *driver->GetDataLoader();
}

}  // namespace type_a
}  // namespace trivale
