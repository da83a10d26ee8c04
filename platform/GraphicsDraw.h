#pragma once
// Platform-internal: the runtime's fixed-function states turned into OpenGL 2.1 state at draw time,
// with a copy of what GL was last told, and the GL textures and buffers that bind through it. The GL
// device (GraphicsGL.h) keeps the caller's state and owns one translator; nothing here knows the device.

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Graphics.h"
#include "platform/GraphicsState.h"

namespace plat {

// What the driver offers that the translation depends on; found once, when the device is made.
struct GLFeatures {
    bool s3tc = false;
    bool bgraArrays = false;
    bool multiplyAdd = false;
    uint32_t maxAnisotropy = 1;
};

// Drawing keeps the caller's state (DrawingState) and a copy of what was last handed to GL; states are
// turned into GL calls at the next draw, group by group and only where they changed. GL is never
// asked for its state while drawing.
class GLStateTranslator {
public:
    // Groups of caller state that need turning into GL calls at the next draw.
    enum Dirty : uint32_t {
        kDirtyDepth = 1,
        kDirtyBlend = 2,
        kDirtyRaster = 4,  // cull, shading, dither, multisample
        kDirtyFog = 8,
        kDirtyLighting = 16,
        kDirtyMaterial = 32,
        kDirtyLights = 64,
        kDirtyModelView = 128,  // world and view: the per-item change, kept apart from the projection
        kDirtyStages = 256,
        kDirtyProjection = 512,
        kDirtyTransforms = kDirtyModelView | kDirtyProjection,
        kDirtyAll = 1023,
    };

    // `drawing` is the caller's state, read at every draw; `notes` takes what falls back.
    GLStateTranslator(const DrawingState& drawing, SDL_Window* window, SDL_GLContext context,
                      std::vector<std::string>* notes);
    GLStateTranslator(const GLStateTranslator&) = delete;
    GLStateTranslator& operator=(const GLStateTranslator&) = delete;

    // With the context current: the features, and the white texture stages without one read.
    void Init(const GLFeatures& features);
    // Gives the GL objects of its own up (the context current).
    void Release();
    void MakeCurrent();
    // Forgets what GL was last told (after a reset, or when GL objects were dropped).
    void Invalidate();
    void Mark(uint32_t groups) { dirty_ |= groups; }
    // Turns the dirty state groups into GL calls before a draw; `rhw` for vertices in pixels.
    void Prepare(bool rhw, const Viewport& viewport, bool multisampled);
    // Points the vertex arrays at `base` (a buffer offset when `vbo` is not 0, else memory).
    void PointArrays(GLuint vbo, const uint8_t* base, const uint8_t* memory, uint32_t stride, uint32_t vertexCount);

    // Texture and buffer objects are bound through here so the copy stays true.
    void BindTexture(uint32_t unit, GLuint name);
    void BindArrayBuffer(GLuint name);
    void BindElementBuffer(GLuint name);
    // A GL object is going away (GL unbinds it itself): forget it wherever it is bound.
    void ForgetName(GLuint texture, GLuint buffer);
    bool CompressedTextures() const { return features_.s3tc; }
    // The depth write mask GL holds: 1, 0, or -1 when unknown. Clear changes it and says so.
    int8_t DepthMask() const { return depthMask_; }
    void DepthMaskSet(bool on) { depthMask_ = on; }

private:
    // What one texture unit was last set up as; compared whole, so an unchanged unit costs nothing.
    struct UnitSetup {
        bool valid = false;
        bool enabled = false;
        GLuint texture = 0;
        GLint combine[2][8] = {};  // [colour/alpha]: function, scale, sources 0-2, operands 0-2
        float factor[4] = {};
        bool sphereMap = false;
        float matrix[16] = {};
        // Field by field: the padding between the members holds anything, so the whole is never
        // compared as bytes.
        bool Same(const UnitSetup& other) const {
            return valid == other.valid && enabled == other.enabled && texture == other.texture &&
                   sphereMap == other.sphereMap && std::memcmp(combine, other.combine, sizeof combine) == 0 &&
                   std::memcmp(factor, other.factor, sizeof factor) == 0 &&
                   std::memcmp(matrix, other.matrix, sizeof matrix) == 0;
        }
    };
    struct CapCache {
        GLenum cap;
        int8_t on;  // -1 unknown
    };
    // What one vertex array was last pointed at; a draw from the same buffer and layout sets nothing.
    struct ArrayPointer {
        bool valid = false;
        GLuint vbo = 0;
        const void* at = nullptr;
        GLint size = 0;
        GLenum type = 0;
        GLsizei stride = 0;
    };

    void SetCap(GLenum cap, bool on);
    void MatrixMode(GLenum mode);
    void ActiveUnit(uint32_t unit);
    void ClientUnit(uint32_t unit);
    void ClientArray(int slot, GLenum array, bool on);
    void ApplyStages();
    void ApplyLights();
    void ApplyMaterial();
    void ApplyTransforms(bool rhw, uint32_t groups, const Viewport& viewport);
    // Points array `slot` (as ClientArray numbers them) unless it already points there.
    void ArrayAt(int slot, GLuint vbo, GLint size, GLenum type, GLsizei stride, const void* at);

    const DrawingState& drawing_;
    SDL_Window* window_;
    SDL_GLContext context_;
    std::vector<std::string>* notes_;
    GLFeatures features_;
    uint32_t dirty_ = kDirtyAll;
    bool lastRhw_ = false;
    bool rhwKnown_ = false;
    // What GL was last told.
    std::vector<CapCache> capCache_;
    UnitSetup units_[kMaxStages];
    GLuint boundTexture_[kMaxStages] = {};
    bool boundKnown_[kMaxStages] = {};
    GLuint arrayBuffer_ = 0, elementBuffer_ = 0;
    bool buffersKnown_ = false;
    int activeUnit_ = -1, clientUnit_ = -1;
    GLenum matrixMode_ = 0;
    int8_t clientArrays_[3 + kMaxStages] = {};  // vertex, normal, colour, texture coordinates per unit: -1 unknown
    ArrayPointer pointers_[3 + kMaxStages];
    uint32_t enabledUnits_ = 0;  // units set up enabled, by bit: the only ones whose coordinates are read
    bool whiteKnown_ = false;    // the current colour is opaque white (a draw with vertex colours leaves it undefined)
    GLint depthFunc_ = -1;
    int8_t depthMask_ = -1;
    GLenum blend_[2] = {0, 0};
    GLenum alphaFunc_ = 0;
    float alphaRef_ = -1.0f;
    uint32_t unitCount_ = 1;
    bool toldMultiplyAdd_ = false;
    GLuint white_ = 0;              // 1 x 1 white, for stages whose operation does not read their (missing) texture
    std::vector<uint8_t> colours_;  // vertex colours turned to RGBA where GL cannot read BGRA
};

// A texture whose GL copy is made at its first bind and again after every change.
std::unique_ptr<ITexture> CreateGLTexture(ResourceHost* host, GLStateTranslator* gl, uint32_t width, uint32_t height,
                                          uint32_t levels, Format format);

// A vertex or index buffer whose GL copy is made at its first draw and again after every change.
template <class Base, GLenum kTarget>
class GLBuffer : public Base {
public:
    template <class... Args>
    GLBuffer(ResourceHost* host, GLStateTranslator* gl, Args... args) : Base(host, args...), gl_(gl) {}
    ~GLBuffer() override { DropDriverCopy(); }
    void DropDriverCopy() override;
    // Binds the buffer, uploading it first when it changed.
    GLuint Bind();

protected:
    void OnChanged() override { dirty_ = true; }

private:
    GLStateTranslator* gl_;
    GLuint name_ = 0;
    bool dirty_ = true;
};

using GLVertexBuffer = GLBuffer<BasicVertexBuffer, GL_ARRAY_BUFFER>;
using GLIndexBuffer = GLBuffer<BasicIndexBuffer, GL_ELEMENT_ARRAY_BUFFER>;

}  // namespace plat
