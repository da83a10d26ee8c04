// Shared by the LWO2 and LWOB file readers and writers: whole files read into memory (so every
// chunk is bounded by the bytes that are really there), the error rule, and a writer stream.
#pragma once

#include "lightwave/object/LwIff.h"
#include "lightwave/object/ObjectInternal.h"

#include <cstdio>
#include <vector>

// Reads the whole file; sets and returns 2 ("file open error", name in the detail text) when it
// cannot be opened or read, else 0. The file name becomes the object's file name.
int32_t LwReadObjectFile(LwObject* object, const char* fileName, std::vector<uint8_t>* bytes);
// Opens a file for writing with the same error rule; NULL after setting 2.
FILE* LwCreateObjectFile(LwObject* object, const char* fileName);

// Records an error of a reader or writer: the first one stays, except that a short read, which ends
// the file, replaces it.
inline void LwFail(LwObject* object, int32_t code) {
    if (object->ErrorCode == LW_ERR_NONE || code == LW_ERR_FILE_READ) object->ErrorCode = code;
}

// Checks the FORM header of a file of formType; 0, or 4 for another form, 5 for a cut header. On
// success the cursor is past the header and formLength holds the form's stated length.
int32_t LwReadFormHeader(ChunkBuff* cb, const char* formType, uint32_t* formLength);

// Runs the emitting routine over the file twice and closes it; the object's error code, 6 when a
// write failed without another error.
int32_t LwWriteObjectFile(LwObject* object, FILE* file, bool (*emit)(IffFile* f, void* context), void* context);
