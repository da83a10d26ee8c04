// What the renderers drew in the current pass of the scene manager; the overlay reads the counters for
// its debug line and sets them back to 0 once per pass.
#pragma once

#include <cstdint>

namespace trivale {
namespace type_a {

extern std::uint32_t DrawnTriangleCount;  // triangles handed to the device
extern std::uint32_t DrawnItemCount;      // scene items drawn
extern std::uint32_t TestedItemCount;     // scene items that reached the visibility test

}  // namespace type_a
}  // namespace trivale
