// The grounds of the show's scenes as height fields (y at x, z). The scene texts set their trees,
// cabins and cameras on these heights, and the terrain meshes sample them.
#pragma once

namespace trivale {
namespace dataset {

double ValleyHeight(double x, double z);  // a flat valley floor rising to rolling hills
double RidgeHeight(double x, double z);   // a ridge along x between two hollows
double LakeHeight(double x, double z);    // a lake bed below the ice (y 0) and its wooded shore

}  // namespace dataset
}  // namespace trivale
