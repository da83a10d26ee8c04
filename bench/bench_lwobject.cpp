// Object library speed: loading a 100,000-polygon LWO2 object made here with the library's writer
// (a grid of quadrilaterals with every eighth cell a pentagon, four surfaces each with a planar colour
// image, a UV map and an RGB colour map over every point), and each load pass on its own, in the
// loader's order: the read, texture coordinates, vertex normals, vertex colours, triangulation,
// polygon sort and edge table. Each is printed against a plain implementation of the same work over
// flat arrays in the same run (a decoder of the same file, a planar projection per corner, averaged
// face normals per point, a colour per corner from the map, a fan cut, a key sort, a hashed edge
// build).
#include "lightwave/object/LwObject.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kColumns = 400, kRows = 250;  // 100,000 cells, one polygon each

// Big-endian pieces of chunk bodies.
struct Be : std::vector<uint8_t> {
    Be& Text(const char* s, size_t n) {
        insert(end(), s, s + n);
        return *this;
    }
    Be& U2(uint16_t v) { return push_back((uint8_t)(v >> 8)), push_back((uint8_t)v), *this; }
    Be& F4(float f) {
        uint32_t bits;
        memcpy(&bits, &f, 4);
        return U2((uint16_t)(bits >> 16)).U2((uint16_t)bits);
    }
};

// White, coloured by the "paint" map, with a planar colour image along z over the grid (clip 1).
std::vector<uint8_t> TexturedSurface() {
    Be b;
    b.Text("COLR", 4).U2(14).F4(1).F4(1).F4(1).U2(0);
    b.Text("VCOL", 4).U2(16).F4(1).U2(0).Text("RGB ", 4).Text("paint\0", 6);
    b.Text("BLOK", 4).U2(88);
    b.Text("IMAP", 4).U2(12).Text("\x80\0", 2).Text("CHAN", 4).U2(4).Text("COLR", 4);
    b.Text("TMAP", 4).U2(40);
    b.Text("CNTR", 4).U2(14).F4(kColumns / 2.0f).F4(kRows / 2.0f).F4(0).U2(0);
    b.Text("SIZE", 4).U2(14).F4(kColumns).F4(kRows).F4(1).U2(0);
    b.Text("PROJ", 4).U2(2).U2(0).Text("AXIS", 4).U2(2).U2(2).Text("IMAG", 4).U2(2).U2(1);
    return b;
}

const std::string& ObjectPath() {
    static const std::string path = [] {
        std::string p =
            (std::filesystem::temp_directory_path() / ("bench_lwobject_" + std::to_string(getpid()) + ".lwo")).string();
        LwObject* o = CreateLwObject(0);
        o->Op.AddLayer(o, "grid");
        for (int y = 0; y <= kRows; ++y)
            for (int x = 0; x <= kColumns; ++x) {
                const double xyz[3] = {(double)x, (double)y, 0.01 * ((x * 7 + y * 3) % 5)};
                o->Op.AddPoint(o, xyz);
            }
        const char* surfaces[4] = {"Stone", "Grass", "Water", "Sand"};
        const std::vector<uint8_t> body = TexturedSurface();
        for (const char* s : surfaces) {
            o->Op.AddSurface(o, s);
            o->Op.SetSurfaceData(o, s, (int32_t)body.size(), body.data());
        }
        const std::vector<uint8_t> clip = Be().Text("STIL", 4).U2(10).Text("grid.tga\0\0", 10);
        o->Op.SetClipData(o, o->Op.AddClip(o, 1), (int32_t)clip.size(), clip.data());
        const int32_t rgb = o->Op.AddVmap(o, LwMakeId('R', 'G', 'B', ' '), "paint", 3);
        const int32_t uv = o->Op.AddVmap(o, LwMakeId('T', 'X', 'U', 'V'), "uv", 2);
        for (int32_t i = 0; i < o->Op.GetPointCount(o); ++i) {
            const float value[2] = {(float)(i % (kColumns + 1)) / kColumns, (float)(i / (kColumns + 1)) / kRows};
            o->Op.SetVmapValue(o, uv, i, value);
            const float colour[3] = {value[0], value[1], 0.5f};
            o->Op.SetVmapValue(o, rgb, i, colour);
        }
        for (int y = 0; y < kRows; ++y)
            for (int x = 0; x < kColumns; ++x) {
                const int32_t a = y * (kColumns + 1) + x, b = a + 1, c = b + kColumns + 1, d = a + kColumns + 1;
                const char* surface = surfaces[(x / 4 + y / 4) % 4];
                if ((x + y) % 8 == 0) {
                    // A pentagon: a point in the middle of the bottom side.
                    const double* pa = o->Op.GetPoint(o, a)->Xyz;
                    const double mid[3] = {pa[0] + 0.5, pa[1] - 0.2, pa[2]};
                    const int32_t m = o->Op.AddPoint(o, mid);
                    const int32_t corners[5] = {a, m, b, c, d};
                    o->Op.AddPolygon(o, 5, corners, surface);
                } else {
                    const int32_t corners[4] = {a, b, c, d};
                    o->Op.AddPolygon(o, 4, corners, surface);
                }
            }
        if (WriteLwo2File(o, p.c_str(), 0) != LW_ERR_NONE) std::abort();
        DestroyLwObject(&o);
        return p;
    }();
    return path;
}

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <typename F>
double Time(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return Ms(std::chrono::steady_clock::now() - start);
}

// ---- the plain implementations ------------------------------------------------------------------

struct Plain {
    std::vector<float> points;
    std::vector<int32_t> starts, corners, surfaces;
};

uint32_t U4(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }
uint32_t U2(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

// Reads the file's points, polygons and SURF tags into flat arrays.
Plain PlainRead(const std::string& path) {
    Plain out;
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    fseek(f, 0, SEEK_END);
    bytes.resize((size_t)ftell(f));
    fseek(f, 0, SEEK_SET);
    if (fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    fclose(f);
    auto vx = [&](size_t& at) {
        if (bytes[at] == 0xFF) {
            at += 4;
            return U4(&bytes[at - 4]) & 0xFFFFFF;
        }
        at += 2;
        return U2(&bytes[at - 2]);
    };
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t length = U4(&bytes[at + 4]);
        const size_t body = at + 8, end = body + length;
        if (memcmp(&bytes[at], "PNTS", 4) == 0) {
            out.points.resize(length / 4);
            for (size_t i = 0; i < out.points.size(); ++i) {
                const uint32_t bits = U4(&bytes[body + 4 * i]);
                memcpy(&out.points[i], &bits, 4);
            }
        } else if (memcmp(&bytes[at], "POLS", 4) == 0) {
            for (size_t p = body + 4; p < end;) {
                const uint32_t count = U2(&bytes[p]) & 0x3FF;
                p += 2;
                out.starts.push_back((int32_t)out.corners.size());
                for (uint32_t k = 0; k < count; ++k) out.corners.push_back((int32_t)vx(p));
            }
            out.starts.push_back((int32_t)out.corners.size());
            out.surfaces.assign(out.starts.size() - 1, 0);
        } else if (memcmp(&bytes[at], "PTAG", 4) == 0) {
            for (size_t p = body + 4; p < end;) {
                const uint32_t polygon = vx(p);
                out.surfaces[polygon] = (int32_t)U2(&bytes[p]);
                p += 2;
            }
        }
        at = end;
    }
    return out;
}

// u, v of every corner by the planar projection along z over the grid.
std::vector<float> PlainTexCoords(const Plain& plain) {
    std::vector<float> uv(plain.corners.size() * 2);
    for (size_t c = 0; c < plain.corners.size(); ++c) {
        const float* p = &plain.points[3 * (size_t)plain.corners[c]];
        uv[2 * c] = p[0] / kColumns;
        uv[2 * c + 1] = 1.0f - p[1] / kRows;
    }
    return uv;
}

// Face normals averaged at every point, one normal per point.
std::vector<float> PlainNormals(const Plain& plain) {
    std::vector<float> normals(plain.points.size(), 0.0f);
    for (size_t p = 0; p + 1 < plain.starts.size(); ++p) {
        const int32_t first = plain.starts[p], last = plain.starts[p + 1] - 1;
        const float* a = &plain.points[3 * (size_t)plain.corners[first]];
        const float* b = &plain.points[3 * (size_t)plain.corners[first + 1]];
        const float* c = &plain.points[3 * (size_t)plain.corners[last]];
        const float e[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, f[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const float n[3] = {e[1] * f[2] - e[2] * f[1], e[2] * f[0] - e[0] * f[2], e[0] * f[1] - e[1] * f[0]};
        for (int32_t k = first; k <= last; ++k)
            for (int i = 0; i < 3; ++i) normals[3 * (size_t)plain.corners[k] + i] += n[i];
    }
    for (size_t i = 0; i < normals.size(); i += 3) {
        const float l =
            std::sqrt(normals[i] * normals[i] + normals[i + 1] * normals[i + 1] + normals[i + 2] * normals[i + 2]);
        if (l > 0)
            for (int k = 0; k < 3; ++k) normals[i + k] /= l;
    }
    return normals;
}

// The colour of every corner from a per-point colour array.
std::vector<float> PlainColors(const Plain& plain, const std::vector<float>& perPoint) {
    std::vector<float> colours(plain.corners.size() * 4);
    for (size_t c = 0; c < plain.corners.size(); ++c) {
        const float* rgb = &perPoint[3 * (size_t)plain.corners[c]];
        colours[4 * c] = rgb[0];
        colours[4 * c + 1] = rgb[1];
        colours[4 * c + 2] = rgb[2];
        colours[4 * c + 3] = 1.0f;
    }
    return colours;
}

std::vector<int32_t> PlainFans(const Plain& plain) {
    std::vector<int32_t> triangles;
    for (size_t p = 0; p + 1 < plain.starts.size(); ++p)
        for (int32_t k = plain.starts[p] + 1; k + 1 < plain.starts[p + 1]; ++k)
            triangles.insert(triangles.end(), {plain.corners[plain.starts[p]], plain.corners[k], plain.corners[k + 1]});
    return triangles;
}

std::vector<int32_t> PlainSort(const Plain& plain) {
    std::vector<int32_t> order(plain.starts.size() - 1);
    std::iota(order.begin(), order.end(), 0);
    auto key = [&](int32_t p) {
        return (uint32_t)(plain.starts[p + 1] - plain.starts[p]) << 16 | (uint32_t)plain.surfaces[p];
    };
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return key(a) < key(b); });
    return order;
}

size_t PlainEdges(const Plain& plain) {
    std::unordered_map<uint64_t, int32_t> edges;
    edges.reserve(plain.corners.size());
    for (size_t p = 0; p + 1 < plain.starts.size(); ++p) {
        const int32_t first = plain.starts[p], n = plain.starts[p + 1] - first;
        for (int32_t k = 0; k < n; ++k) {
            const uint32_t a = (uint32_t)plain.corners[first + k], b = (uint32_t)plain.corners[first + (k + 1) % n];
            const uint64_t key = a < b ? (uint64_t)a << 32 | b : (uint64_t)b << 32 | a;
            edges.emplace(key, (int32_t)p);
        }
    }
    return edges.size();
}

void Report(const char* pass, double library, double plain) {
    std::printf("  %-22s library %9.2f ms   plain %9.2f ms   ratio %6.2f\n", pass, library, plain, library / plain);
}

void BM_LoadPasses(benchmark::State& state) {
    const std::string& path = ObjectPath();
    for (auto _ : state) {
        LwLoadOptions options{};
        options.TexChannelMask = 1;
        options.TexLayerCount = 1;
        LwObject* o = CreateLwObject(0);
        const double read = Time([&] { o->Op.LoadLwObject(o, path.c_str(), LW_FILE_LWO2, &options); });
        const int32_t polygons = o->Op.GetPolygonCount(o);
        const double texcoords = Time([&] { o->Op.SetupTextureCoordinates(o, 1, 1, 0); });
        const double normals = Time([&] { o->Op.ComputeNormals(o, 0); });
        const double colors = Time([&] { o->Op.LoadVertexColors(o, 0); });
        const int32_t texCount = o->Op.GetNumTexCoords(o), normalCount = o->Op.GetNumNormals(o),
                      colorCount = o->Op.GetNumColors(o);
        const double triangulate = Time([&] { o->Op.TriangulateLayer(o, 0); });
        const int32_t triangles = o->Op.GetPolygonCount(o);
        const double sort = Time([&] { o->Op.SortLwObjectPolygons(o); });
        const double edges = Time([&] { o->Op.BuildEdges(o); });
        const int32_t edgeCount = o->Op.GetNumEdges(o);
        DestroyLwObject(&o);

        Plain plain;
        const double plainRead = Time([&] { plain = PlainRead(path); });
        std::vector<float> perPoint(plain.points.size());
        for (size_t i = 0; i < perPoint.size(); ++i) perPoint[i] = (float)(i % 7) / 7.0f;
        const double plainTexcoords = Time([&] { benchmark::DoNotOptimize(PlainTexCoords(plain)); });
        const double plainNormals = Time([&] { benchmark::DoNotOptimize(PlainNormals(plain)); });
        const double plainColors = Time([&] { benchmark::DoNotOptimize(PlainColors(plain, perPoint)); });
        std::vector<int32_t> fans;
        const double plainTriangulate = Time([&] { fans = PlainFans(plain); });
        Plain triangulated = plain;
        triangulated.corners = fans;
        triangulated.starts.resize(fans.size() / 3 + 1);
        for (size_t i = 0; i < triangulated.starts.size(); ++i) triangulated.starts[i] = (int32_t)(3 * i);
        triangulated.surfaces.assign(fans.size() / 3, 0);
        const double plainSort = Time([&] { benchmark::DoNotOptimize(PlainSort(triangulated)); });
        size_t plainEdgeCount = 0;
        const double plainEdges = Time([&] { plainEdgeCount = PlainEdges(triangulated); });

        std::printf(
            "LWO2 object of %d polygons: %d texture coordinates, %d normals, %d colours, %d triangles after "
            "the cut, %d edges (plain %zu):\n",
            polygons, texCount, normalCount, colorCount, triangles, edgeCount, plainEdgeCount);
        Report("read", read, plainRead);
        Report("texture coordinates", texcoords, plainTexcoords);
        Report("vertex normals", normals, plainNormals);
        Report("vertex colours", colors, plainColors);
        Report("triangulate", triangulate, plainTriangulate);
        Report("sort polygons", sort, plainSort);
        Report("edge table", edges, plainEdges);
        const double library = read + texcoords + normals + colors + triangulate + sort + edges;
        Report("all passes", library,
               plainRead + plainTexcoords + plainNormals + plainColors + plainTriangulate + plainSort + plainEdges);
        state.SetIterationTime(library / 1000.0);
    }
}
BENCHMARK(BM_LoadPasses)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    unlink(ObjectPath().c_str());
    return 0;
}
