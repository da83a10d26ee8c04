// Object library speed: loading a 100,000-polygon LWO2 object made here with the library's writer
// (a grid of quadrilaterals with every eighth cell a pentagon, four surfaces each with a planar colour
// image, a UV map and an RGB colour map over every point), and each load pass on its own, in the
// loader's order: the read, texture coordinates, vertex normals, vertex colours, triangulation,
// polygon sort and edge table, and the object's destruction. Each pass is printed against a plain
// implementation of the same work over flat arrays, the two taking turns in one run, each pass timed
// by the thread's processor time (a planar
// projection per corner; a face normal per polygon shared by its corners, as the library makes them
// for surfaces without smoothing; a colour per corner from the map; the triangulator's cleaning,
// plane projection, convexity test and fan cut carrying every corner's data, every polygon here being
// convex; a key sort; a hashed edge build; freeing the arrays). The read has no plain equivalent: a
// plain decoder of the few chunks it needs does far less than the library's reader.
#include "lightwave/object/LwObject.h"

#include "bench/Alternate.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
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
        for (int32_t i = 0; i < o->Op.GetNumPoints(o); ++i) {
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

// One face normal per polygon, unit length, named by each of its corners.
struct PlainNormals {
    std::vector<float> normals;
    std::vector<int32_t> index;  // per corner
};

PlainNormals MakePlainNormals(const Plain& plain) {
    PlainNormals out;
    out.normals.reserve(3 * (plain.starts.size() - 1));
    out.index.resize(plain.corners.size());
    for (size_t p = 0; p + 1 < plain.starts.size(); ++p) {
        const int32_t first = plain.starts[p], last = plain.starts[p + 1] - 1;
        const float* a = &plain.points[3 * (size_t)plain.corners[first]];
        const float* b = &plain.points[3 * (size_t)plain.corners[first + 1]];
        const float* c = &plain.points[3 * (size_t)plain.corners[last]];
        const float e[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, f[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float n[3] = {e[1] * f[2] - e[2] * f[1], e[2] * f[0] - e[0] * f[2], e[0] * f[1] - e[1] * f[0]};
        const float l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (l > 0)
            for (float& x : n) x /= l;
        const int32_t i = (int32_t)(out.normals.size() / 3);
        out.normals.insert(out.normals.end(), n, n + 3);
        std::fill(out.index.begin() + first, out.index.begin() + last + 1, i);
    }
    return out;
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

// Triangles with every corner's data: the triangles of a polygon of more than three corners replace
// it (the last in its place, the others appended), as the library's cut does.
struct PlainTriangles {
    std::vector<int32_t> corners, normalIndex, surfaces;  // three per triangle, except surfaces
    std::vector<float> uv, colours;                       // two and four per corner
    size_t notConvex = 0;
};

PlainTriangles PlainTriangulate(const Plain& plain, const std::vector<float>& uv, const PlainNormals& normals,
                                const std::vector<float>& colours) {
    PlainTriangles out;
    const size_t polygons = plain.starts.size() - 1;
    const size_t triangles = plain.corners.size() - 2 * polygons;
    out.corners.resize(3 * triangles);
    out.normalIndex.resize(3 * triangles);
    out.surfaces.resize(triangles);
    out.uv.resize(6 * triangles);
    out.colours.resize(12 * triangles);
    size_t appended = polygons;
    std::vector<int32_t> kept;
    std::vector<double> xy;
    auto put = [&](size_t t, int32_t surface, int32_t a, int32_t b, int32_t c) {
        out.surfaces[t] = surface;
        const int32_t k[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) {
            out.corners[3 * t + i] = plain.corners[k[i]];
            out.normalIndex[3 * t + i] = normals.index[k[i]];
            std::memcpy(&out.uv[6 * t + 2 * i], &uv[2 * (size_t)k[i]], 2 * sizeof(float));
            std::memcpy(&out.colours[12 * t + 4 * i], &colours[4 * (size_t)k[i]], 4 * sizeof(float));
        }
    };
    for (size_t p = 0; p < polygons; ++p) {
        const int32_t first = plain.starts[p], n = plain.starts[p + 1] - first;
        auto at = [&](int32_t k) { return &plain.points[3 * (size_t)plain.corners[k]]; };
        // Drop corners that coincide with the one kept before them.
        kept.assign(1, first);
        for (int32_t k = first + 1; k < first + n; ++k) {
            const float *a = at(k), *b = at(kept.back());
            const float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
            if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] >= 1.4210854715202004e-14f) kept.push_back(k);
        }
        // Area-weighted normal, and the corners on the plane of its largest axis.
        double normal[3] = {0, 0, 0};
        for (size_t k = 0; k < kept.size(); ++k) {
            const float *a = at(kept[k]), *b = at(kept[(k + 1) % kept.size()]);
            normal[0] += (double)(a[1] - b[1]) * (a[2] + b[2]);
            normal[1] += (double)(a[2] - b[2]) * (a[0] + b[0]);
            normal[2] += (double)(a[0] - b[0]) * (a[1] + b[1]);
        }
        int axis = 2;
        if (std::fabs(normal[0]) > std::fabs(normal[axis])) axis = 0;
        if (std::fabs(normal[1]) > std::fabs(normal[axis])) axis = 1;
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        xy.clear();
        for (int32_t k : kept) xy.insert(xy.end(), {(double)at(k)[u], (double)at(k)[v]});
        // Convex when every turn goes the normal's way.
        const size_t m = kept.size();
        bool convex = true;
        for (size_t k = 0; k < m && convex; ++k) {
            const double* a = &xy[2 * k];
            const double* b = &xy[2 * ((k + 1) % m)];
            const double* c = &xy[2 * ((k + 2) % m)];
            const double turn = (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
            convex = turn * normal[axis] >= 0;
        }
        out.notConvex += !convex;
        for (size_t k = 1; k + 1 < m; ++k)
            put(k + 2 == m ? p : appended++, plain.surfaces[p], kept[0], kept[k], kept[k + 1]);
    }
    return out;
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

// Per pass, one figure a repetition.
struct Passes {
    std::vector<double> read, texcoords, normals, colours, triangulate, sort, edges, destroy, comparable;
};

void Report(const char* pass, const std::vector<double>& library, const std::vector<double>* plain) {
    std::printf("  %-20s library %s ms", pass, bench::Show(library, 1e3, 3).c_str());
    if (plain)
        std::printf("   plain %s ms   library / plain %s\n", bench::Show(*plain, 1e3, 3).c_str(),
                    bench::Show(bench::Ratios(library, *plain), 1).c_str());
    else
        std::printf("   library, no plain equivalent\n");
}

struct Counts {
    int32_t polygons = 0, texCoords = 0, normals = 0, colours = 0, triangles = 0, edges = 0;
    size_t plainTriangles = 0, plainEdges = 0, notConvex = 0;
} g_counts;

Passes g_library, g_plain;

double LibraryPasses(const std::string& path) {
    Passes& t = g_library;
    LwLoadOptions options{};
    options.TexChannelMask = 1;
    options.TexLayerCount = 1;
    LwObject* o = CreateLwObject(0);
    t.read.push_back(bench::CpuTime([&] { o->Op.LoadLwObject(o, path.c_str(), LW_FILE_LWO2, &options); }));
    g_counts.polygons = o->Op.GetNumPolygons(o);
    t.texcoords.push_back(bench::CpuTime([&] { o->Op.SetupTextureCoordinates(o, 1, 1, 0); }));
    t.normals.push_back(bench::CpuTime([&] { o->Op.ComputeNormals(o, 0); }));
    t.colours.push_back(bench::CpuTime([&] { o->Op.LoadVertexColors(o, 0); }));
    g_counts.texCoords = o->Op.GetNumTexCoords(o);
    g_counts.normals = o->Op.GetNumNormals(o);
    g_counts.colours = o->Op.GetNumColors(o);
    t.triangulate.push_back(bench::CpuTime([&] { o->Op.TriangulateLayer(o, 0); }));
    g_counts.triangles = o->Op.GetNumPolygons(o);
    t.sort.push_back(bench::CpuTime([&] { o->Op.SortLwObjectPolygons(o); }));
    t.edges.push_back(bench::CpuTime([&] { o->Op.BuildEdges(o); }));
    g_counts.edges = o->Op.GetNumEdges(o);
    t.destroy.push_back(bench::CpuTime([&] { DestroyLwObject(&o); }));
    t.comparable.push_back(t.texcoords.back() + t.normals.back() + t.colours.back() + t.triangulate.back() +
                           t.sort.back() + t.edges.back() + t.destroy.back());
    return t.comparable.back();
}

double PlainPasses(const std::string& path) {
    Passes& t = g_plain;
    auto plain = std::make_unique<Plain>();
    t.read.push_back(bench::CpuTime([&] { *plain = PlainRead(path); }));
    std::vector<float> perPoint(plain->points.size());
    for (size_t i = 0; i < perPoint.size(); ++i) perPoint[i] = (float)(i % 7) / 7.0f;
    std::vector<float> uv, colours;
    PlainNormals normals;
    PlainTriangles triangles;
    Plain triangulated;
    std::vector<int32_t> order;
    t.texcoords.push_back(bench::CpuTime([&] { uv = PlainTexCoords(*plain); }));
    t.normals.push_back(bench::CpuTime([&] { normals = MakePlainNormals(*plain); }));
    t.colours.push_back(bench::CpuTime([&] { colours = PlainColors(*plain, perPoint); }));
    t.triangulate.push_back(bench::CpuTime([&] { triangles = PlainTriangulate(*plain, uv, normals, colours); }));
    g_counts.plainTriangles = triangles.surfaces.size();
    g_counts.notConvex = triangles.notConvex;
    triangulated.points = plain->points;
    triangulated.corners = triangles.corners;
    triangulated.surfaces = triangles.surfaces;
    triangulated.starts.resize(triangles.surfaces.size() + 1);
    for (size_t i = 0; i < triangulated.starts.size(); ++i) triangulated.starts[i] = (int32_t)(3 * i);
    t.sort.push_back(bench::CpuTime([&] { order = PlainSort(triangulated); }));
    t.edges.push_back(bench::CpuTime([&] { g_counts.plainEdges = PlainEdges(triangulated); }));
    benchmark::DoNotOptimize(order.data());
    t.destroy.push_back(bench::CpuTime([&] {
        plain.reset();
        triangles = PlainTriangles();
        triangulated = Plain();
        normals = PlainNormals();
        std::vector<float>().swap(uv);
        std::vector<float>().swap(colours);
        std::vector<int32_t>().swap(order);
    }));
    t.comparable.push_back(t.texcoords.back() + t.normals.back() + t.colours.back() + t.triangulate.back() +
                           t.sort.back() + t.edges.back() + t.destroy.back());
    return t.comparable.back();
}

// One repetition of each, taking turns to go first.
void BM_LoadPasses(benchmark::State& state) {
    const std::string& path = ObjectPath();
    std::vector<double> library, plain;
    for (auto _ : state)
        bench::Alternate(
            1, [&] { return LibraryPasses(path); }, [&] { return PlainPasses(path); }, library, plain);
}
BENCHMARK(BM_LoadPasses)->Iterations(7)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (!g_library.read.empty()) {
        const Counts& c = g_counts;
        std::printf(
            "LWO2 object of %d polygons: %d texture coordinates, %d normals, %d colours, %d triangles after the cut "
            "(plain %zu, %zu not convex), %d edges (plain %zu)\n",
            c.polygons, c.texCoords, c.normals, c.colours, c.triangles, c.plainTriangles, c.notConvex, c.edges,
            c.plainEdges);
        std::printf("each pass's processor time, median (min, max) over %zu alternated repetitions:\n",
                    g_library.read.size());
        Report("read", g_library.read, nullptr);
        Report("texture coordinates", g_library.texcoords, &g_plain.texcoords);
        Report("vertex normals", g_library.normals, &g_plain.normals);
        Report("vertex colours", g_library.colours, &g_plain.colours);
        Report("triangulate", g_library.triangulate, &g_plain.triangulate);
        Report("sort polygons", g_library.sort, &g_plain.sort);
        Report("edge table", g_library.edges, &g_plain.edges);
        Report("destruction", g_library.destroy, &g_plain.destroy);
        Report("all but the read", g_library.comparable, &g_plain.comparable);
        std::printf("(no speed target is set for these passes)\n");
    }
    unlink(ObjectPath().c_str());
    return 0;
}
