// Envelope, plug-in and image clip blocks of scene texts. Every block ends where the text ends:
// no block reader ever waits for a closing line that does not come.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Smallest text a v3 key line can take ("K 0 0 0 0 0 0 0 0 0" and its line end); a key count
// above what the rest of the text could hold is a bad file, not a huge allocation.
constexpr long kMinKeyLineV3 = 20;
// A version 1 key takes two lines: a value and "frame linear t c b".
constexpr long kMinKeyLinesV1 = 12;

bool CountFits(LwScene* scene, int32_t count, long bytesPerKey) {
    return count <= LwRemainingText(scene) / bytesPerKey + 1;
}

// Reads the next line and returns its first word, or NULL at the end of the text (or for a
// line of blanks).
const char* NextFirstWord(LwScene* scene, char* line, bool* ended) {
    *ended = false;
    if (!scene->Op.ReadLine(scene, line, LW_LINE_SIZE)) {
        *ended = true;
        return nullptr;
    }
    char* tokens[2] = {nullptr, nullptr};
    scene->Op.SplitTokens(scene, line, 2, tokens);
    return tokens[0];
}

LwEnvelope* FailEnvelope(LwScene* scene, LwEnvelope* env, int32_t code) {
    scene->ErrorCode = code;
    LwFreeEnvelopes(env);
    return nullptr;
}

void AppendPluginText(LwScene* scene, LwPlugin* plugin, const char* text) {
    if (!plugin || !text) return;
    plugin->Size = scene->Op.AppendText(scene, &plugin->Data, plugin->Size, text);
}

LwClipAdjust** AdjustSlot(LwClip* clip, const char* name) {
    if (strcmp(name, "Brightness") == 0) return &clip->Brightness;
    if (strcmp(name, "Contrast") == 0) return &clip->Contrast;
    if (strcmp(name, "Hue") == 0) return &clip->Hue;
    if (strcmp(name, "Gamma") == 0) return &clip->Gamma;
    if (strcmp(name, "Saturation") == 0) return &clip->Saturation;
    return nullptr;
}

void FreeAdjust(LwClipAdjust* adjust) {
    if (!adjust) return;
    LwFreeEnvelopes(adjust->Envelopes);
    free(adjust);
}

void ReadClipSubBlock(LwScene* scene, LwClip* clip, const char* name) {
    char line[LW_LINE_SIZE];
    bool ended = false;
    auto word = [&]() -> const char* {
        const char* w = ended ? nullptr : NextFirstWord(scene, line, &ended);
        return w ? w : "";
    };
    if (strcmp(name, "Still") == 0) {
        clip->ClipType = 0;
        if (!clip->StillName) clip->StillName = (char*)calloc(1, 255);
        const char* w = word();
        if (clip->StillName) CopyClipFileName(clip->StillName, w, 255);
    } else if (strcmp(name, "Reference") == 0) {
        clip->ClipType = 3;
        free(clip->Reference);
        clip->Reference = (LwClipReference*)calloc(1, sizeof(LwClipReference));
        LwClipReference* r = clip->Reference;
        int32_t index = LwParseInt(word());
        char* names[4] = {r ? r->String : nullptr, r ? r->Type : nullptr, r ? r->Name : nullptr,
                          r ? r->Filename : nullptr};
        if (r) r->Index = index;
        for (char* n : names) {
            const char* w = word();
            if (n) CopyClipFileName(n, w, 255);
        }
    } else if (strcmp(name, "Sequence") == 0) {
        clip->ClipType = 1;
        free(clip->Sequence);
        clip->Sequence = (LwClipSequence*)calloc(1, sizeof(LwClipSequence));
        int32_t v[6];
        for (int32_t& x : v) x = LwParseInt(word());
        const char* prefix = word();
        char prefixCopy[255];
        CopyClipFileName(prefixCopy, prefix, 255);
        const char* suffix = word();
        if (LwClipSequence* q = clip->Sequence) {
            q->Digits = (uint8_t)v[0];
            q->Flags = (uint8_t)v[1];
            q->Start_frame = (int16_t)v[2];
            q->Loop_length = (int16_t)v[3];
            q->First_frame = (int16_t)v[4];
            q->Last_frame = (int16_t)v[5];
            LwCopyText(q->Prefix, prefixCopy, sizeof(q->Prefix));
            StripQuotes(q->Suffix, suffix, sizeof(q->Suffix));
        }
    } else if (strcmp(name, "Animation") == 0) {
        clip->ClipType = 2;
        free(clip->Animation);
        clip->Animation = (LwClipAnimation*)calloc(1, sizeof(LwClipAnimation));
        char file[255], server[255];
        CopyClipFileName(file, word(), 255);
        StripQuotes(server, word(), 255);
        int32_t offset = LwParseInt(word());
        if (LwClipAnimation* a = clip->Animation) {
            LwCopyText(a->FileName, file, sizeof(a->FileName));
            LwCopyText(a->ServerName, server, sizeof(a->ServerName));
            a->Offset = (int16_t)offset;
        }
    } else if (LwClipAdjust** slot = AdjustSlot(clip, name)) {
        FreeAdjust(*slot);
        LwClipAdjust* adjust = (LwClipAdjust*)calloc(1, sizeof(LwClipAdjust));
        *slot = adjust;
        float value = LwToFloat(LwParseReal(word()));
        int32_t count = LwParseInt(word());
        if (!adjust) return;
        adjust->Value = value;
        adjust->EnvelopeCount = count > 0 ? count : 0;
        LwEnvelope** tail = &adjust->Envelopes;
        for (int32_t i = 0; i < count && !ended; ++i) {
            LwEnvelope* env = ReadEnvelopeBlock(scene);
            if (!env) break;  // the chain ends at the failing block
            *tail = env;
            tail = &env->Next;
        }
    }
}

}  // namespace

// ---- envelopes ----------------------------------------------------------------------------------

LwEnvelope* ReadEnvelopeBlock(LwScene* scene) {
    char line[LW_LINE_SIZE];
    char* tok[10];
    if (!scene->Op.ReadLine(scene, line, sizeof(line))) return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    if (scene->Op.SplitTokens(scene, line, 2, tok) != 2 || strcmp(tok[0], "{") != 0 || strcmp(tok[1], "Envelope") != 0)
        return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    int depth = 1;

    bool ended = false;
    const char* countWord = NextFirstWord(scene, line, &ended);
    if (ended) return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    int32_t count = LwParseInt0(countWord);
    if (count < 0) count = 0;
    if (!CountFits(scene, count, kMinKeyLineV3)) return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    LwEnvelope* env = LwNewEnvelope(count);
    if (!env) return FailEnvelope(scene, nullptr, LW_ERR_MEMORY);

    for (int32_t i = 0; i < count; ++i) {
        // A key line of nine words is short of Param2: its empty rest does not count as one.
        if (!scene->Op.ReadLine(scene, line, sizeof(line)) || scene->Op.SplitTokens(scene, line, 10, tok) < 10 ||
            !*tok[9])
            return FailEnvelope(scene, env, LW_ERR_BAD_FORMAT);
        LwEnvelopeKey* k = &env->KeyArray[i];
        k->Value = LwParseReal(tok[1]);
        k->Time = LwParseReal(tok[2]);
        k->Shape = LwParseInt(tok[3]);
        k->Tension = LwParseReal(tok[4]);
        k->Continuity = LwParseReal(tok[5]);
        k->Bias = LwParseReal(tok[6]);
        k->Param0 = LwParseReal(tok[7]);
        k->Param1 = LwParseReal(tok[8]);
        k->Param2 = LwParseReal(tok[9]);
    }

    // The behaviours line is positional: whatever stands there is consumed.
    if (scene->Op.ReadLine(scene, line, sizeof(line))) {
        if (scene->Op.SplitTokens(scene, line, 3, tok) == 3 && strcmp(tok[0], "Behaviors") == 0) {
            env->PreBehavior = LwParseInt(tok[1]);
            env->PostBehavior = LwParseInt(tok[2]);
        }
        LwPlugin* open = nullptr;
        int openDepth = 0;
        // Complete keys whose closing brace is missing at the end of the text are kept.
        while (depth > 0 && scene->Op.ReadLine(scene, line, sizeof(line))) {
            if (strchr(line, '{')) {
                ++depth;
                if (scene->Op.SplitTokens(scene, line, 2, tok) == 2 && strcmp(tok[1], "ChannelHandler") == 0) {
                    char server[256] = "";
                    bool end1 = false, end2 = false;
                    const char* name = NextFirstWord(scene, line, &end1);
                    StripQuotes(server, name ? name : "", sizeof(server));
                    const char* indexWord = end1 ? nullptr : NextFirstWord(scene, line, &end2);
                    if (end1 || end2) break;
                    open = scene->Op.NewPlugin(scene, env, LW_PLUGIN_CHANNEL, LwParseInt0(indexWord), server);
                    if (!open) scene->ErrorCode = LW_ERR_MEMORY;
                    openDepth = depth;
                }
            } else if (strchr(line, '}')) {
                if (open && openDepth == depth) open = nullptr;
                --depth;
            } else if (open) {
                if (scene->Op.SplitTokens(scene, line, 2, tok) > 0) AppendPluginText(scene, open, tok[0]);
            }
        }
    }
    ComputeEnvelopeTangents(env);
    return env;
}

LwEnvelope* ReadEnvelopeBlockV1(LwScene* scene) {
    char line[LW_LINE_SIZE];
    char* tok[5];
    bool ended = false;
    NextFirstWord(scene, line, &ended);  // values per key: only the first value is kept
    if (ended) return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    int32_t count = LwParseInt0(NextFirstWord(scene, line, &ended));
    if (ended) return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    if (count < 0) count = 0;
    if (!CountFits(scene, count, kMinKeyLinesV1)) return FailEnvelope(scene, nullptr, LW_ERR_BAD_FORMAT);
    LwEnvelope* env = LwNewEnvelope(count);
    if (!env) return FailEnvelope(scene, nullptr, LW_ERR_MEMORY);
    for (int32_t i = 0; i < count; ++i) {
        LwEnvelopeKey* k = &env->KeyArray[i];
        const char* value = NextFirstWord(scene, line, &ended);
        if (ended) return FailEnvelope(scene, env, LW_ERR_BAD_FORMAT);
        k->Value = LwParseReal0(value);
        if (!scene->Op.ReadLine(scene, line, sizeof(line))) return FailEnvelope(scene, env, LW_ERR_BAD_FORMAT);
        if (scene->Op.SplitTokens(scene, line, 5, tok) == 5) {
            k->Time = (double)LwParseInt(tok[0]) / scene->FramesPerSecond;
            k->Shape = LwParseInt(tok[1]) != 0 ? LW_SHAPE_LINEAR : LW_SHAPE_TCB;
            k->Tension = LwParseReal(tok[2]);
            k->Continuity = LwParseReal(tok[3]);
            k->Bias = LwParseReal(tok[4]);
        }
    }
    if (scene->Op.ReadLine(scene, line, sizeof(line)) && scene->Op.SplitTokens(scene, line, 2, tok) == 2 &&
        strcmp(tok[0], "EndBehavior") == 0)
        env->PostBehavior = LwParseInt(tok[1]);
    return env;
}

void ConvertEnvelopeToRadians(LwEnvelope* env) {
    if (!env) return;
    for (LwEnvelopeKey* k = env->FirstKey; k; k = k->Next) k->Value *= LW_DEG_TO_RAD;
}

void ComputeEnvelopeTangents(LwEnvelope* env) {
    if (!env) return;
    for (LwEnvelopeKey* k = env->FirstKey; k && k->Next; k = k->Next) {
        LwEnvelopeKey* n = k->Next;
        LwEnvelopeKey* p = k->Prev;
        LwEnvelopeKey* s = n->Next;
        double dt = n->Time - k->Time;
        double d = n->Value - k->Value;
        if (n->Shape == LW_SHAPE_TCB) {
            double t = k->Tension, c = k->Continuity, b = k->Bias;
            double a0 = (1 - t) * (1 + c) * (1 + b), b0 = (1 - t) * (1 - c) * (1 - b);
            k->Param1 = p ? a0 * (k->Value - p->Value) + b0 * d : (b0 + a0) * d * 0.5;
            double t1 = n->Tension, c1 = n->Continuity, b1 = n->Bias;
            double x = (1 - t1) * (1 - b1) * (1 + c1), y = (1 + b1) * (1 - c1) * (1 - t1);
            n->Param0 = s ? x * (s->Value - n->Value) + y * d : (x + y) * d * 0.5;
        } else if (n->Shape == LW_SHAPE_LINEAR || n->Shape == LW_SHAPE_STEPPED) {
            // Two keys at one time leave the tangents unscaled.
            k->Param1 = p && dt != 0.0 ? d * (n->Time - p->Time) / dt : d;
            n->Param0 = s && dt != 0.0 ? d * (s->Time - k->Time) / dt : d;
        }
    }
}

// ---- plug-ins -----------------------------------------------------------------------------------

static int32_t ReadPluginBlock(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName,
                               bool wholeLines) {
    // Owned by the scene itself: such a plug-in joins none of the scene's lists.
    LwPlugin* plugin = owner == scene && pluginClass != LW_PLUGIN_MASTER
                           ? LwNewUnlinkedPlugin(scene, pluginClass, index, serverName)
                           : scene->Op.NewPlugin(scene, owner, pluginClass, index, serverName);
    if (!plugin) scene->ErrorCode = LW_ERR_MEMORY;
    char line[LW_LINE_SIZE];
    char* tok[2];
    while (scene->Op.ReadLine(scene, line, sizeof(line))) {
        if (strcmp(line, "EndPlugin") == 0) break;
        if (wholeLines) {
            AppendPluginText(scene, plugin, line);
        } else if (scene->Op.SplitTokens(scene, line, 2, tok) > 0) {
            AppendPluginText(scene, plugin, tok[0]);
        }
    }
    return scene->ErrorCode;
}

int32_t ReadPluginBlockV3(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName) {
    return ReadPluginBlock(scene, owner, pluginClass, index, serverName, false);
}

int32_t ReadPluginBlockV1(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName) {
    return ReadPluginBlock(scene, owner, pluginClass, index, serverName, true);
}

int32_t LookupPluginClass(const char* name) {
    static const struct {
        const char* name;
        int32_t value;
    } kClasses[] = {
        {"ItemMotionHandler", 1},     {"ChannelHandler", 3},     {"DisplacementHandler", 2}, {"EnvironmentHandler", 5},
        {"VolumetricHandler", 4},     {"PixelFilterHandler", 6}, {"ImageFilterHandler", 7},  {"CustomObjHandler", 8},
        {"ObjReplacementHandler", 9}, {"MasterHandler", 10},
    };
    if (!name) return 0;
    for (const auto& c : kClasses)
        if (strcmp(name, c.name) == 0) return c.value;
    return 0;
}

int32_t LookupPluginClassV1(const char* name) {
    if (!name) return 0;
    if (strcmp(name, "ItemMotionHandler") == 0) return 1;
    if (strcmp(name, "DisplacementHandler") == 0) return 2;
    if (strcmp(name, "PixelFilterHandler") == 0) return 6;
    if (strcmp(name, "ImageFilterHandler") == 0) return 7;
    return 0;
}

// ---- clips --------------------------------------------------------------------------------------

LwClip* ReadClipBlock(LwScene* scene) {
    LwClip* clip = (LwClip*)calloc(1, sizeof(LwClip));
    if (!clip) return nullptr;
    char line[LW_LINE_SIZE];
    char* tok[6];
    if (!scene->Op.ReadLine(scene, line, sizeof(line)) || scene->Op.SplitTokens(scene, line, 2, tok) != 2 ||
        strcmp(tok[0], "{") != 0 || strcmp(tok[1], "Clip") != 0) {
        LwFreeClip(clip);
        return nullptr;
    }
    int depth = 1;
    while (depth > 0 && scene->Op.ReadLine(scene, line, sizeof(line))) {
        if (strchr(line, '{')) {
            ++depth;
            // The sub-block reads its lines into its own buffer, so the name stays valid.
            if (scene->Op.SplitTokens(scene, line, 2, tok) == 2) ReadClipSubBlock(scene, clip, tok[1]);
        } else if (strchr(line, '}')) {
            --depth;
        } else if (strstr(line, "Flags")) {
            if (scene->Op.SplitTokens(scene, line, 2, tok) == 2) clip->Flags = LwParseHex(tok[1]);
        } else if (strstr(line, "Negative")) {
            if (scene->Op.SplitTokens(scene, line, 2, tok) == 2) clip->Negative = LwParseInt(tok[1]);
        } else if (strstr(line, "AlphaMode")) {
            if (scene->Op.SplitTokens(scene, line, 2, tok) == 2) clip->AlphaMode = LwParseInt(tok[1]);
        } else if (strstr(line, "Times")) {
            int32_t n = scene->Op.SplitTokens(scene, line, 6, tok);
            if (!clip->Times) clip->Times = (LwClipTimes*)calloc(1, sizeof(LwClipTimes));
            if (LwClipTimes* t = clip->Times) {
                t->InTime = n > 1 ? LwToFloat(LwParseReal(tok[1])) : 0.0f;
                t->OutTime = n > 2 ? LwToFloat(LwParseReal(tok[2])) : 0.0f;
                t->FrameRate = n > 3 ? LwToFloat(LwParseReal(tok[3])) : 0.0f;
                t->PreBehavior = n > 4 ? LwParseInt(tok[4]) : 0;
                t->PostBehavior = n > 5 ? LwParseInt(tok[5]) : 0;
            }
        }
    }
    return clip;
}

LwClip* MakeStillClip(const char* fileName) {
    LwClip* clip = (LwClip*)calloc(1, sizeof(LwClip));
    if (!clip) return nullptr;
    clip->StillName = (char*)calloc(1, 255);
    if (!clip->StillName) {
        free(clip);
        return nullptr;
    }
    LwCopyText(clip->StillName, fileName, 255);
    return clip;
}

void LwFreeClip(LwClip* clip) {
    if (!clip) return;
    free(clip->StillName);
    free(clip->Sequence);
    free(clip->Animation);
    free(clip->Reference);
    FreeAdjust(clip->Brightness);
    FreeAdjust(clip->Contrast);
    FreeAdjust(clip->Hue);
    FreeAdjust(clip->Gamma);
    FreeAdjust(clip->Saturation);
    free(clip->Times);
    free(clip);
}

char* StripQuotes(char* destination, const char* source, int size) {
    if (!destination || size <= 0) return destination;
    if (!source) source = "";
    if (*source == '"') ++source;
    LwCopyText(destination, source, size);
    size_t n = strlen(destination);
    if (n > 0 && destination[n - 1] == '"') destination[n - 1] = '\0';
    return destination;
}

char* CopyClipFileName(char* destination, const char* source, int size) {
    if (!destination || size <= 0) return destination;
    char work[LW_LINE_SIZE];
    StripQuotes(work, source, sizeof(work));
    std::string out;
    for (const char* c = work; *c; ++c) {
        if (*c == '/')
            out += '\\';
        else if (*c == ':')
            out += ":\\";
        else
            out += *c;
    }
    return LwCopyText(destination, out.c_str(), size);
}
