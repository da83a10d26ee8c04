// Library support: path operations, compares, error texts, the tracked allocator, the dump line
// writer, and the object context as far as it exists.
#include "SceneTestUtil.h"

#include "lightwave/LwSupport.h"
#include "lightwave/object/LwObject.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace lwtest;

namespace {

struct PathOp {
    char dir[LW_PATH_SIZE] = "";
    char name[LW_PATH_SIZE] = "";
    char ext[LW_PATH_SIZE] = "";
    char out[LW_PATH_SIZE] = "";
    LwPathArgs args{};
    bool ok = false;

    PathOp(int op, const char* path, const char* directory = nullptr, const char* extension = nullptr,
           const char* nameIn = nullptr) {
        if (directory) LwCopyText(dir, directory, sizeof(dir));
        if (extension) LwCopyText(ext, extension, sizeof(ext));
        if (nameIn) LwCopyText(name, nameIn, sizeof(name));
        args.Directory = dir;
        args.Name = name;
        args.Extension = ext;
        args.Path = path;
        args.Output = out;
        ok = LwPathOperation(op, &args);
    }
};

TEST(PathOperations, LightWaveAndVolumeForms) {
    EXPECT_STREQ(PathOp(12, "Vol:dir/file.lwo").out, "Vol:\\dir\\file.lwo");
    EXPECT_STREQ(PathOp(1, "Vol:dir/file.lwo").out, "Vol:dir\\file.lwo");
    EXPECT_STREQ(PathOp(1, "Objects:tree.lwo").out, "\\tree.lwo");
    EXPECT_STREQ(PathOp(1, ":Objects:tree.lwo").out, "Objects\\tree.lwo");
    EXPECT_STREQ(PathOp(1, "C:\\a\\b.lwo").out, "C:\\a\\b.lwo");
    EXPECT_STREQ(PathOp(11, "C:\\data\\tree.lwo").out, "C:data/tree.lwo");
    EXPECT_EQ(strlen(PathOp(12, std::string(1000, 'x').c_str()).out), 255u);  // long paths are cut
}

TEST(PathOperations, ExtensionsBelongToTheFileName) {
    EXPECT_STREQ(PathOp(4, "tree.lwo", nullptr, "").out, "tree");
    EXPECT_STREQ(PathOp(4, "tree.lwo", nullptr, ".t3o").out, "tree.t3o");
    EXPECT_STREQ(PathOp(4, "tree", nullptr, ".uv").out, "tree.uv");
    // A dot in a directory name is not an extension.
    EXPECT_STREQ(PathOp(4, "data.v2\\tree", nullptr, ".uv").out, "data.v2\\tree.uv");
    EXPECT_STREQ(PathOp(7, "data.v2\\tree").ext, "");
    EXPECT_STREQ(PathOp(7, "data\\tree.lwo").ext, ".lwo");
}

TEST(PathOperations, SplitJoinRelativeParent) {
    PathOp split(2, "a\\b\\c.lwo");
    EXPECT_STREQ(split.dir, "a\\b");
    EXPECT_STREQ(split.name, "c.lwo");
    EXPECT_STREQ(PathOp(5, "c.lwo").name, "c.lwo");
    EXPECT_STREQ(PathOp(6, "c.lwo").dir, "");
    EXPECT_STREQ(PathOp(3, nullptr, "dir", nullptr, "\\file").out, "dir\\file");
    EXPECT_STREQ(PathOp(3, nullptr, "dir\\", nullptr, "file").out, "dir\\file");
    EXPECT_STREQ(PathOp(3, nullptr, "dir\\", nullptr, "\\file").out, "dir\\file");
    EXPECT_STREQ(PathOp(3, nullptr, "", nullptr, "file").out, "file");
    EXPECT_STREQ(PathOp(8, "x.lwo", "objs").out, "objs\\x.lwo");
    EXPECT_STREQ(PathOp(9, "C:\\data\\obj\\a.lwo", "c:\\Data").out, "obj\\a.lwo");
    EXPECT_STREQ(PathOp(9, "D:\\x.lwo", "c:\\Data").out, "D:\\x.lwo");
    EXPECT_STREQ(PathOp(10, "a\\b\\").dir, "a");
    EXPECT_STREQ(PathOp(10, "abc").dir, "abc");
}

TEST(PathOperations, MissingFieldsAndUnknownNumbers) {
    LwPathArgs args{};
    args.Path = "x";
    EXPECT_FALSE(LwPathOperation(1, &args));
    EXPECT_EQ(args.Result, 1);
    EXPECT_TRUE(LwPathOperation(99, &args));
    EXPECT_EQ(args.Result, 0);
    args.Path = "surely/not/here.lwo";
    EXPECT_FALSE(LwPathOperation(13, &args));
    EXPECT_EQ(args.Result, 2);
}

TEST(Support, CompareAndErrorTexts) {
    EXPECT_EQ((std::vector<int>{LwStrCaseCompare("Light", "LIGHT"), LwStrCaseCompare("Light", "Lights"),
                                LwStrNCaseCompare("Lights", "LIGHT", 5), LwStrNCaseCompare("ab", "AB", 10),
                                LwStrNCaseCompare("abc", "abd", 3), LwStrNCaseCompare("x", "y", 0)}),
              (std::vector<int>{0, 1, 0, 0, 1, 0}));
    EXPECT_STREQ(LwErrorText(14), "unknown error");
    EXPECT_STREQ(LwErrorText(-1), "unknown error");
}

TEST(Support, MemoryTrackerRecordsAndFrees) {
    MemoryTracker* t = CreateMemoryTracker();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Alloc(t, 0), nullptr);
    char* a = (char*)t->Alloc(t, 16);
    ASSERT_NE(a, nullptr);
    a = (char*)t->Realloc(t, a, 64);
    EXPECT_EQ(t->TotalSize, 64);
    EXPECT_EQ(t->Count, 1);
    void* b = t->Alloc(t, 8);
    t->Free(t, b);
    EXPECT_EQ(t->TotalSize, 64);
    int local = 0;
    t->Free(t, &local);        // not recorded: nothing happens
    DestroyMemoryTracker(&t);  // frees the remaining block
    EXPECT_EQ(t, nullptr);
    DestroyMemoryTracker(&t);
    // A context has none until a caller records; one set there goes with the context.
    ScenePtr s = Load("LWSC\n3\n");
    EXPECT_EQ(s->Tracker, nullptr);
    s->Tracker = CreateMemoryTracker();
    ASSERT_NE(s->Tracker->Alloc(s->Tracker, 32), nullptr);
}

TEST(Support, DumpPrintfIndentsAndKeepsLongLinesWhole) {
    std::string text = Capture([](FILE* f) { DumpPrintf(f, 2, "%s %d %f\n", "x", 3, 0.5); });
    EXPECT_EQ(text, "\t\tx 3 0.500000\n");
    DumpPrintf(nullptr, 1, "nothing\n");
    std::string big(5000, 'q');
    EXPECT_EQ(Capture([&](FILE* f) { DumpPrintf(f, 0, "\"%s\"\n", big.c_str()); }).size(), 5003u);
}

const lwobj::Bytes kEmptyLwo2 = {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'L', 'W', 'O', '2'};

TEST(ObjectContext, CreateDestroyErrorTextAndReaders) {
    lwobj::TempPath lwo2(kEmptyLwo2), shortFile(lwobj::Bytes{'F', 'O'});
    LwObject* o = CreateLwObject(0);
    ASSERT_NE(o, nullptr);
    o->Op.Trace(o, "nothing %d\n", 1);  // no trace stream: nothing happens
    EXPECT_EQ(ReadLwo2File(o, "no/such/file.lwo", 0), LW_ERR_FILE_OPEN);
    EXPECT_STREQ(o->MessageText, "no/such/file.lwo");
    EXPECT_STREQ(o->Op.GetLastErrorText(o), "file open error");
    EXPECT_STREQ(o->Op.GetLastErrorText(o), "no error");
    LwObject* clone = o->Op.CloneLwObject(o);
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(clone->Flags & LW_OBJECT_CLONE);
    DestroyLwObject(&clone);
    EXPECT_EQ(o->Op.GetNumLayers(o), 0);  // the source stays usable
    // The readers check the form; an empty LWO2 form is an empty object.
    EXPECT_EQ(ReadLwo2File(o, shortFile.path.c_str(), 0), LW_ERR_FILE_READ);
    EXPECT_EQ(ReadLwobFile(o, lwo2.path.c_str(), 0), LW_ERR_UNKNOWN_TYPE);
    EXPECT_EQ(ReadLwo2File(o, lwo2.path.c_str(), 0), LW_ERR_NONE);
    DestroyLwObject(&o);
    EXPECT_EQ(o, nullptr);
    DestroyLwObject(&o);
    LwObject* opened = OpenLwObjectFile(lwo2.path.c_str(), nullptr);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->FileType, LW_FILE_LWO2);
    DestroyLwObject(&opened);
}

TEST(ObjectContext, SceneItemsWhoseObjectsCannotLoad) {
    // A valid object without the layer the item names fails like a missing file.
    lwobj::TempPath lwo2(kEmptyLwo2);
    std::string text = "LWSC\n3\nLoadObjectLayer 1 " + lwo2.path +
                       "\nLoadObjectLayer 2 missing/file.lwo\n"
                       "AddNullObject N\n";
    ScenePtr s = Load(text, LW_SCENE_LOAD_OBJECTS | LW_SCENE_MOTION_TO_CHANNELS);
    EXPECT_EQ(s->ErrorCode, LW_ERR_FILE_OPEN);
    LwSceneItem* first = s->FirstItem;
    EXPECT_EQ(first->LoadStatus, LW_ERR_FILE_OPEN);
    EXPECT_EQ(first->Next->LoadStatus, LW_ERR_FILE_OPEN);
    EXPECT_STREQ(s->FailedFileName, "missing\\file.lwo");
    EXPECT_STREQ(first->Next->Name, "file:Layer2");
    EXPECT_EQ(first->Next->Next->LoadStatus, 0);
    // With an object directory that does not exist the first object still fails; freeing twice is harmless.
    LwLoadOptions options{};
    LwCopyText(options.ObjectDirectory, "no_such_dir", sizeof(options.ObjectDirectory));
    LwScene* o = LoadLwScene(text.data(), (uint32_t)text.size(), LW_SCENE_LOAD_OBJECTS, &options);
    EXPECT_STREQ(o->Options->ObjectDirectory, "no_such_dir");
    EXPECT_EQ(o->FirstItem->LoadStatus, LW_ERR_FILE_OPEN);
    FreeLwScene(&o);
    FreeLwScene(&o);
    FreeLwScene(nullptr);
    // Without the flag nothing is loaded and nothing fails.
    ScenePtr plain = Load(text);
    EXPECT_EQ(plain->ErrorCode, 0);
    EXPECT_EQ(plain->FirstItem->LoadStatus, 0);
}

TEST(SceneRecords, CreatorsAndLists) {
    // The lists a plug-in joins are the reader's (SceneV3.PluginRouting); one of a class no list takes
    // is still the scene's to free (the leak check sees it).
    ScenePtr s = Load("LWSC\n3\nAddNullObject N\nAddLight\n");
    LwScene* sc = s.get();
    ASSERT_NE(sc->Op.NewPlugin(sc, sc->Processing, 42, 5, "loose"), nullptr);
    LwSceneItem* obj = sc->FirstItem;
    LwSceneItem* light = obj->Next;
    EXPECT_NE(sc->Op.AddExcludeLight(sc, obj, 0x20000001), nullptr);
    sc->Op.AddExcludeLight(sc, obj, 0x20000001);
    EXPECT_EQ(sc->Op.AddExcludeLight(sc, light, 0x20000001), nullptr);
    EXPECT_EQ(sc->Op.IsLightExcluded(sc, obj, 0x20000001), 1);
    EXPECT_EQ(sc->Op.IsLightExcluded(sc, obj, 0x20000002), 0);
    EXPECT_EQ(sc->Op.IsLightExcluded(sc, light, 0x20000001), 0);
    EXPECT_EQ(sc->Op.SetParentItem(sc, light, obj), 0);
    EXPECT_EQ(light->Parent, 0x10000000u);
    EXPECT_EQ(sc->Op.SetParentItem(sc, nullptr, obj), LW_ERR_PARAM);
    EXPECT_EQ(sc->Op.SetParentItem(sc, light, nullptr), LW_ERR_PARAM);
}

// Blank and tab separate; the last token is the rest of the line. A line without a token gives one
// token, NULL, and the readers take it as an absent value.
TEST(SceneRecords, SplitTokens) {
    ScenePtr s = Load("LWSC\n3\n");
    const struct {
        const char* line;
        int32_t n, count;
        std::vector<const char*> tokens;  // NULL for a NULL token
    } rows[] = {
        {"LoadObjectLayer 1 Objects/big tree.lwo", 3, 3, {"LoadObjectLayer", "1", "Objects/big tree.lwo"}},
        {"  a\tb  ", 5, 2, {"a", "b"}},
        {"a  ", 2, 2, {"a", ""}},
        {" \t  ", 2, 1, {nullptr}},
        {"", 3, 1, {nullptr}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        std::string line = row.line;
        char* tokens[5] = {};
        ASSERT_EQ(s->Op.SplitTokens(s.get(), &line[0], row.n, tokens), row.count);
        for (size_t i = 0; i < row.tokens.size(); ++i) {
            if (row.tokens[i]) {
                EXPECT_STREQ(tokens[i], row.tokens[i]);
            } else {
                EXPECT_EQ(tokens[i], nullptr);
            }
        }
    }
    // Keyword values of blanks only read as absent.
    ScenePtr blanks = Load("LWSC\n3\nLoadObjectLayer \t \nPlugin   \nAddNullObject N\nShowObject \t\n");
    EXPECT_EQ(blanks->ErrorCode, LW_ERR_NONE);
    ASSERT_NE(blanks->FirstItem, nullptr);
    EXPECT_STREQ(blanks->FirstItem->Name, ":Layer0");
}

TEST(SceneRecords, ReadLineCutsLongLines) {
    // A line longer than the buffer is cut, and nothing is written past it.
    std::string text = "LWSC\n3\n" + std::string(40, 'z') + "\nnext\n";
    ScenePtr t = Load(text);
    t->Cursor = t->Text;
    char small[8];
    memset(small, 'X', sizeof(small));
    EXPECT_EQ(t->Op.ReadLine(t.get(), small, 8), 4);
    EXPECT_EQ(t->Op.ReadLine(t.get(), small, 8), 1);
    EXPECT_EQ(t->Op.ReadLine(t.get(), small, 8), 7);
    EXPECT_STREQ(small, "zzzzzzz");
    EXPECT_EQ(t->Op.ReadLine(t.get(), small, 8), 4);
    EXPECT_STREQ(small, "next");
    EXPECT_EQ(t->Op.ReadLine(t.get(), small, 8), 0);
}

}  // namespace
