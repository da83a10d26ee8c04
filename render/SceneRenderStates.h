// The states a 3D pass starts from. The application installs the setter its own frame uses; until it
// does, the renderer sets the states its drawing relies on itself (the same list).
#pragma once

namespace trivale {
namespace type_a {

using DefaultRenderStatesSetter = void (*)();

// Null brings back the renderer's own.
void SetDefaultRenderStatesSetter(DefaultRenderStatesSetter setter);
// Puts the driver's device into the default states of the 3D pass.
void ApplyDefaultRenderStates();

}  // namespace type_a
}  // namespace trivale
