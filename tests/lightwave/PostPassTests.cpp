// The post-passes of a loaded object on small known shapes: materials at an animation time, vertex
// normals, vertex colours from maps and ".vcl" files, texture coordinates from projections and
// ".uv" files, with hostile companion files.
#include "lightwave/object/LwMaterial.h"
#include "tests/lightwave/ChunkBodies.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace lwobj;

// An object whose file lies in a fresh temporary directory, so its companions can be written.
class FileObject {
public:
    explicit FileObject(int32_t type = LW_FILE_LWO2) : o_(NewObject()) {
        std::string dir = (std::filesystem::temp_directory_path() / "lwpassXXXXXX").string();
        const char* made = mkdtemp(&dir[0]);
        dir_ = made ? made : "";
        std::string name = dir_ + "/thing.lwo";
        LwCopyText(o_->FileName, name.c_str(), sizeof(o_->FileName));
        o_->FileType = type;
    }
    ~FileObject() {
        for (const char* ext : {".vcl", ".uv"}) remove((dir_ + "/thing" + ext).c_str());
        remove(dir_.c_str());
    }
    LwObject* get() { return o_.get(); }
    LwObject* operator->() { return o_.get(); }
    std::string Path(const char* ext) const { return dir_ + "/thing" + ext; }
    void Companion(const char* ext, const std::string& text) { std::ofstream(Path(ext)) << text; }
    // Reads the object's vertex-colour file into `vcl`, as the post pass names it.
    int32_t ReadVcl(LwVclFile& vcl) {
        LwCopyText(vcl.FileName, Path(".vcl").c_str(), sizeof(vcl.FileName));
        return ReadVclFile(&vcl, get());
    }

private:
    ObjectPtr o_;
    std::string dir_;
};

// A unit cube of six quads, faces wound outward, on one surface.
void Cube(LwObject* o, const char* surface) {
    AddLayerWithPoints(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}});
    for (std::vector<int32_t> q :
         {std::vector<int32_t>{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}})
        AddPolygon(o, q, surface);
}

const Body kSmooth = Body().Sub("SMAN", Body().F4(1.56207f));

// ---- materials ----------------------------------------------------------------------------------

TEST(Materials, LwobValuesAndTextures) {
    FileObject o(LW_FILE_LWOB);
    Body skin;
    skin.Sub("COLR", Body().U1(255).U1(255).U1(255).U1(0)).Sub("DIFF", Body().U2(128)).Sub("VTRN", Body().F4(0.25f));
    skin.Sub("GLOS", Body().U2(64)).Sub("CTEX", Body().S0("Planar Image Map")).Append(Image("TIMG", "a.tga"));
    skin.Sub("TWRP", Body().U2(1).U2(2)).Sub("CTEX", Body().S0("Fractal Noise"));
    skin.Sub("DTEX", Body().S0("Cylindrical Image Map")).Append(Image("TIMG", "b.tga"));
    skin.Sub("TWRP", Body().U2(9).U2(3));  // each code on its own: 9 has no mode and keeps the default
    SetSurface(o.get(), "skin", skin);
    LwMaterial* m = o->Op.GetEvaluatedMaterial(o.get(), 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->SourceType, LW_FILE_LWOB);
    EXPECT_NEAR(m->DiffuseColor[0], 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(m->Color[3], 0.75f);
    EXPECT_NEAR(m->SpecularPower, 51.2f, 1e-4);
    // The procedural makes no layer.
    ASSERT_EQ(m->Layers.size(), 2u);
    EXPECT_EQ(m->Layers[0].WrapModeHeight, LW_WRAP_REPEAT);
    EXPECT_EQ(m->Layers[1].WrapModeWidth, LW_WRAP_REPEAT);
    EXPECT_EQ(m->Layers[1].WrapModeHeight, LW_WRAP_MIRROR);
    EXPECT_STREQ(m->Layers[0].ImageName, "a.tga");
    EXPECT_EQ(o->Op.GetTextureLayer(o.get(), m, LW_CHANNEL_DIFFUSE, 0), &m->Layers[1]);
}

TEST(Materials, Lwo2ValuesFollowTheAnimationTime) {
    FileObject o;
    AddEnvelope(o.get(), Keys({{0, 0, "LINE", {}}, {1, 1, "LINE", {}}}));  // transparency 0 -> 1
    AddEnvelope(o.get(), Keys({{0, 0, "LINE", {}}, {2, 1, "LINE", {}}}));  // red
    AddEnvelope(o.get(), Keys({{0, 1, "LINE", {}}, {2, 0, "LINE", {}}}));  // green
    AddEnvelope(o.get(), Keys({{0, 0.5, "LINE", {}}, {2, 0.5, "LINE", {}}}));
    Body glass;
    glass.Sub("COLR", Body().Vec(0.2f, 0.4f, 0.6f).VX(2)).Sub("TRAN", FloatEnv(0.0f, 1)).Sub("DIFF", FloatEnv(0.5f, 0));
    glass.Sub("SMAN", Body().F4(0.5f)).Sub("SIDE", Body().U2(3)).Sub("VCOL", Body().F4(1).VX(0).Id("RGBA").S0("paint"));
    SetSurface(o.get(), "glass", glass);
    SetSurface(o.get(), "late", Body().Sub("COLR", Body().Vec(1, 1, 1).VX(4)));
    LwMaterial* m = o->Op.GetEvaluatedMaterial(o.get(), 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Flags, LW_MATERIAL_SMOOTHING | LW_MATERIAL_DOUBLE_SIDED);
    EXPECT_EQ(m->Color[0], 0.0f);  // the envelopes hold at time 0
    EXPECT_EQ(m->Color[1], 1.0f);
    EXPECT_STREQ(m->VertexColorMap, "paint");
    EXPECT_EQ(m->VertexColorMapType, LwMakeId('R', 'G', 'B', 'A'));
    o->AnimationTime = 1.0;
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 0), m);
    EXPECT_FLOAT_EQ(m->Transparency, 1.0f);
    EXPECT_FLOAT_EQ(m->Color[0], 0.5f);
    EXPECT_FLOAT_EQ(m->DiffuseColor[0], 0.25f);
    // An envelope reference at the last envelope cannot start a chain of three.
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 1)->ColorEnvelope, nullptr);
    // An object of no file type: the first request makes the defaults but returns NULL.
    o->FileType = 0;
    o->Op.AddSurface(o.get(), "built");
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 2), nullptr);
    ASSERT_NE(o->Op.GetEvaluatedMaterial(o.get(), 2), nullptr);
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 2)->Layers.size(), 0u);
}

// A value at a key's time is the one of the span ending there, whatever time was asked for before.
TEST(Materials, AValueAtAKeysTimeDoesNotDependOnEarlierTimes) {
    FileObject o;
    AddEnvelope(o.get(), Keys({{0, 0, "LINE", {}}, {1, 0.25f, "STEP", {}}, {2, 0.5f, "STEP", {}}}));
    SetSurface(o.get(), "lamp", Body().Sub("DIFF", FloatEnv(1.0f, 1)));
    o->AnimationTime = 1.0;
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 0)->Diffuse, 0.0f);
    o->AnimationTime = 1.5;
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 0)->Diffuse, 0.25f);
    o->AnimationTime = 1.0;
    EXPECT_EQ(o->Op.GetEvaluatedMaterial(o.get(), 0)->Diffuse, 0.0f);
}

TEST(Materials, SelectingAChannelReachesMaterialsAndPolygons) {
    FileObject o;
    o->Op.AddClip(o.get(), 1);
    Body block;
    block.Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("COLR")))
        .Sub("PROJ", Body().U2(0))
        .Sub("IMAG", Body().VX(1));
    SetSurface(o.get(), "tex", Body().Sub("BLOK", block));
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    AddPolygon(o.get(), {0, 1, 2}, "tex");
    ASSERT_EQ(o->Op.SetupTextureCoordinates(o.get(), 1, 1, 0), LW_ERR_NONE);
    LwMaterial* m = o->Op.GetEvaluatedMaterial(o.get(), 0);
    EXPECT_EQ(m->CurrentLayer, 0);
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->SelectedTexChannel, 0);
    o->Op.SelectTextureLayer(o.get(), 0, 0);
    EXPECT_EQ(m->CurrentLayer, -1);
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->SelectedTexChannel, -1);
}

// ---- normals ------------------------------------------------------------------------------------

TEST(Normals, CubeWithAndWithoutSmoothing) {
    struct Row {
        const char* name;
        bool smooth;
        int32_t flags, normals;
    } const rows[] = {
        {"flat", false, 0, 6},
        {"smooth at 89.5 degrees", true, 0, 24},
        {"smooth whatever the angle", true, LW_NORMALS_SMOOTH_ALL, 8},
        {"one per point", false, LW_NORMALS_PER_POINT, 8},
        {"flat, shared", false, LW_NORMALS_SHARE, 6},
        {"smooth, shared at points", true, LW_NORMALS_SHARE, 24},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FileObject o;
        SetSurface(o.get(), "s", row.smooth ? kSmooth : Body());
        Cube(o.get(), "s");
        ASSERT_EQ(o->Op.ComputeNormals(o.get(), row.flags), LW_ERR_NONE);
        EXPECT_EQ(o->Op.GetNumNormals(o.get()), row.normals);
        for (int32_t p = 0; p < 6; ++p) {
            const LwPolygon* polygon = o->Op.GetPolygon(o.get(), p);
            ASSERT_EQ(polygon->NormalIndices.size(), 4u);
            for (int32_t v = 0; v < 4; ++v) {
                const double* n = o->Op.GetNormal(o.get(), polygon->NormalIndices[v])->Xyz;
                if (row.flags & LW_NORMALS_PER_POINT) {
                    EXPECT_EQ(polygon->NormalIndices[v], polygon->Points[v]);
                } else if (row.flags & LW_NORMALS_SMOOTH_ALL) {
                    // The corner's normal leans equally into its three faces.
                    const double* at = o->Op.GetPoint(o.get(), polygon->Points[v])->Xyz;
                    for (int k = 0; k < 3; ++k) EXPECT_NEAR(n[k], (at[k] * 2 - 1) / std::sqrt(3.0), 1e-12);
                } else {
                    for (int k = 0; k < 3; ++k) EXPECT_NEAR(n[k], polygon->Normal[k], 1e-12);
                }
            }
        }
        EXPECT_EQ(o->Op.GetPoint(o.get(), 0)->UserData, nullptr);  // the point lists are gone
    }
}

TEST(Normals, ExcludedSurfaces) {
    FileObject o;
    SetSurface(o.get(), "s", Body());
    Cube(o.get(), "s");
    o->Op.FindSurface(o.get(), "s")->Flags |= LW_SURFACE_NO_NORMALS;
    ASSERT_EQ(o->Op.ComputeNormals(o.get(), 0), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumNormals(o.get()), 0);
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->NormalIndices[0], -1);
}

// ---- vertex colours -----------------------------------------------------------------------------

// Two triangles over four points, on surface "s" (grey unless given a colour).
void TwoTriangles(LwObject* o, const Body& surface = Body()) {
    SetSurface(o, "s", surface);
    AddLayerWithPoints(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    AddPolygon(o, {0, 1, 2}, "s");
    AddPolygon(o, {1, 3, 2}, "s");
}

const LwColor& CornerColor(LwObject* o, int32_t polygon, int32_t corner) {
    return *o->Op.GetColor(o, o->Op.GetPolygon(o, polygon)->ColorIndices[corner]);
}

const char* const kVcl =
    "VCLFILE\n"
    "x\n# a comment\ny\nz\n"
    "4\n6\n"
    "1\n0 255 0 0 128 x\n"
    "2\n0 0 255 0 255 x\n\n# between entries\n1 0 255 0 255 x\n"
    "2\r\n0 0 0 255 255 x\r\n1 0 0 255 255 x\r\n"
    "1\n1 9 9 9 255 x\n";

TEST(VertexColors, FromAVclFile) {
    FileObject o;
    TwoTriangles(o.get());
    o.Companion(".vcl", kVcl);
    ASSERT_EQ(o->Op.LoadVertexColors(o.get(), 0), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumColors(o.get()), 6);
    const LwColor& first = CornerColor(o.get(), 0, 0);
    EXPECT_FLOAT_EQ(first.Rgba[0], 1.0f);
    EXPECT_NEAR(first.Rgba[3], 0.50196f, 1e-5);
    EXPECT_FLOAT_EQ(CornerColor(o.get(), 1, 0).Rgba[1], 1.0f);
    // Shared: the two polygons agree at points 1 and 2 and share those entries.
    FileObject shared;
    TwoTriangles(shared.get());
    shared.Companion(".vcl", kVcl);
    ASSERT_EQ(shared->Op.LoadVertexColors(shared.get(), LW_VCOLOR_SHARE), LW_ERR_NONE);
    EXPECT_EQ(shared->Op.GetNumColors(shared.get()), 4);
    // A component outside 0 to 255 is stored as one byte, like any other.
    std::string wide = kVcl;
    wide.replace(wide.find("0 255 0 0 128"), 13, "0 256 -1 300 128");
    FileObject bytes;
    TwoTriangles(bytes.get());
    bytes.Companion(".vcl", wide);
    ASSERT_EQ(bytes->Op.LoadVertexColors(bytes.get(), 0), LW_ERR_NONE);
    const LwColor& stored = CornerColor(bytes.get(), 0, 0);
    EXPECT_FLOAT_EQ(stored.Rgba[0], 0.0f);
    EXPECT_FLOAT_EQ(stored.Rgba[1], 255 * 0.003921569f);
    EXPECT_FLOAT_EQ(stored.Rgba[2], 44 * 0.003921569f);
}

TEST(VertexColors, FromMapsBeforeAnyFile) {
    FileObject o;
    TwoTriangles(o.get(), Body().Sub("COLR", Body().Vec(0, 0, 1).VX(0)));
    o.Companion(".vcl", kVcl);
    const float red[3] = {1, 0, 0};
    o->Op.AddVmap(o.get(), LwMakeId('R', 'G', 'B', ' '), "paint", 3);
    for (int32_t p = 0; p < 4; ++p) o->Op.SetVmapValue(o.get(), 0, p, red);
    o->Op.SetPolygonTag(o.get(), 0, LwMakeId('R', 'G', 'B', ' '), "paint");
    ASSERT_EQ(o->Op.LoadVertexColors(o.get(), 0), LW_ERR_NONE);
    EXPECT_EQ(CornerColor(o.get(), 0, 2).Rgba[0], 1.0f);
    EXPECT_TRUE(o->Op.GetPolygon(o.get(), 1)->ColorIndices.empty());  // no tag, no blending
    ASSERT_EQ(o->Op.LoadVertexColors(o.get(), LW_VCOLOR_BLEND), LW_ERR_NONE);
    EXPECT_EQ(CornerColor(o.get(), 1, 0).Rgba[2], 1.0f);  // the surface colour
}

// A file cut after any of its lines is read as far as it goes; corners without an entry take the
// surface colour. (Cut before the point count it once read the per-point table before making it.)
TEST(VertexColors, TruncatedFilesKeepWhatWasRead) {
    const std::string whole = kVcl;
    size_t cut = 0;
    for (int lines = 0; (cut = whole.find('\n', cut)) != std::string::npos; ++cut, ++lines) {
        SCOPED_TRACE(lines);
        FileObject o;
        TwoTriangles(o.get(), Body().Sub("COLR", Body().Vec(0, 1, 0).VX(0)));
        o.Companion(".vcl", whole.substr(0, cut + 1));
        ASSERT_EQ(o->Op.LoadVertexColors(o.get(), 0), LW_ERR_NONE);
        const LwPolygon* last = o->Op.GetPolygon(o.get(), 1);
        if (last->ColorIndices.empty()) continue;  // not even a valid header
        EXPECT_EQ(CornerColor(o.get(), 1, 1).Rgba[1], cut + 1 == whole.size() ? 9 * 0.003921569f : 1.0f);
    }
}

// A file cut at any byte keeps every entry whose line it holds whole, whatever the cut leaves of the
// next: the end of the file ends the reading, an entry cut short included.
TEST(VertexColors, CutAnywhereKeepsTheWholeEntriesBefore) {
    const std::string whole = kVcl;
    FileObject full;
    TwoTriangles(full.get());
    full.Companion(".vcl", whole);
    LwVclFile all{};
    ASSERT_EQ(full.ReadVcl(all), LW_ERR_NONE);
    ASSERT_EQ(all.Entries.size(), 6u);
    const size_t body = whole.find("4\n6\n") + 4;
    for (size_t cut = body; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string text = whole.substr(0, cut);
        size_t wholeEntries = 0;  // entry lines ended by a line break before the cut
        for (size_t at = 0; (at = text.find(" x", at)) != std::string::npos; ++at)
            wholeEntries += text.find_first_of("\r\n", at) != std::string::npos;
        FileObject o;
        TwoTriangles(o.get());
        o.Companion(".vcl", text);
        LwVclFile vcl{};
        ASSERT_EQ(o.ReadVcl(vcl), LW_ERR_NONE) << o->MessageText;
        ASSERT_GE(vcl.Entries.size(), wholeEntries);
        ASSERT_LE(vcl.Entries.size(), wholeEntries + 1);  // a cut line that still reads as an entry
        for (size_t e = 0; e < wholeEntries; ++e) {
            EXPECT_EQ(vcl.Entries[e].Polygon, all.Entries[e].Polygon);
            EXPECT_EQ(memcmp(vcl.Entries[e].Rgba, all.Entries[e].Rgba, 4), 0);
        }
    }
}

// The stated total only bounds the points' counts: one far beyond what the file holds, even one no
// memory could hold or no 32-bit integer can, keeps every entry the file has, and one with nothing
// after it reads as a file that ends early.
TEST(VertexColors, AnOverstatedTotalKeepsTheEntriesTheFileHolds) {
    const std::string whole = kVcl;
    for (const char* total : {"1000", "2000000000", "2147483647", "2147483648", "99999999999999999999", "1e3", "6.5"}) {
        SCOPED_TRACE(total);
        std::string text = whole;
        text.replace(text.find("4\n6\n"), 4, std::string("4\n") + total + "\n");
        FileObject o;
        TwoTriangles(o.get());
        o.Companion(".vcl", text);
        LwVclFile vcl{};
        ASSERT_EQ(o.ReadVcl(vcl), LW_ERR_NONE) << o->MessageText;
        EXPECT_EQ(vcl.Entries.size(), 6u);
        EXPECT_LT(vcl.Entries.capacity(), 64u);  // grown by the lines, not sized from the total
        ASSERT_EQ(o->Op.LoadVertexColors(o.get(), 0), LW_ERR_NONE);
        EXPECT_EQ(o->Op.GetNumColors(o.get()), 6);
        EXPECT_FLOAT_EQ(CornerColor(o.get(), 0, 0).Rgba[0], 1.0f);
        EXPECT_FLOAT_EQ(CornerColor(o.get(), 1, 1).Rgba[0], 9 * 0.003921569f);

        FileObject empty;
        TwoTriangles(empty.get(), Body().Sub("COLR", Body().Vec(0, 1, 0).VX(0)));
        empty.Companion(".vcl", text.substr(0, text.find(total) + strlen(total) + 1));
        LwVclFile none{};
        EXPECT_EQ(empty.ReadVcl(none), LW_ERR_NONE);
        EXPECT_TRUE(none.Entries.empty());
        EXPECT_LT(none.Entries.capacity(), 64u);
    }
}

TEST(VertexColors, HostileFilesFallBackToSurfaceColours) {
    const std::string head = "VCLFILE\na\nb\nc\n";
    struct Row {
        const char* name;
        std::string text;
        const char* detail;  // what ReadVclFile leaves in the error detail
    } const rows[] = {
        {"not a vertex-colour file", "VCLFILES\n", "NOT VCL FILE {VCLFILES} "},
        {"seven points for four", head + "7\n0\n", "BAD NUMBER OF POINT {7} "},
        {"negative total", head + "4\n-3\n", "BAD NUMBER OF ENTRY {-3} "},
        {"negative total past 32 bits", head + "4\n-2147483649\n1\n0 1 2 3 4 x\n",
         "BAD NUMBER OF ENTRY {-2147483649} "},
        {"negative total as a decimal", head + "4\n-1e3\n1\n0 1 2 3 4 x\n", "BAD NUMBER OF ENTRY {-1e3} "},
        {"counts past the total", head + "4\n1\n2\n0 1 2 3 4 x\n0 1 2 3 4 x\n", "BAD NUMBER OF ENTRY {2} "},
        {"short entry line", head + "4\n1\n1\n0 1 2\n", "BAD ENTRY {0 1 2} "},
        {"negative count", head + "4\n1\n-1\n", "BAD NUMBER OF ENTRY {-1} "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FileObject o;
        TwoTriangles(o.get(), Body().Sub("COLR", Body().Vec(0, 1, 0).VX(0)));
        o.Companion(".vcl", row.text);
        LwVclFile vcl{};
        EXPECT_EQ(o.ReadVcl(vcl), LW_ERR_BAD_FORMAT);
        EXPECT_EQ(std::string(o->MessageText).rfind(row.detail, 0), 0u) << o->MessageText;
        EXPECT_EQ(o->ErrorCode, LW_ERR_NONE);
        ASSERT_EQ(o->Op.LoadVertexColors(o.get(), 0), LW_ERR_NONE);
        EXPECT_EQ(o->Op.GetNumColors(o.get()), 0);
        ASSERT_EQ(o->Op.LoadVertexColors(o.get(), LW_VCOLOR_BLEND), LW_ERR_NONE);
        EXPECT_EQ(o->Op.GetNumColors(o.get()), 1);
        EXPECT_EQ(CornerColor(o.get(), 1, 2).Rgba[1], 1.0f);
    }
    FileObject missing;
    TwoTriangles(missing.get());
    LwVclFile vcl{};
    EXPECT_EQ(missing.ReadVcl(vcl), LW_ERR_FILE_OPEN);
    EXPECT_EQ(vcl.Error, LW_ERR_FILE_OPEN);
}

// ---- texture coordinates ------------------------------------------------------------------------

// A surface with one image block of the projection on the axis, centred at the origin.
Body ImageBlock(int projection, int axis, float wrap = 1.0f) {
    Body block;
    block.Sub("IMAP", Body().S0("\x80").Sub("CHAN", Body().Id("COLR")));
    block.Sub("TMAP", Body().Sub("SIZE", Body().Vec(1, 1, 1).VX(0))).Sub("PROJ", Body().U2((uint16_t)projection));
    block.Sub("AXIS", Body().U2((uint16_t)axis)).Sub("IMAG", Body().VX(1)).Sub("WRPW", Body().F4(wrap).VX(0));
    return Body().Sub("BLOK", block.Sub("VMAP", Body().S0("uv")));
}

TEST(TexCoords, ProjectionsAtKnownPoints) {
    struct Row {
        const char* name;
        int projection, axis;
        std::vector<double> point;
        double u, v;
    } const rows[] = {
        {"planar x", LW_PROJECT_PLANAR, 0, {0, 0.25, 0.25}, 0.75, 0.75},
        {"planar y", LW_PROJECT_PLANAR, 1, {0.25, 0, 0.25}, 0.75, 0.75},
        {"planar z", LW_PROJECT_PLANAR, 2, {-0.25, 0.25, 0}, 0.25, 0.75},
        {"cylindrical y, facing -z", LW_PROJECT_CYLINDRICAL, 1, {0, 0.25, -1}, 0.5, 0.75},
        {"cylindrical y, facing +x", LW_PROJECT_CYLINDRICAL, 1, {1, 0, 0}, 0.75, 0.5},
        // At the pole v is 1, and a lone value at the wrap count moves across the seam to 0.
        {"spherical y, pole", LW_PROJECT_SPHERICAL, 1, {0, 1, 0}, 0.0, 0.0},
        {"spherical y, equator", LW_PROJECT_SPHERICAL, 1, {1, 0, 0}, 0.75, 0.5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FileObject o;
        o->Op.AddClip(o.get(), 1);
        SetSurface(o.get(), "s", ImageBlock(row.projection, row.axis));
        AddLayerWithPoints(o.get(), {row.point});
        AddPolygon(o.get(), {0}, "s");
        LwUvScratch scratch[1];
        LwMaterial* m = o->Op.GetEvaluatedMaterial(o.get(), 0);
        ASSERT_EQ(o->Op.ProjectPolygonTexCoords(o.get(), &m->Layers[0], 0, scratch), LW_ERR_NONE);
        if (row.projection != LW_PROJECT_SPHERICAL || row.point[1] == 0) {
            EXPECT_NEAR(scratch[0].Uvw[0], row.u, 1e-9);
        }
        EXPECT_NEAR(scratch[0].Uvw[1], row.v, 1e-9);
        EXPECT_EQ(scratch[0].Uvw[2], 1.0);
    }
}

TEST(TexCoords, CubicPicksTheAxisOfTheNormal) {
    FileObject o;
    o->Op.AddClip(o.get(), 1);
    SetSurface(o.get(), "s", ImageBlock(LW_PROJECT_CUBIC, 1));
    // A triangle facing +x projects as planar on X: u from z, v from y.
    AddLayerWithPoints(o.get(), {{0, 0, 0}, {0, 0.25, 0}, {0, 0, 0.25}});
    AddPolygon(o.get(), {0, 1, 2}, "s");
    ASSERT_EQ(o->Op.SetupTextureCoordinates(o.get(), 1, 1, 0), LW_ERR_NONE);
    const LwPolygon* p = o->Op.GetPolygon(o.get(), 0);
    ASSERT_EQ(p->TexChannels.size(), 1u);
    const LwTexCoord* last = o->Op.GetTexCoord(o.get(), p->TexChannels[0].Indices[2]);
    EXPECT_DOUBLE_EQ(last->Uvw[0], 0.75);
    EXPECT_DOUBLE_EQ(last->Uvw[1], 0.5);
}

TEST(TexCoords, UvMapsTagsAndSharing) {
    FileObject o;
    o->Op.AddClip(o.get(), 1);
    TwoTriangles(o.get(), ImageBlock(LW_PROJECT_UV, 0));
    const LwId txuv = LwMakeId('T', 'X', 'U', 'V');
    o->Op.AddVmap(o.get(), txuv, "uv", 2);
    for (int32_t p = 0; p < 4; ++p) {
        const float uv[2] = {(float)p, 0.5f};
        o->Op.SetVmapValue(o.get(), 0, p, uv);
    }
    ASSERT_EQ(o->Op.SetupTextureCoordinates(o.get(), 1, 1, LW_TEXCOORD_SHARE), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumTexCoords(o.get()), 4);  // points 1 and 2 shared
    // A point missing from the map leaves its polygon without coordinates.
    o->Op.ClearVmap(o.get(), 0);
    const float uv[2] = {0, 0};
    for (int32_t p = 0; p < 3; ++p) o->Op.SetVmapValue(o.get(), 0, p, uv);
    o->Op.SetPolygonTag(o.get(), 1, txuv, "0.5 0.25 1 1");
    ASSERT_EQ(o->Op.SetupTextureCoordinates(o.get(), 1, 1, 0), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumTexCoords(o.get()), 3);
    EXPECT_TRUE(o->Op.GetPolygon(o.get(), 1)->TexChannels.empty());
    LwUvScratch scratch[3];
    LwMaterial* m = o->Op.GetEvaluatedMaterial(o.get(), 0);
    EXPECT_EQ(o->Op.ProjectPolygonTexCoords(o.get(), &m->Layers[0], 1, scratch), LW_ERR_UV_NOT_FOUND);
    m->Layers[0].Projection = LW_PROJECT_PLANAR;
    ASSERT_EQ(o->Op.ProjectPolygonTexCoords(o.get(), &m->Layers[0], 1, scratch), LW_ERR_NONE);
    EXPECT_EQ(scratch[0].Uvw[0], 0.5);  // the tag's pairs replace the projection
    EXPECT_EQ(scratch[1].Uvw[1], 1.0);
    m->Layers[0].Projection = LW_PROJECT_FRONT;
    EXPECT_NE(o->Op.ProjectPolygonTexCoords(o.get(), &m->Layers[0], 1, scratch), LW_ERR_NONE);
}

const char* const kUvV4 =
    "VERSION 4\n"
    "SURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\ns\nSURFACE_IMAGE_FILE\nimages/wall.tga\n"
    "POLY_COUNT 2\n"
    "POLY 0\nPOLY_SURF 0\nPOLY_VERT_COUNT 3\n"
    "VERT 0\nVERT_UV 0 0\nVERT_RGB 1 0 0\nVERT 1\nVERT_CUV 1 0\nVERT_RGB 1 0 0\nVERT 2\nVERT_UV 0 1\nVERT_RGB 1 0 0\n"
    "CHANNEL 1\nPOLY 1\nPOLY_SURF 0\nPOLY_VERT_COUNT 3\nVERT 0\nVERT_UV 9 9\n";

TEST(UvFile, KeywordAndPositionalFiles) {
    FileObject o;
    TwoTriangles(o.get());
    o.Companion(".uv", kUvV4);
    ASSERT_EQ(o->Op.ReadUvFile(o.get(), LW_TEXCOORD_UV_COLORS), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumTexCoords(o.get()), 3);  // channel 1 changed nothing
    EXPECT_EQ(o->Op.GetNumColors(o.get()), 3);
    EXPECT_EQ(o->Op.GetPolygon(o.get(), 0)->TexChannels[0].Indices[1], 1);
    EXPECT_TRUE(o->Op.GetPolygon(o.get(), 1)->TexChannels.empty());
    EXPECT_EQ(o->Op.FindClipByName(o.get(), "images/wall.tga"), 1);
    const LwMaterial* m = o->Op.GetEvaluatedMaterial(o.get(), 0);  // the image is the surface's texture
    ASSERT_EQ(m->Layers.size(), 1u);
    EXPECT_EQ(m->Layers[0].Channel * 10 + m->Layers[0].Projection, LW_CHANNEL_COLOR * 10 + LW_PROJECT_UV);
    EXPECT_STREQ(m->Layers[0].ImageName, "images/wall.tga");  // the clip's name

    o.Companion(".uv", "2\n1\ns\nNULL\n2\n0 3\n0 0 0\n1 0 0\n0 1 0\n1 3\n0 0 0\n0 0 0\n0 0 0\n");
    ASSERT_EQ(o->Op.SetupTextureCoordinates(o.get(), 1, 1, LW_TEXCOORD_UV_FILE), LW_ERR_NONE);
    EXPECT_EQ(o->Op.GetNumTexCoords(o.get()), 0);  // a surface without an image takes none
    EXPECT_STREQ(o->MessageText, "");
}

// Corners are set only from what their own polygon gave since its corner count. (A second
// POLY_COUNT between the corners once left indices of normals it had cleared.)
TEST(UvFile, CornersGivenOnlyInPart) {
    const std::string head = "VERSION 4\nSURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\ns\nPOLY_COUNT 2\n";
    const std::string poly = "POLY 0\nPOLY_SURF 0\nPOLY_VERT_COUNT 3\n";
    const std::string normals = "VERT 0\nVERT_NORMAL 0 0 1\nVERT 1\nVERT_NORMAL 0 0 1\n";
    struct Row {
        const char* name;
        std::string text;
    } const rows[] = {
        {"cleared between the corners", head + poly + normals + "POLY_COUNT 2\n" + "VERT 2\nVERT_NORMAL 0 0 1\n"},
        {"a corner left out", head + poly + "VERT 0\nVERT_NORMAL 0 0 1\nVERT 2\nVERT_NORMAL 0 0 1\n"},
        {"given for another polygon", head + poly + normals + poly + "VERT 2\nVERT_NORMAL 0 0 1\n"},
        {"blank line and a second count", head + "  \t\nPOLY_SURF 0\nSURFACE_COUNT 0\n" + poly},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FileObject o;
        TwoTriangles(o.get());
        o.Companion(".uv", row.text);
        const int32_t result = o->Op.ReadUvFile(o.get(), LW_TEXCOORD_UV_NORMALS);
        EXPECT_TRUE(result == LW_ERR_NONE || result == LW_ERR_BAD_FORMAT);
        EXPECT_TRUE(o->Op.GetPolygon(o.get(), 0)->NormalIndices.empty());
    }
}

TEST(UvFile, HostileFilesLeaveTheProjections) {
    const std::string v4 = "VERSION 4\nSURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\ns\n";
    const std::string poly = v4 + "POLY_COUNT 2\nPOLY 0\nPOLY_SURF 0\nPOLY_VERT_COUNT 3\n";
    struct Row {
        const char* name;
        std::string text;
        const char* detail;
        bool named;  // the detail ends with the file name
    } const rows[] = {
        {"version 3", "3\n", "BAD_VERSION {3} ", false},
        {"version 4 without the keyword", "4\n", "BAD VERSION [4]", true},
        {"unknown surface", "1\n1\nnone\n", "BAD_SURFACE [0] {none} ", true},
        {"surface count past the file", "1\n99999999\n", "BAD_SURFACE [-1] {99999999} ", true},
        {"polygon count", "1\n1\ns\nNULL\n3\n", "BAD_NUMOFPOLY {3} ", true},
        {"corner count", "1\n1\ns\nNULL\n2\n0 4\n", "BAD_POLY IDX[0] NUM[4] ", true},
        {"polygon past the layer", "1\n1\ns\nNULL\n2\n7 3\n", "BAD_POLY IDX[7] NUM[3] ", true},
        {"truncated corners", "1\n1\ns\nNULL\n2\n0 3\n0 0 0\n", "BAD_POLY IDX[0] NUM[3] ", true},
        {"surface slot past the count", v4 + "SURFACE 1\n", "BAD_SURFACE [1] {1} ", true},
        {"name without a slot", "VERSION 4\nSURFACE_NAME\ns\n", "BAD_SURFACE [-1] {s} ", true},
        {"polygon slot past the count", v4 + "POLY_SURF 2\n", "BAD_SURFACE [2] {2} ", true},
        {"keyword polygon count", v4 + "POLY_COUNT 5\n", "BAD_NUMOFPOLY {POLY_COUNT 5} ", true},
        {"keyword polygon past the layer", v4 + "POLY 2\n", "BAD_POLY IDX[2] NUM[-1] ", true},
        {"vertex past the corners", poly + "VERT 3\n", "BAD_POLY IDX[0] NUM[3] ", true},
        {"vertex before the count", v4 + "POLY 0\nVERT 0\n", "BAD_POLY IDX[0] NUM[-1] ", true},
        {"coordinate without a vertex", poly + "VERT_UV 0 0\n", "BAD_POLY IDX[0] NUM[3] ", true},
        {"coordinate missing a field", poly + "VERT 0\nVERT_UV 0\n", "BAD_POLY IDX[0] NUM[3] ", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FileObject o;
        o->Op.AddClip(o.get(), 1);
        TwoTriangles(o.get(), ImageBlock(LW_PROJECT_PLANAR, 2));
        o.Companion(".uv", row.text);
        EXPECT_EQ(o->Op.ReadUvFile(o.get(), 0), LW_ERR_BAD_FORMAT);
        const std::string detail = o->MessageText;
        EXPECT_EQ(detail.rfind(row.detail, 0), 0u) << detail;
        EXPECT_EQ(detail.size() > strlen(row.detail), row.named) << detail;
        EXPECT_EQ(o->ErrorCode, LW_ERR_NONE);
        ASSERT_EQ(o->Op.SetupTextureCoordinates(o.get(), 1, 1, LW_TEXCOORD_UV_FILE), LW_ERR_NONE);
        EXPECT_EQ(o->Op.GetNumTexCoords(o.get()), 6);  // projected instead
    }
    FileObject missing;
    TwoTriangles(missing.get());
    EXPECT_EQ(missing->Op.ReadUvFile(missing.get(), 0), LW_ERR_FILE_OPEN);
}

}  // namespace
