// Services shared by the scene and object halves of the LightWave import library: error codes and
// their texts, path operations on "\"-separated paths, case-insensitive compares, the tracked
// allocator every context carries, and the indented line writer of the text dumps.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

// Key shapes and the behaviours before the first and after the last key, shared by the scene's
// motion channels and the objects' envelopes.
enum LwKeyShape : int32_t {
    LW_SHAPE_TCB = 0,
    LW_SHAPE_HERMITE = 1,
    LW_SHAPE_BEZIER = 2,
    LW_SHAPE_LINEAR = 3,
    LW_SHAPE_STEPPED = 4,
    LW_SHAPE_BEZIER2D = 5,
};

enum LwEnvelopeBehavior : int32_t {
    LW_BEHAVIOR_RESET = 0,
    LW_BEHAVIOR_CONSTANT = 1,
    LW_BEHAVIOR_REPEAT = 2,
    LW_BEHAVIOR_OSCILLATE = 3,
    LW_BEHAVIOR_OFFSET_REPEAT = 4,
    LW_BEHAVIOR_LINEAR = 5,
};

// Whether a motion channel's or an envelope's keys stand in time order, as the library found when it
// first evaluated them after a load or an insertion; only keys in order let a search start from a key
// that an earlier evaluation left. A time that is no number stands out of order.
enum LwKeyOrder : int32_t {
    LW_KEYS_ORDER_UNKNOWN = 0,
    LW_KEYS_ASCENDING = 1,
    LW_KEYS_OUT_OF_ORDER = 2,
};

// Numbered results of every library operation; GetLastErrorText and LwErrorText give their texts.
enum LwErrorCode : int32_t {
    LW_ERR_NONE = 0,
    LW_ERR_MEMORY = 1,
    LW_ERR_FILE_OPEN = 2,
    LW_ERR_DISK_FULL = 3,
    LW_ERR_UNKNOWN_TYPE = 4,
    LW_ERR_FILE_READ = 5,
    LW_ERR_FILE_WRITE = 6,
    LW_ERR_BAD_FORMAT = 7,
    LW_ERR_PARAM = 8,
    LW_ERR_OBJECT_DATABASE = 9,
    LW_ERR_TIM_OPEN = 10,
    LW_ERR_BAD_POLYGON = 11,
    LW_ERR_BAD_POINT_COUNT = 12,
    LW_ERR_UV_NOT_FOUND = 13,
};

// Text of a code; codes outside 0-13 give "unknown error".
const char* LwErrorText(int32_t code);

// The library's version text, "1.0b24"; serves the scene and the object table alike.
const char* LwGetVersionText(const void* context);

// Argument block of LwPathOperation. The buffers belong to the caller.
struct LwPathArgs {
    char* Directory;
    char* Name;
    char* Extension;
    const char* Path;
    char* Output;
    int32_t Result;  // 0 success, 1 a required field was NULL, 2 the file does not exist
};

// Every output of the path operations holds at most this many bytes, terminator included.
constexpr int LW_PATH_SIZE = 256;

// Path operations 1-13 (1 LightWave to native form, 2 split, 3 join, 4 change extension, 5 name,
// 6 directory, 7 extension, 8 join with path, 9 relative, 10 parent, 11 native to LightWave form,
// 12 volume path to native form, 13 existence test). Returns true when the result is 0. Outputs are
// truncated to LW_PATH_SIZE bytes.
bool LwPathOperation(int operation, LwPathArgs* args);

// 0 when equal ignoring ASCII case, else 1.
int LwStrCaseCompare(const char* a, const char* b);
// 0 when the first n bytes are equal ignoring case (or both end together before n), else 1.
int LwStrNCaseCompare(const char* a, const char* b, int n);

// Copies at most size - 1 bytes and always terminates: every fixed text field is filled through it.
char* LwCopyText(char* dst, const char* src, int size);

// Writes indent tabs and the formatted text to the stream, then flushes; nothing for a NULL stream.
// Numbers print in the "C" locale whatever the process locale is.
void DumpPrintf(FILE* stream, int indent, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// vfprintf in the "C" locale; the traces and the dump lines go straight to their stream through it.
void LwVPrintf(FILE* stream, const char* format, va_list args);

// Number reading by the format's rules, in the "C" locale: leading blanks skipped, no digits give 0.
int32_t LwParseInt(const char* text);  // decimal, clamped to 32 bits
double LwParseReal(const char* text);
int32_t LwParseHex(const char* text);  // optional sign and 0x prefix, 32 bits on any platform

// An allocation table a caller may hang on a scene or object context (their Tracker field) to record
// its own blocks; the context then frees it. The library itself allocates with calloc, realloc and
// free directly, so a context has none until a caller sets one: 390 KB each would go unused.
constexpr int LW_TRACKER_SLOTS = 32768;
struct MemoryTracker {
    int32_t LogFlag;
    int32_t Count;
    int32_t TotalSize;
    int32_t Sizes[LW_TRACKER_SLOTS];
    void* Addresses[LW_TRACKER_SLOTS];
    void* (*Alloc)(MemoryTracker* tracker, int32_t size);
    void* (*Realloc)(MemoryTracker* tracker, void* block, int32_t size);
    void (*Free)(MemoryTracker* tracker, void* block);
};

MemoryTracker* CreateMemoryTracker();
void DestroyMemoryTracker(MemoryTracker** tracker);
