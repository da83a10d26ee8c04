// Helpers of the object database tests: an owned object, and layers of points built in one call.
#pragma once

#include "lightwave/LwObject.h"

#include <memory>
#include <vector>

namespace lwtest {

struct ObjectDeleter {
    void operator()(LwObject* o) const { DestroyLwObject(&o); }
};
using ObjectPtr = std::unique_ptr<LwObject, ObjectDeleter>;

inline ObjectPtr NewObject() { return ObjectPtr(CreateLwObject(0)); }

// A layer holding the given points, current, with FACE selected.
inline LwLayer* AddLayerWithPoints(LwObject* o, const std::vector<std::vector<double>>& points,
                                   const char* name = nullptr) {
    LwLayer* layer = o->Op.AddLayer(o, name);
    for (const std::vector<double>& p : points) o->Op.AddPoint(o, p.data());
    o->Op.SetPolygonType(o, LW_ID_FACE);
    return layer;
}

inline int32_t AddPolygon(LwObject* o, std::vector<int32_t> points, const char* surface = nullptr) {
    return o->Op.AddPolygon(o, (int32_t)points.size(), points.data(), surface);
}

}  // namespace lwtest
