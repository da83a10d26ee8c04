// The scene context: loading, the item list and its references, names, lines and tokens of the
// scene text, and freeing.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// Lookup tables over the item list, so that references, owners and numbered items resolve in
// constant or logarithmic time however many items a scene has. An item's place in the list is its
// Index - 1, as items are only ever appended with Index = NumItems.
struct ItemIndex {
    static constexpr int kTypes = 5;
    std::vector<LwSceneItem*> all;
    std::vector<LwItemRef> refs;
    std::vector<LwSceneItem*> owner;      // the object whose bones include a bone
    std::vector<int32_t> byType[kTypes];  // places of the items of each type
    std::vector<int32_t> objectRun;       // bones that directly follow each object

    bool Build(LwScene* scene) {
        int32_t objectsSeen = 0, bone = 0, run = -1;
        int32_t perType[kTypes] = {0, 0, 0, 0, 0};
        LwSceneItem* currentOwner = nullptr;
        for (LwSceneItem* it = scene->FirstItem; it; it = it->Next) {
            int32_t pos = (int32_t)all.size();
            if (it->Index != pos + 1) return false;
            int32_t type = it->Type;
            uint32_t index = 0;
            if (type == LW_ITEM_BONE) {
                index = objectsSeen > 0 ? (uint32_t)(objectsSeen - 1) : 0u;
            } else if (type >= 0 && type < kTypes) {
                index = (uint32_t)perType[type];
            }
            // The reference counts earlier items only, as MakeItemRef's walk does; only a bone
            // carries its place among its object's bones.
            uint32_t boneBits = type == LW_ITEM_BONE ? (uint32_t)bone : 0u;
            LwItemRef ref = ((uint32_t)type << 28) | ((boneBits & 0xFFFu) << 16) | (index & 0xFFFFu);
            if (type == LW_ITEM_OBJECT) {
                currentOwner = it;
                ++objectsSeen;
                bone = 0;
                objectRun.push_back(0);
                run = (int32_t)objectRun.size() - 1;
            } else if (type == LW_ITEM_BONE) {
                ++bone;
                if (run >= 0 && currentOwner) objectRun[run]++;
            } else {
                currentOwner = nullptr;
                run = -1;
            }
            if (type >= 0 && type < kTypes) {
                perType[type]++;
                byType[type].push_back(pos);
            }
            all.push_back(it);
            refs.push_back(ref);
            owner.push_back(type == LW_ITEM_BONE ? currentOwner : nullptr);
        }
        return true;
    }

    int32_t PlaceOf(const LwSceneItem* item) const {
        if (!item || item->Index < 1 || item->Index > (int32_t)all.size()) return -1;
        return all[item->Index - 1] == item ? item->Index - 1 : -1;
    }
};

void DropIndex(LwScene* scene) {
    delete (ItemIndex*)scene->ItemIndex;
    scene->ItemIndex = nullptr;
}

// The index, built on first use; NULL when it cannot be made (the callers then walk the list).
const ItemIndex* Index(LwScene* scene) {
    if (scene->ItemIndex) return (const ItemIndex*)scene->ItemIndex;
    ItemIndex* index = new (std::nothrow) ItemIndex;
    if (!index) return nullptr;
    try {
        if (!index->Build(scene)) {
            delete index;
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        delete index;
        return nullptr;
    }
    scene->ItemIndex = index;
    return index;
}

// ---- items --------------------------------------------------------------------------------------

LwSceneItem* GetFirstItem(LwScene* scene, int32_t type, LwSceneItem* objectItem) {
    if (!scene) return nullptr;
    if (type == LW_ITEM_BONE && objectItem) {
        LwSceneItem* next = objectItem->Next;
        return next && next->Type == LW_ITEM_BONE ? next : nullptr;
    }
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next)
        if (it->Type == type) return it;
    return nullptr;
}

LwSceneItem* GetNextItem(LwScene*, LwSceneItem* item) {
    if (!item) return nullptr;
    if (item->Type == LW_ITEM_BONE) {
        LwSceneItem* next = item->Next;
        return next && next->Type == LW_ITEM_BONE ? next : nullptr;
    }
    for (LwSceneItem* it = item->Next; it; it = it->Next)
        if (it->Type == item->Type) return it;
    return nullptr;
}

LwSceneItem* FindItemByRef(LwScene* scene, int32_t type, int32_t index, int32_t bone) {
    if (!scene || index < 0) return nullptr;
    if (const ItemIndex* x = type >= 0 && type < ItemIndex::kTypes ? Index(scene) : nullptr) {
        int32_t t = type == LW_ITEM_BONE ? LW_ITEM_OBJECT : type;
        if (index >= (int32_t)x->byType[t].size()) return nullptr;
        int32_t pos = x->byType[t][index];
        if (type != LW_ITEM_BONE) return x->all[pos];
        if (bone < 0 || bone >= x->objectRun[index]) return nullptr;
        return x->all[pos + 1 + bone];
    }
    int32_t itemType = type == LW_ITEM_BONE ? LW_ITEM_OBJECT : type;
    LwSceneItem* found = nullptr;
    int32_t n = 0;
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next) {
        if (it->Type != itemType) continue;
        if (n++ == index) {
            found = it;
            break;
        }
    }
    if (!found || type != LW_ITEM_BONE) return found;
    if (bone < 0) return nullptr;
    LwSceneItem* b = GetFirstItem(scene, LW_ITEM_BONE, found);
    for (int32_t i = 0; b && i < bone; ++i) b = GetNextItem(scene, b);
    return b;
}

LwSceneItem* ResolveRef(LwScene* scene, LwItemRef ref) {
    if (ref == 0) return nullptr;
    return FindItemByRef(scene, (int32_t)(ref >> 28), (int32_t)(ref & 0xFFFF), (int32_t)((ref >> 16) & 0xFFF));
}

LwSceneItem* GetParentItem(LwScene* scene, LwSceneItem* item) {
    return item ? ResolveRef(scene, item->Parent) : nullptr;
}

LwSceneItem* GetTargetItem(LwScene* scene, LwSceneItem* item) {
    return item ? ResolveRef(scene, item->Target) : nullptr;
}

LwSceneItem* GetItemByIndex(LwScene* scene, int32_t index) {
    if (!scene) return nullptr;
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next)
        if (it->Index == index) return it;
    return nullptr;
}

LwSceneItem* FindOwnerOfType(LwScene* scene, int32_t index, int32_t type) {
    if (!scene) return nullptr;
    LwSceneItem* owner = nullptr;
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next)
        if (it->Type == type && it->Index <= index) owner = it;
    return owner;
}

LwSceneItem* GetBoneOwner(LwScene* scene, LwSceneItem* bone) {
    if (!scene || !bone || bone->Type != LW_ITEM_BONE) return nullptr;
    if (const ItemIndex* x = Index(scene)) {
        int32_t pos = x->PlaceOf(bone);
        return pos >= 0 ? x->owner[pos] : nullptr;
    }
    // An object's bones follow it directly; any other item ends the run.
    LwSceneItem* owner = nullptr;
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next) {
        if (it == bone) return owner;
        if (it->Type == LW_ITEM_OBJECT)
            owner = it;
        else if (it->Type != LW_ITEM_BONE)
            owner = nullptr;
    }
    return nullptr;
}

int32_t GetNameOrdinal(LwScene* scene, LwSceneItem* item) {
    if (!scene || !item) return 0;
    LwSceneItem* first;
    if (item->Type == LW_ITEM_BONE) {
        LwSceneItem* owner = FindOwnerOfType(scene, item->Index, LW_ITEM_OBJECT);
        first = owner ? GetFirstItem(scene, LW_ITEM_BONE, owner) : nullptr;
    } else {
        first = GetFirstItem(scene, item->Type, nullptr);
    }
    int32_t count = 0, remembered = 0;
    for (LwSceneItem* it = first; it; it = GetNextItem(scene, it)) {
        if (strcmp(it->Name, item->Name) == 0) ++count;
        if (it == item) remembered = count;
    }
    return count < 2 ? 0 : remembered;
}

const char* GetItemDisplayName(LwScene* scene, LwSceneItem* item) {
    if (!scene || !item) return nullptr;
    int32_t ordinal = GetNameOrdinal(scene, item);
    if (ordinal)
        snprintf(scene->DisplayName, sizeof(scene->DisplayName), "%s (%d)", item->Name, ordinal);
    else
        LwCopyText(scene->DisplayName, item->Name, sizeof(scene->DisplayName));
    return scene->DisplayName;
}

LwSceneItem* FindItemByName(LwScene* scene, int32_t type, LwSceneItem* objectItem, const char* name) {
    if (!scene || !name) return nullptr;
    for (LwSceneItem* it = GetFirstItem(scene, type, objectItem); it; it = GetNextItem(scene, it)) {
        if (strcmp(GetItemDisplayName(scene, it), name) == 0) return it;
    }
    return nullptr;
}

LwKeyframeMotion* GetItemMotion(LwScene*, LwSceneItem* item) { return item ? item->Motion : nullptr; }

LwEnvelope* FindChannel(LwScene*, LwSceneItem* item, int32_t channel) {
    if (!item) return nullptr;
    for (LwEnvelope* e = item->ChannelList; e; e = e->Next)
        if (e->Channel == channel) return e;
    return nullptr;
}

int32_t CountItems(LwScene* scene, int32_t type, LwSceneItem* start) {
    if (!scene) return 0;
    int32_t n = 0;
    for (LwSceneItem* it = start ? start : scene->FirstItem; it; it = it->Next)
        if (it->Type == type) ++n;
    return n;
}

LwSceneObject* GetObjectRecord(LwScene*, LwSceneItem* item) {
    return item && item->Type == LW_ITEM_OBJECT ? item->Object : nullptr;
}
LwSceneBone* GetBoneRecord(LwScene*, LwSceneItem* item) {
    return item && item->Type == LW_ITEM_BONE ? item->Bone : nullptr;
}
LwSceneLight* GetLightRecord(LwScene*, LwSceneItem* item) {
    return item && item->Type == LW_ITEM_LIGHT ? item->Light : nullptr;
}
LwSceneCamera* GetCameraRecord(LwScene*, LwSceneItem* item) {
    return item && item->Type == LW_ITEM_CAMERA ? item->Camera : nullptr;
}

LwPlugin* GetNextPlugin(LwScene*, LwPlugin* head, LwPlugin* current) { return current ? current->Next : head; }

LwSceneFog* GetFog(LwScene* s) { return s ? s->Fog : nullptr; }
LwSceneBackdrop* GetBackdrop(LwScene* s) { return s ? s->Backdrop : nullptr; }
LwSceneComposite* GetComposite(LwScene* s) { return s ? s->Composite : nullptr; }
LwSceneProcessing* GetProcessing(LwScene* s) { return s ? s->Processing : nullptr; }
LwSceneIllumination* GetIllumination(LwScene* s) { return s ? s->Illumination : nullptr; }

LwItemRef MakeItemRef(LwScene* scene, LwSceneItem* item) {
    if (!scene || !item) return 0;
    if (const ItemIndex* x = Index(scene)) {
        // The walk below stops at the item of the same Index; the table holds each one's reference.
        int32_t pos = item->Index - 1;
        if (pos < 0 || pos >= (int32_t)x->all.size()) return 0;
        if (x->all[pos]->Type == item->Type && item->Type >= 0 && item->Type < ItemIndex::kTypes) return x->refs[pos];
    }
    uint32_t index = 0, bone = 0, objectsSeen = 0;
    const int32_t type = item->Type;
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next) {
        if (it->Index == item->Index) {
            return ((uint32_t)type << 28) | ((bone & 0xFFFu) << 16) | (index & 0xFFFFu);
        }
        if (type == LW_ITEM_BONE) {
            if (it->Type == LW_ITEM_OBJECT) {
                index = objectsSeen++;
                bone = 0;
            } else if (it->Type == LW_ITEM_BONE) {
                ++bone;
            }
        } else if (it->Type == type) {
            ++index;
        }
    }
    return 0;
}

int32_t SetParentItem(LwScene* scene, LwSceneItem* item, LwSceneItem* parent) {
    if (!item || !parent) return LW_ERR_PARAM;
    item->Parent = MakeItemRef(scene, parent);
    return LW_ERR_NONE;
}

LwSceneItem* FindItemByNumber(LwScene* scene, LwSceneItem* start, int32_t n, int32_t type) {
    if (!scene) return nullptr;
    if (n < 1) return nullptr;
    if (const ItemIndex* x = type >= 0 && type < ItemIndex::kTypes ? Index(scene) : nullptr) {
        int32_t from = start ? x->PlaceOf(start) : 0;
        if (from >= 0) {
            const std::vector<int32_t>& places = x->byType[type];
            size_t k = (size_t)(std::lower_bound(places.begin(), places.end(), from) - places.begin());
            size_t target = k + (size_t)(n - 1);
            return target < places.size() ? x->all[places[target]] : nullptr;
        }
    }
    int32_t count = 0;
    for (LwSceneItem* it = start ? start : scene->FirstItem; it; it = it->Next) {
        if (it->Type == type && ++count == n) return it;
    }
    return nullptr;
}

int32_t IsLightAffecting(LwScene* scene, LwSceneItem* objectItem, LwSceneItem* lightItem) {
    if (!scene || !objectItem || objectItem->Type != LW_ITEM_OBJECT || !objectItem->Object) return 1;
    return scene->Op.IsLightExcluded(scene, objectItem, MakeItemRef(scene, lightItem)) ? 0 : 1;
}

// ---- adding items -------------------------------------------------------------------------------

void AppendItem(LwScene* scene, LwSceneItem* item) {
    DropIndex(scene);
    if (scene->LastItem)
        scene->LastItem->Next = item;
    else
        scene->FirstItem = item;
    scene->LastItem = item;
}

LwSceneItem* NewItem(LwScene* scene, int32_t type) {
    LwSceneItem* item = (LwSceneItem*)calloc(1, sizeof(LwSceneItem));
    if (!item) return nullptr;
    scene->NumItems++;
    item->Type = type;
    item->Index = scene->NumItems;
    return item;
}

LwSceneItem* AddItem(LwScene* scene, int32_t type) {
    if (!scene) return nullptr;
    LwSceneItem* item = NewItem(scene, type);
    if (!item) return nullptr;
    AppendItem(scene, item);
    item->PathAlignLookAhead = 1.0 / scene->FramesPerSecond;
    item->GoalStrength = 1.0;
    item->HJointStiffness = item->PJointStiffness = item->BJointStiffness = 1.0;
    if (type == LW_ITEM_LIGHT)
        item->Light = scene->Op.NewLightRecord(scene);
    else if (type == LW_ITEM_CAMERA)
        item->Camera = scene->Op.NewCameraRecord(scene);
    else if (type == LW_ITEM_BONE)
        item->Bone = scene->Op.NewBoneRecord(scene);
    return item;
}

// Copies the file-name part of a native path (after the last "\").
void FileNamePart(const char* path, char* out, bool dropExtension) {
    char name[LW_PATH_SIZE] = "";
    LwPathArgs args{};
    args.Path = path;
    args.Name = name;
    LwPathOperation(5, &args);
    if (dropExtension) {
        char bare[LW_PATH_SIZE] = "";
        LwPathArgs ext{};
        ext.Path = name;
        ext.Output = bare;
        ext.Extension = const_cast<char*>("");
        LwPathOperation(4, &ext);
        LwCopyText(out, bare, 256);
    } else {
        LwCopyText(out, name, 256);
    }
}

LwSceneItem* AddObjectItem(LwScene* scene, const char* keyword, int32_t layer, const char* text) {
    if (!scene) return nullptr;
    LwSceneItem* item = NewItem(scene, LW_ITEM_OBJECT);
    if (!item) return nullptr;
    if (!keyword) keyword = "";
    if (!text) text = "";
    char path[LW_PATH_SIZE] = "";
    if (strcmp(keyword, "LoadObject") == 0) {
        LwPathArgs args{};
        args.Path = text;
        args.Output = path;
        LwPathOperation(1, &args);
        FileNamePart(path, item->Name, false);
        item->Object = scene->Op.NewObjectRecord(scene, layer, path);
        if (scene->LoadFlags & LW_SCENE_LOAD_OBJECTS) scene->Op.LoadItemObject(scene, item);
    } else if (strcmp(keyword, "LoadObjectLayer") == 0) {
        LwPathArgs args{};
        args.Path = text;
        args.Output = path;
        LwPathOperation(12, &args);
        FileNamePart(path, item->Name, true);
        item->Object = scene->Op.NewObjectRecord(scene, layer, path);
        if (scene->LoadFlags & LW_SCENE_LOAD_OBJECTS) scene->Op.LoadItemObject(scene, item);
        LwObject* object = item->Object ? item->Object->Object : nullptr;
        if (layer > 1 || !object || object->Op.GetNumLayers(object) > 1) {
            char suffix[32];
            snprintf(suffix, sizeof(suffix), ":Layer%d", layer);
            std::string name = std::string(item->Name) + suffix;
            LwCopyText(item->Name, name.c_str(), sizeof(item->Name));
        }
    } else if (strcmp(keyword, "AddNullObject") == 0) {
        LwCopyText(item->Name, text, sizeof(item->Name));
        item->Object = scene->Op.NewObjectRecord(scene, layer, nullptr);
    }
    AppendItem(scene, item);
    return item;
}

LwSceneItem* SetItemName(LwScene*, LwSceneItem* item, const char* name) {
    if (item) LwCopyText(item->Name, name, sizeof(item->Name));
    return item;
}

LwSceneItem* SetItemShow(LwScene*, LwSceneItem* item, int32_t refresh, int32_t color) {
    if (item) {
        item->Refresh = refresh;
        item->Color = color;
    }
    return item;
}

LwSceneItem* SetPivotPosition(LwScene*, LwSceneItem* item, double x, double y, double z) {
    if (item) {
        item->PivotPosition[0] = x;
        item->PivotPosition[1] = y;
        item->PivotPosition[2] = z;
    }
    return item;
}

LwSceneItem* SetPivotRotation(LwScene*, LwSceneItem* item, double h, double p, double b) {
    if (item) {
        item->PivotRotation[0] = h;
        item->PivotRotation[1] = p;
        item->PivotRotation[2] = b;
    }
    return item;
}

LwSceneItem* SetParentRef(LwScene*, LwSceneItem* item, LwItemRef ref) {
    if (item) item->Parent = ref;
    return item;
}
LwSceneItem* SetGoalRef(LwScene*, LwSceneItem* item, LwItemRef ref) {
    if (item) item->Goal = ref;
    return item;
}
LwSceneItem* SetTargetRef(LwScene*, LwSceneItem* item, LwItemRef ref) {
    if (item) item->Target = ref;
    return item;
}

// ---- object files -------------------------------------------------------------------------------

bool FileExists(const std::string& path) {
    LwPathArgs args{};
    args.Path = path.c_str();
    return LwPathOperation(13, &args);
}

int32_t LoadItemObject(LwScene* scene, LwSceneItem* item) {
    if (!scene || !item || item->Type != LW_ITEM_OBJECT || !item->Object) return LW_ERR_NONE;
    LwSceneObject* record = item->Object;
    if (!record->FileName[0]) return LW_ERR_NONE;

    LwObject* object = nullptr;
    bool failed = false;
    for (LwSceneItem* it = scene->FirstItem; it && it != item; it = it->Next) {
        if (it->Type == LW_ITEM_OBJECT && it->Object && it->Object->Object &&
            strcmp(it->Object->FileName, record->FileName) == 0) {
            LwObject* source = it->Object->Object;
            object = source->Op.CloneLwObject(source);
            failed = object == nullptr;
            break;
        }
    }
    if (!object && !failed) {
        std::string path;
        if (FileExists(record->FileName)) {
            path = record->FileName;
        } else if (scene->Options && scene->Options->ObjectDirectory[0]) {
            char joined[LW_PATH_SIZE] = "";
            LwPathArgs args{};
            args.Directory = scene->Options->ObjectDirectory;
            args.Path = record->FileName;
            args.Output = joined;
            LwPathOperation(8, &args);
            if (FileExists(joined)) path = joined;
        }
        if (!path.empty()) {
            for (char& c : path)
                if (c == '\\') c = '/';
            object = OpenLwObjectFile(path.c_str(), scene->Options);
        }
    }
    if (object) {
        LwLayer* layer = nullptr;
        for (LwLayer* l = object->Op.GetNextLayer(object, nullptr); l; l = object->Op.GetNextLayer(object, l)) {
            if (l->LayerNumber + 1 == record->Layer) {
                layer = l;
                break;
            }
        }
        if (layer && object->Op.SetCurrentLayer(object, layer->Position) == LW_ERR_NONE) {
            record->Object = object;
            return LW_ERR_NONE;
        }
        DestroyLwObject(&object);
    }
    item->LoadStatus = LW_ERR_FILE_OPEN;
    scene->ErrorCode = LW_ERR_FILE_OPEN;
    LwCopyText(scene->FailedFileName, record->FileName, sizeof(scene->FailedFileName));
    return LW_ERR_FILE_OPEN;
}

// ---- the text -----------------------------------------------------------------------------------

int32_t ReadLine(LwScene* scene, char* buffer, int32_t size) {
    if (!scene || !buffer || size <= 0) return 0;
    buffer[0] = '\0';
    const char* p = scene->Cursor;
    const char* end = scene->TextEnd;
    while (p < end) {
        int32_t n = 0;
        // Bytes beyond the buffer are dropped up to the line end.
        while (p < end && *p != '\r' && *p != '\n') {
            if (n < size - 1) buffer[n++] = *p;
            ++p;
        }
        if (p < end) ++p;  // the CR or LF; the LF of a CR LF pair reads as an empty line
        buffer[n] = '\0';
        if (n > 0) {
            scene->Cursor = p;
            return n;
        }
    }
    scene->Cursor = end;
    return 0;
}

int32_t AppendText(LwScene* scene, char** block, int32_t used, const char* text) {
    if (!block || !text) return used;
    size_t len = strlen(text);
    if (used <= 0 || !*block) {
        char* fresh = (char*)malloc(len + 1);
        if (!fresh) {
            if (scene) scene->ErrorCode = LW_ERR_MEMORY;
            return used;
        }
        memcpy(fresh, text, len + 1);
        *block = fresh;
        return (int32_t)(len + 1);
    }
    if ((size_t)used + len + 1 > (size_t)INT32_MAX) {
        if (scene) scene->ErrorCode = LW_ERR_MEMORY;
        return used;
    }
    char* grown = (char*)realloc(*block, (size_t)used + len + 1);
    if (!grown) {  // the block stays as it was
        if (scene) scene->ErrorCode = LW_ERR_MEMORY;
        return used;
    }
    memcpy(grown + used, text, len + 1);
    *block = grown;
    return used + (int32_t)(len + 1);
}

inline bool IsSeparator(char c) { return c == ' ' || c == '\t'; }

// A line without a token still gives one: tokens[0] is then NULL.
int32_t SplitTokens(LwScene*, char* line, int32_t count, char** tokens) {
    if (!tokens || count <= 0) return 0;
    tokens[0] = nullptr;
    if (!line) return 0;
    char* p = line;
    int32_t found = 0;
    while (found < count - 1) {
        while (IsSeparator(*p)) ++p;
        if (!*p) break;
        tokens[found++] = p;
        while (*p && !IsSeparator(*p)) ++p;
        if (*p) *p++ = '\0';
    }
    if (found == count - 1) {
        while (IsSeparator(*p)) ++p;
        tokens[count - 1] = p;  // "" when nothing follows
        return count;
    }
    return found > 0 ? found : 1;
}

void Trace(LwScene* scene, const char* format, ...) {
    if (!scene || !scene->TraceFile) return;
    va_list args;
    va_start(args, format);
    LwVPrintf(scene->TraceFile, format, args);
    va_end(args);
    fflush(scene->TraceFile);
}

// ---- bone rest points ---------------------------------------------------------------------------

struct Matrix {
    double m[4][4];
};

Matrix Identity() {
    Matrix r{};
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0;
    return r;
}

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Matrix Translation(double x, double y, double z) {
    Matrix r = Identity();
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix RotationX(double a) {
    Matrix r = Identity();
    r.m[1][1] = cos(a);
    r.m[1][2] = sin(a);
    r.m[2][1] = -sin(a);
    r.m[2][2] = cos(a);
    return r;
}

Matrix RotationY(double a) {
    Matrix r = Identity();
    r.m[0][0] = cos(a);
    r.m[0][2] = -sin(a);
    r.m[2][0] = sin(a);
    r.m[2][2] = cos(a);
    return r;
}

Matrix RotationZ(double a) {
    Matrix r = Identity();
    r.m[0][0] = cos(a);
    r.m[0][1] = sin(a);
    r.m[1][0] = -sin(a);
    r.m[1][1] = cos(a);
    return r;
}

void Transform(const Matrix& m, double x, double y, double z, double out[3]) {
    for (int j = 0; j < 3; ++j) out[j] = x * m.m[0][j] + y * m.m[1][j] + z * m.m[2][j] + m.m[3][j];
}

// The factors one bone adds to its rest matrix.
Matrix BoneFactors(LwScene* scene, LwSceneItem* b) {
    double p[3] = {0, 0, 0}, q[3] = {0, 0, 0};
    scene->Op.EvaluateMotion(scene, b, LW_MOTION_PIVOT_POSITION, 0.0, p);
    scene->Op.EvaluateMotion(scene, b, LW_MOTION_PIVOT_ROTATION, 0.0, q);
    const double* d = b->Bone->BoneRestDirection;
    const double* r = b->Bone->BoneRestPosition;
    Matrix m = Translation(-p[0], -p[1], -p[2]);
    m = Multiply(m, RotationZ(d[2]));
    m = Multiply(m, RotationX(d[1]));
    m = Multiply(m, RotationY(d[0]));
    m = Multiply(m, RotationZ(q[2]));
    m = Multiply(m, RotationX(q[1]));
    m = Multiply(m, RotationY(q[0]));
    return Multiply(m, Translation(r[0], r[1], r[2]));
}

inline bool IsBone(const LwSceneItem* b) { return b && b->Type == LW_ITEM_BONE && b->Bone; }

void StoreRest(LwSceneItem* bone, const Matrix& m) {
    Transform(m, 0, 0, 0, bone->Bone->BoneRestStart);
    Transform(m, 0, 0, bone->Bone->BoneRestLength, bone->Bone->BoneRestEnd);
}

// A bone's rest matrix is its own factors times its parent bone's rest matrix, so each matrix is
// computed once. A chain that loops is cut where it closes.
bool ComputeBoneRestIndexed(LwScene* scene, const ItemIndex* x) {
    try {
        std::vector<Matrix> rest(x->all.size());
        std::vector<uint8_t> state(x->all.size(), 0);  // 0 new, 1 on the current path, 2 done
        std::vector<int32_t> path;
        for (size_t objectPlace : x->byType[LW_ITEM_OBJECT]) {
            for (size_t pos = objectPlace + 1; pos < x->all.size() && x->all[pos]->Type == LW_ITEM_BONE; ++pos) {
                LwSceneItem* bone = x->all[pos];
                if (!bone->Bone) continue;
                path.clear();
                LwSceneItem* b = bone;
                int32_t place = x->PlaceOf(b);
                while (IsBone(b) && place >= 0 && state[place] == 0) {
                    state[place] = 1;
                    path.push_back(place);
                    b = GetParentItem(scene, b);
                    place = x->PlaceOf(b);
                }
                Matrix base = IsBone(b) && place >= 0 && state[place] == 2 ? rest[place] : Identity();
                for (size_t i = path.size(); i-- > 0;) {
                    rest[path[i]] = Multiply(BoneFactors(scene, x->all[path[i]]), base);
                    base = rest[path[i]];
                    state[path[i]] = 2;
                }
                StoreRest(bone, rest[pos]);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ComputeBoneRest(LwScene* scene) {
    if (!scene) return;
    if (const ItemIndex* x = Index(scene))
        if (ComputeBoneRestIndexed(scene, x)) return;
    for (LwSceneItem* object = GetFirstItem(scene, LW_ITEM_OBJECT, nullptr); object;
         object = GetNextItem(scene, object)) {
        for (LwSceneItem* bone = GetFirstItem(scene, LW_ITEM_BONE, object); bone; bone = GetNextItem(scene, bone)) {
            if (!bone->Bone) continue;
            Matrix m = Identity();
            // A parent chain that loops stops after as many steps as there are items.
            int32_t steps = LwChainLimit(scene);
            for (LwSceneItem* b = bone; IsBone(b) && steps-- > 0; b = GetParentItem(scene, b))
                m = Multiply(m, BoneFactors(scene, b));
            StoreRest(bone, m);
        }
    }
}

// ---- freeing ------------------------------------------------------------------------------------

void FreeItem(LwSceneItem* item) {
    switch (item->Type) {
    case LW_ITEM_OBJECT:
        if (LwSceneObject* o = item->Object) {
            DestroyLwObject(&o->Object);
            LwFreeEnvelopes(o->MorphEnvelope);
            LwFreeEnvelopes(o->DissolveEnvelope);
            LwFreeEnvelopes(o->PolygonSizeEnvelope);
            for (LwExcludeLight* e = o->ExcludeLights; e;) {
                LwExcludeLight* next = e->Next;
                free(e);
                e = next;
            }
            LwFreePlugins(o->Plugins);
            free(o);
        }
        break;
    case LW_ITEM_LIGHT:
        if (LwSceneLight* l = item->Light) {
            LwFreeEnvelopes(l->LightColorEnvelope);
            LwFreeEnvelopes(l->LightIntensityEnvelope);
            LwFreeEnvelopes(l->LightRangeEnvelope);
            LwFreeEnvelopes(l->LightConeAngleEnvelope);
            LwFreeEnvelopes(l->LightEdgeAngleEnvelope);
            LwFreeEnvelopes(l->ShadowMapAngleEnvelope);
            free(l);
        }
        break;
    case LW_ITEM_CAMERA:
        if (LwSceneCamera* c = item->Camera) {
            LwFreeEnvelopes(c->ZoomFactorEnvelope);
            LwFreeEnvelopes(c->BlurLengthEnvelope);
            LwFreeEnvelopes(c->FocalDistanceEnvelope);
            LwFreeEnvelopes(c->LensFStopEnvelope);
            free(c);
        }
        break;
    case LW_ITEM_BONE:
        free(item->Bone);
        break;
    default:
        break;
    }
    LwFreeKeyframeMotion(item->Motion);
    LwFreeEnvelopes(item->ChannelList);
    LwFreePlugins(item->Plugins);
    free(item);
}

void FillOperations(LwSceneOperations* op) {
    op->GetFirstItem = GetFirstItem;
    op->GetNextItem = GetNextItem;
    op->GetParentItem = GetParentItem;
    op->GetTargetItem = GetTargetItem;
    op->GetItemByIndex = GetItemByIndex;
    op->FindItemByName = FindItemByName;
    op->GetItemDisplayName = GetItemDisplayName;
    op->GetItemMotion = GetItemMotion;
    op->FindChannel = FindChannel;
    op->CountItems = CountItems;
    op->GetObjectRecord = GetObjectRecord;
    op->GetBoneRecord = GetBoneRecord;
    op->GetLightRecord = GetLightRecord;
    op->GetCameraRecord = GetCameraRecord;
    op->GetNextPlugin = GetNextPlugin;
    op->GetFog = GetFog;
    op->GetBackdrop = GetBackdrop;
    op->GetComposite = GetComposite;
    op->GetProcessing = GetProcessing;
    op->GetIllumination = GetIllumination;
    op->LoadItemObject = LoadItemObject;
    op->DumpLwScene = LwSceneDump;
    op->GetVersionText = LwGetVersionText;
    op->SetParentItem = SetParentItem;
    op->IsLightAffecting = IsLightAffecting;
    op->ReadLine = ReadLine;
    op->AppendText = AppendText;
    op->SplitTokens = SplitTokens;
    op->Trace = Trace;
    op->AddObjectItem = AddObjectItem;
    op->AddItem = AddItem;
    op->SetItemName = SetItemName;
    op->SetItemShow = SetItemShow;
    op->SetPivotPosition = SetPivotPosition;
    op->SetPivotRotation = SetPivotRotation;
    op->SetParentRef = SetParentRef;
    op->SetGoalRef = SetGoalRef;
    op->SetTargetRef = SetTargetRef;
    op->FindItemByNumber = FindItemByNumber;
    op->FindItemByRef = FindItemByRef;
    op->FindOwnerOfType = FindOwnerOfType;
    op->GetBoneOwner = GetBoneOwner;
    op->GetNameOrdinal = GetNameOrdinal;
    op->MakeItemRef = MakeItemRef;
    op->ComputeBoneRest = ComputeBoneRest;
    LwFillRecordOperations(op);
    LwFillMotionOperations(op);
}

}  // namespace

LwScene* LoadLwScene(const char* text, uint32_t length, uint32_t flags, const LwLoadOptions* options) {
    LwScene* scene = (LwScene*)calloc(1, sizeof(LwScene));
    if (!scene) return nullptr;
    scene->Options = (LwLoadOptions*)calloc(1, sizeof(LwLoadOptions));
    if (!scene->Options) {
        free(scene);
        return nullptr;
    }
    if (options)
        *scene->Options = *options;
    else
        scene->Options->TexChannelMask = 1;
    scene->Options->ObjectDirectory[sizeof(scene->Options->ObjectDirectory) - 1] = '\0';
    scene->LoadFlags = flags;
    FillOperations(&scene->Op);

    if (!text) length = 0;
    scene->Text = text;
    scene->Cursor = text;
    scene->TextEnd = text ? text + length : text;
    scene->TextLength = length;
    scene->FramesPerSecond = 30.0;
    scene->FirstFrame = 1;
    scene->LastFrame = 60;
    scene->FrameStep = 1;
    scene->PreviewFirstFrame = 1;
    scene->PreviewLastFrame = 60;
    scene->PreviewFrameStep = 1;

    char line[LW_LINE_SIZE];
    // An empty text, or a header without its version line, is not a scene.
    if (!scene->Op.ReadLine(scene, line, sizeof(line)) || strcmp(line, "LWSC") != 0) {
        scene->ErrorCode = LW_ERR_BAD_FORMAT;
        return scene;
    }
    if (!scene->Op.ReadLine(scene, line, sizeof(line))) {
        scene->ErrorCode = LW_ERR_BAD_FORMAT;
        return scene;
    }
    scene->Version = LwParseInt(line);
    scene->Fog = scene->Op.NewFog(scene);
    scene->Backdrop = scene->Op.NewBackdrop(scene);
    scene->Composite = scene->Op.NewComposite(scene);
    scene->Processing = scene->Op.NewProcessing(scene);
    scene->Illumination = scene->Op.NewIllumination(scene);
    int32_t result;
    if (scene->Version == 1) {
        result = ParseSceneV1(scene);
    } else if (scene->Version == 3) {
        result = ParseSceneV3(scene);
    } else {
        scene->ErrorCode = LW_ERR_BAD_FORMAT;
        return scene;
    }
    LwPlaceChannels(scene);
    if (result == LW_ERR_NONE) {
        scene->Op.ComputeBoneRest(scene);
        if (scene->InputFile) {
            fclose(scene->InputFile);
            scene->InputFile = nullptr;
        }
    }
    return scene;
}

void FreeLwScene(LwScene** pointer) {
    if (!pointer) return;
    LwScene* scene = *pointer;
    if (!scene) return;
    // Clones share their data with the context they were made from, so they go first.
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next) {
        if (it->Type == LW_ITEM_OBJECT && it->Object && it->Object->Object &&
            (it->Object->Object->Flags & LW_OBJECT_CLONE))
            DestroyLwObject(&it->Object->Object);
    }
    for (LwSceneItem* it = scene->FirstItem; it;) {
        LwSceneItem* next = it->Next;
        FreeItem(it);
        it = next;
    }
    if (LwSceneFog* f = scene->Fog) {
        LwFreeEnvelopes(f->FogMinDistEnvelope);
        LwFreeEnvelopes(f->FogMaxDistEnvelope);
        LwFreeEnvelopes(f->FogMinAmountEnvelope);
        LwFreeEnvelopes(f->FogMaxAmountEnvelope);
        LwFreePlugins(f->Plugins);
        free(f);
    }
    if (LwSceneBackdrop* b = scene->Backdrop) {
        LwFreePlugins(b->Plugins);
        free(b);
    }
    if (LwSceneComposite* c = scene->Composite) {
        LwFreeClip(c->BGImage);
        LwFreeClip(c->FGImage);
        LwFreeClip(c->FGAlphaImage);
        LwFreeEnvelopes(c->FGDissolveEnvelope);
        free(c);
    }
    if (LwSceneProcessing* p = scene->Processing) {
        LwFreeEnvelopes(p->SaturationEnvelope);
        LwFreeEnvelopes(p->GlowIntensityEnvelope);
        LwFreeEnvelopes(p->GlowRadiusEnvelope);
        LwFreePlugins(p->PixelFilters);
        LwFreePlugins(p->ImageFilters);
        free(p);
    }
    if (LwSceneIllumination* i = scene->Illumination) {
        LwFreeEnvelopes(i->AmbientColorEnvelope);
        LwFreeEnvelopes(i->AmbientIntensityEnvelope);
        LwFreeEnvelopes(i->GlobalLightIntensityEnvelope);
        LwFreeEnvelopes(i->GlobalFlareIntensityEnvelope);
        LwFreeEnvelopes(i->CausticIntensityEnvelope);
        free(i);
    }
    LwFreePlugins(scene->MasterPlugins);
    LwFreePlugins(scene->UnlinkedPlugins);
    DropIndex(scene);
    free(scene->ChannelBlock);  // after the items: their envelopes may lie in it
    if (scene->InputFile) fclose(scene->InputFile);
    free(scene->Options);
    MemoryTracker* tracker = scene->Tracker;
    free(scene);
    DestroyMemoryTracker(&tracker);
    *pointer = nullptr;
}
