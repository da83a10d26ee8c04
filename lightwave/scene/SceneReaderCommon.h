// What the version 3 and version 1 scene readers share: the parser state (the current item and
// record of every kind, the scene's setting records), the value conversions of the format, the
// keywords both versions read alike, and the line loop. Each reader adds its own keywords.
#pragma once

#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <unordered_map>

namespace lw_reader {

// A rate of 0 or less (or no number) would turn every time into an infinity: it is ignored.
inline void SetFramesPerSecond(LwScene* s, const char* text) {
    double fps = LwParseReal(text);
    if (fps > 0.0 && std::isfinite(fps)) s->FramesPerSecond = fps;
}

struct ReaderState {
    LwScene* s = nullptr;
    LwSceneItem* item = nullptr;
    LwSceneItem* objectItem = nullptr;
    LwSceneObject* object = nullptr;
    LwSceneItem* boneItem = nullptr;
    LwSceneBone* bone = nullptr;
    LwSceneItem* lightItem = nullptr;
    LwSceneLight* light = nullptr;
    LwSceneItem* cameraItem = nullptr;
    LwSceneCamera* camera = nullptr;
    int32_t pendingFalloff = 3;
    bool previewFirst = false, previewLast = false, previewStep = false;
    LwSceneFog* fog = nullptr;
    LwSceneBackdrop* backdrop = nullptr;
    LwSceneComposite* composite = nullptr;
    LwSceneProcessing* processing = nullptr;
    LwSceneIllumination* illumination = nullptr;
    bool version1 = false;

    void Begin(LwScene* scene, bool isVersion1) {
        s = scene;
        version1 = isVersion1;
        s->ErrorCode = LW_ERR_NONE;
        fog = s->Op.GetFog(s);
        backdrop = s->Op.GetBackdrop(s);
        composite = s->Op.GetComposite(s);
        processing = s->Op.GetProcessing(s);
        illumination = s->Op.GetIllumination(s);
    }

    int Split(char* rest, int n, char** t) {
        for (int i = 0; i < n; ++i) t[i] = nullptr;
        return s->Op.SplitTokens(s, rest, n, t);
    }

    void Memory() { s->ErrorCode = LW_ERR_MEMORY; }

    void AddObject(const char* keyword, int32_t layer, const char* text) {
        LwSceneItem* it = s->Op.AddObjectItem(s, keyword, layer, text);
        if (!it) return Memory();
        item = objectItem = it;
        object = s->Op.GetObjectRecord(s, it);
    }

    void AddBone() {
        LwSceneItem* it = s->Op.AddItem(s, LW_ITEM_BONE);
        if (!it) return Memory();
        item = boneItem = it;
        bone = s->Op.GetBoneRecord(s, it);
        if (bone) bone->BoneFalloffType = pendingFalloff;
    }

    void AddLight() {
        LwSceneItem* it = s->Op.AddItem(s, LW_ITEM_LIGHT);
        if (!it) return Memory();
        item = lightItem = it;
        light = s->Op.GetLightRecord(s, it);
    }

    void AddCamera() {
        LwSceneItem* it = s->Op.AddItem(s, LW_ITEM_CAMERA);
        if (!it) return Memory();
        item = cameraItem = it;
        camera = s->Op.GetCameraRecord(s, it);
    }

    void Name(LwSceneItem* target, const char* name) {
        if (target) s->Op.SetItemName(s, target, name);
    }

    void Show(LwSceneItem* target, char* v) {
        if (!target) return;
        int32_t x[2];
        Ints(v, 2, x);
        s->Op.SetItemShow(s, target, x[0], x[1]);
    }

    void Reals(char* v, int n, double* out) {
        char* t[8];
        int got = Split(v, n, t);
        for (int i = 0; i < n; ++i) out[i] = i < got ? LwParseReal0(t[i]) : 0.0;
    }

    void Ints(char* v, int n, int32_t* out) {
        char* t[8];
        int got = Split(v, n, t);
        for (int i = 0; i < n; ++i) out[i] = i < got ? LwParseInt0(t[i]) : 0;
    }

    void Degrees(char* v, int n, double* out) {
        Reals(v, n, out);
        for (int i = 0; i < n; ++i) out[i] *= LW_DEG_TO_RAD;
    }

    void Color(char* v, float out[3]) {
        double x[3];
        Reals(v, 3, x);
        for (int i = 0; i < 3; ++i) out[i] = LwToFloat(x[i]);
    }

    static bool IsEnvelope(const char* v) { return strcmp(v, "(envelope)") == 0; }

    LwEnvelope* Envelope() { return version1 ? ReadEnvelopeBlockV1(s) : ReadEnvelopeBlock(s); }

    void ReplaceEnvelope(LwEnvelope** slot, LwEnvelope* env) {
        LwFreeEnvelopes(*slot);
        *slot = env;
    }

    // Stores the number, or reads the envelope block that follows (in the version's own form);
    // true when a number was stored.
    bool RealOrEnvelope(char* v, double* field, LwEnvelope** env) {
        if (IsEnvelope(v)) {
            ReplaceEnvelope(env, Envelope());
            return false;
        }
        *field = LwParseReal(v);
        return true;
    }

    bool DegreesOrEnvelope(char* v, double* field, LwEnvelope** env, bool convertKeys = false) {
        if (IsEnvelope(v)) {
            LwEnvelope* e = Envelope();
            if (convertKeys) ConvertEnvelopeToRadians(e);
            ReplaceEnvelope(env, e);
            return false;
        }
        *field = LwParseReal(v) * LW_DEG_TO_RAD;
        return true;
    }

    // Three chained blocks (red, green, blue); the chain ends at a block that fails.
    void ColorOrEnvelopes(char* v, float color[3], LwEnvelope** env) {
        if (!IsEnvelope(v)) return Color(v, color);
        LwEnvelope* head = ReadEnvelopeBlock(s);
        LwEnvelope* tail = head;
        for (int i = 1; i < 3 && tail; ++i) {
            tail->Next = ReadEnvelopeBlock(s);
            tail = tail->Next;
        }
        ReplaceEnvelope(env, head);
    }

    void Clip(LwClip** slot) {
        LwClip* clip = ReadClipBlock(s);
        LwFreeClip(*slot);
        *slot = clip;
    }

    void Pivot(char* v) {
        double x[3];
        if (!item) return;
        Reals(v, 3, x);
        s->Op.SetPivotPosition(s, item, x[0], x[1], x[2]);
    }

    // Plug-in routing: the owner follows the class; without one the block's lines are read as
    // keywords. Version 1 knows fewer classes, each routed as in version 3, and keeps whole lines.
    void Plugin(char* rest);

    // Every bone's object is the object item whose bones include it (none for a stray bone).
    void AssignBoneObjects() {
        for (LwSceneItem* it = s->FirstItem; it; it = it->Next) {
            if (it->Type != LW_ITEM_BONE || !it->Bone) continue;
            LwSceneItem* owner = s->Op.GetBoneOwner(s, it);
            it->Bone->BoneObject = owner ? owner->Index : 0;
        }
    }
};

typedef void (*KeywordHandler)(ReaderState& r, char* rest);
typedef std::unordered_map<std::string_view, KeywordHandler> KeywordTable;

// The keywords both versions read alike, then the version's own (keywords are distinct, so a
// lookup finds what the keyword chain would).
KeywordTable WithSharedKeywords(std::initializer_list<KeywordTable::value_type> versionRows);

// Reads keyword lines to the end of the text; unknown keywords are skipped with their line.
void ReadKeywordLines(ReaderState& r, const KeywordTable& table);

}  // namespace lw_reader
