#include "render/FrameCounters.h"

namespace trivale {
namespace type_a {

std::uint32_t DrawnTriangleCount = 0;
std::uint32_t DrawnItemCount = 0;
std::uint32_t TestedItemCount = 0;

}  // namespace type_a
}  // namespace trivale
