// What the renderers drew this frame, counted process-wide; the overlay reads the counts and sets them
// back to 0 once per frame.
#pragma once

#include <cstdint>

namespace trivale {
namespace type_a {

extern std::uint32_t DrawnTriangleCount;  // triangles of every polygon set drawn
extern std::uint32_t DrawnItemCount;      // scene items drawn
extern std::uint32_t TestedItemCount;     // scene items that reached the visibility test

}  // namespace type_a
}  // namespace trivale
