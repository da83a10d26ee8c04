// The object context as far as the scene half needs it. The database holds no layers until its
// file readers exist; until then they check the file and report that they cannot load it.
#include "lightwave/LwObject.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

LwLayer* GetNextLayer(LwObject* object, LwLayer* layer) {
    if (!object) return nullptr;
    return layer ? layer->Next : object->Layers;
}

int32_t GetLayerCount(LwObject* object) { return object ? object->NumLayers : 0; }

int32_t SetCurrentLayer(LwObject* object, int32_t position) {
    if (!object || position < 0 || position >= object->NumLayers) return LW_ERR_PARAM;
    LwLayer* layer = object->Layers;
    for (int32_t i = 0; layer && i < position; ++i) layer = layer->Next;
    if (!layer) return LW_ERR_PARAM;
    object->CurrentLayer = layer;
    return LW_ERR_NONE;
}

int32_t GetPointCount(LwObject* object) { return object && object->CurrentLayer ? object->CurrentLayer->NumPoints : 0; }

int32_t GetPolygonCount(LwObject* object) {
    return object && object->CurrentLayer ? object->CurrentLayer->PolygonListCount : 0;
}

int32_t GetSurfaceCount(LwObject* object) { return object ? object->NumSurfaces : 0; }

void Trace(LwObject* object, const char* format, ...) {
    if (!object || !object->TraceFile) return;
    va_list args;
    va_start(args, format);
    LwVPrintf(object->TraceFile, format, args);
    va_end(args);
    fflush(object->TraceFile);
}

int32_t LoadLwObject(LwObject* object, const char* fileName, int32_t type, const LwLoadOptions* options) {
    if (!object || !fileName || !options) return LW_ERR_PARAM;
    if (type == LW_FILE_LWOB) return ReadLwobFile(object, fileName, options->ReaderOption);
    if (type == LW_FILE_LWO2) return ReadLwo2File(object, fileName, options->ReaderOption);
    object->ErrorCode = LW_ERR_UNKNOWN_TYPE;
    return LW_ERR_UNKNOWN_TYPE;
}

LwObject* CloneLwObject(LwObject* object) {
    if (!object) return nullptr;
    LwObject* clone = (LwObject*)malloc(sizeof(LwObject));
    if (!clone) return nullptr;
    memcpy(clone, object, sizeof(LwObject));
    clone->Flags |= LW_OBJECT_CLONE;
    return clone;
}

void ReleaseLayers(LwObject* object) {
    LwLayer* layer = object->Layers;
    while (layer) {
        LwLayer* next = layer->Next;
        free(layer);
        layer = next;
    }
    object->Layers = nullptr;
    object->CurrentLayer = nullptr;
    object->NumLayers = 0;
}

// Reads the FORM header of an object file; the database cannot hold its contents yet.
int32_t ReadObjectFile(LwObject* object, const char* fileName, const char* formType) {
    object->ErrorCode = LW_ERR_NONE;
    object->StateWord = 0;
    std::string path = fileName ? fileName : "";
    for (char& c : path)
        if (c == '\\') c = '/';
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        LwCopyText(object->MessageText, fileName, sizeof(object->MessageText));
        return object->ErrorCode = LW_ERR_FILE_OPEN;
    }
    unsigned char header[12];
    size_t got = fread(header, 1, sizeof(header), file);
    fclose(file);
    if (got != sizeof(header)) return object->ErrorCode = LW_ERR_FILE_READ;
    if (memcmp(header, "FORM", 4) != 0 || memcmp(header + 8, formType, 4) != 0)
        return object->ErrorCode = LW_ERR_BAD_FORMAT;
    LwCopyText(object->MessageText, "object database not available", sizeof(object->MessageText));
    return object->ErrorCode = LW_ERR_OBJECT_DATABASE;
}

}  // namespace

const char* GetLastErrorText(LwObject* object) {
    if (!object) return LwErrorText(LW_ERR_NONE);
    const char* text = LwErrorText(object->ErrorCode);
    object->ErrorCode = LW_ERR_NONE;
    return text;
}

int32_t ReadLwobFile(LwObject* object, const char* fileName, int32_t) {
    if (!object) return LW_ERR_PARAM;
    return ReadObjectFile(object, fileName, "LWOB");
}

int32_t ReadLwo2File(LwObject* object, const char* fileName, int32_t) {
    if (!object) return LW_ERR_PARAM;
    return ReadObjectFile(object, fileName, "LWO2");
}

LwObject* CreateLwObject(uint32_t flags) {
    LwObject* object = (LwObject*)calloc(1, sizeof(LwObject));
    if (!object) return nullptr;
    object->Flags = flags;
    LwObjectOperations& op = object->Op;
    op.GetNextLayer = GetNextLayer;
    op.GetLayerCount = GetLayerCount;
    op.SetCurrentLayer = SetCurrentLayer;
    op.GetPointCount = GetPointCount;
    op.GetPolygonCount = GetPolygonCount;
    op.GetSurfaceCount = GetSurfaceCount;
    op.LoadLwObject = LoadLwObject;
    op.CloneLwObject = CloneLwObject;
    op.GetLastErrorText = GetLastErrorText;
    op.Trace = Trace;
    op.GetVersionText = LwGetVersionText;
    return object;
}

LwObject* OpenLwObjectFile(const char* path, const LwLoadOptions* options) {
    LwObject* object = CreateLwObject(0);
    if (!object) return nullptr;
    LwLoadOptions defaults;
    memset(&defaults, 0, sizeof(defaults));
    defaults.TexChannelMask = 1;
    defaults.TexLayerCount = 1;
    if (!options) options = &defaults;
    if (object->Op.LoadLwObject(object, path, LW_FILE_LWO2, options) != LW_ERR_NONE &&
        object->Op.LoadLwObject(object, path, LW_FILE_LWOB, options) != LW_ERR_NONE) {
        DestroyLwObject(&object);
        return nullptr;
    }
    return object;
}

void DestroyLwObject(LwObject** object) {
    if (!object || !*object) return;
    LwObject* o = *object;
    if (!(o->Flags & LW_OBJECT_CLONE)) {
        ReleaseLayers(o);
        DestroyMemoryTracker(&o->Tracker);
    }
    free(o);
    *object = nullptr;
}

char* IdToText(uint32_t id, char buffer[5]) {
    buffer[0] = (char)((id >> 24) & 0xFF);
    buffer[1] = (char)((id >> 16) & 0xFF);
    buffer[2] = (char)((id >> 8) & 0xFF);
    buffer[3] = (char)(id & 0xFF);
    buffer[4] = '\0';
    return buffer;
}
