// What the object-file readers and writers share: opening, reading a whole file, the FORM header and
// the two writing passes.
#include "lightwave/object/ObjectFileInternal.h"

#include <cstring>
#include <string>

namespace {

// Resource names use "\"; the file system wants "/".
std::string NativePath(const char* fileName) {
    std::string path = fileName ? fileName : "";
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

int32_t OpenFailed(LwObject* object, const char* fileName) {
    LwCopyText(object->MessageText, fileName ? fileName : "", sizeof(object->MessageText));
    object->StateWord = 0;
    return object->ErrorCode = LW_ERR_FILE_OPEN;
}

}  // namespace

int32_t LwReadObjectFile(LwObject* object, const char* fileName, std::vector<uint8_t>* bytes) {
    object->ErrorCode = LW_ERR_NONE;
    object->StateWord = 0;
    FILE* file = fopen(NativePath(fileName).c_str(), "rb");
    if (!file) return OpenFailed(object, fileName);
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    // The cursors count in 32 bits: larger files are not object files this library can hold.
    bool ok = size >= 0 && (unsigned long)size <= 0xFFFFFFF0ul && fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        try {
            bytes->resize((size_t)size);
        } catch (const std::bad_alloc&) {
            fclose(file);
            return object->ErrorCode = LW_ERR_MEMORY;
        }
        ok = fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    }
    fclose(file);
    if (!ok) return OpenFailed(object, fileName);
    LwCopyText(object->FileName, fileName, sizeof(object->FileName));
    return LW_ERR_NONE;
}

FILE* LwCreateObjectFile(LwObject* object, const char* fileName) {
    FILE* file = fopen(NativePath(fileName).c_str(), "wb");
    if (!file) OpenFailed(object, fileName);
    return file;
}

int32_t LwReadFormHeader(ChunkBuff* cb, const char* formType, uint32_t* formLength) {
    char form[5], type[5];
    if (ChunkRemaining(cb) < 4) return LW_ERR_FILE_READ;
    ChunkReadID4(form, cb);
    if (strcmp(form, "FORM") != 0) return LW_ERR_UNKNOWN_TYPE;
    if (ChunkRemaining(cb) < 8) return LW_ERR_FILE_READ;
    ChunkReadU4(formLength, 1, cb);
    ChunkReadID4(type, cb);
    return strcmp(type, formType) == 0 ? LW_ERR_NONE : LW_ERR_UNKNOWN_TYPE;
}

int32_t LwWriteObjectFile(LwObject* object, FILE* file, bool (*emit)(IffFile* f, void* context), void* context) {
    const bool written = IffWriteTwoPasses(file, emit, context);
    const bool closed = fclose(file) == 0;
    if ((!written || !closed) && object->ErrorCode == LW_ERR_NONE) object->ErrorCode = LW_ERR_FILE_WRITE;
    object->StateWord = 0;
    return object->ErrorCode;
}
