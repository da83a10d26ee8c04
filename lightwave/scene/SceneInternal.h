// Library-internal declarations shared by the scene half's source files.
#pragma once

#include "lightwave/scene/LwScene.h"

#include <cstdint>

inline int32_t LwParseInt0(const char* t) { return t ? LwParseInt(t) : 0; }
inline double LwParseReal0(const char* t) { return t ? LwParseReal(t) : 0.0; }

// A double as a float, saturated at the float range (a larger value has no float).
inline float LwToFloat(double v) {
    if (v > 3.4028234663852886e38) return 3.4028234663852886e38f;
    if (v < -3.4028234663852886e38) return -3.4028234663852886e38f;
    return (float)v;
}

constexpr double LW_DEG_TO_RAD = 0.01745329251994;
constexpr int LW_LINE_SIZE = 1024;

// Bytes of text left after the cursor; used to reject counts the text cannot hold.
inline long LwRemainingText(const LwScene* scene) { return (long)(scene->TextEnd - scene->Cursor); }

// Block readers.
LwEnvelope* ReadEnvelopeBlock(LwScene* scene);
LwEnvelope* ReadEnvelopeBlockV1(LwScene* scene);
void ConvertEnvelopeToRadians(LwEnvelope* envelope);
void ComputeEnvelopeTangents(LwEnvelope* envelope);
int32_t ReadPluginBlockV3(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName);
int32_t ReadPluginBlockV1(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName);
int32_t LookupPluginClass(const char* name);
int32_t LookupPluginClassV1(const char* name);
LwClip* ReadClipBlock(LwScene* scene);
LwClip* MakeStillClip(const char* fileName);
char* StripQuotes(char* destination, const char* source, int size = 255);
char* CopyClipFileName(char* destination, const char* source, int size = 255);

// Scene readers.
int32_t ParseSceneV3(LwScene* scene);
int32_t ParseSceneV1(LwScene* scene);
LwEnvelope* ReadChannelBlock(LwScene* scene, LwSceneItem* item);
LwKeyframeMotion* ReadKeyframeMotion(LwScene* scene, LwSceneItem* item);
void ResolveItemRefsV1(LwScene* scene);

// Releasing.
void LwFreeEnvelopes(LwEnvelope* envelope);  // the whole chain
void LwFreePlugins(LwPlugin* plugin);        // the whole list
void LwFreeClip(LwClip* clip);
void LwFreeKeyframeMotion(LwKeyframeMotion* motion);
// A plug-in that joins no list is kept here so that it is freed with the scene.
LwPlugin* LwNewUnlinkedPlugin(LwScene* scene, int32_t pluginClass, int32_t index, const char* serverName);

// Moves the items' channel envelopes and their keys into one block owned by the scene, item after
// item, so that a frame's evaluation reads memory in order. Records and values stay the same.
void LwPlaceChannels(LwScene* scene);

// Envelope and key construction shared by the readers and MotionToChannels.
// Both behaviours constant; with keys, a zeroed linked array of them owned by the envelope.
LwEnvelope* LwNewEnvelope(int32_t keyCount = 0);

// Table operations implemented in the separate files.
void LwFillRecordOperations(LwSceneOperations* op);
void LwFillMotionOperations(LwSceneOperations* op);
void LwSceneDump(LwScene* scene, FILE* stream);

// Parent-chain walks never take more steps than the scene has items.
inline int32_t LwChainLimit(const LwScene* scene) { return scene->NumItems > 0 ? scene->NumItems : 0; }
