// Where the renderer finds the graphics device and the data: asked of the application driver at the
// moment of use, never kept, so a device made again after a failure is the one drawn on.
#pragma once

#include "core/DataLoader.h"
#include "devices/DXGraphics.h"
#include "platform/Graphics.h"

namespace trivale {
namespace type_a {

// The driver's graphics object; EInvalidOperation when there is no driver or no graphics object.
CDXGraphics& CurrentGraphics();
// The driver's device; EInvalidOperation when there is none (before Initialize, after Finalize).
plat::IGraphicsDevice& CurrentDevice();
// The same, null instead of an error: for destructors and device-event handlers.
plat::IGraphicsDevice* CurrentDeviceOrNull();
// The driver's data loader; EInvalidOperation when there is none.
IDataLoader& CurrentDataLoader();

}  // namespace type_a
}  // namespace trivale
