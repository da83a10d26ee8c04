// The runtime's fixed-function states turned into GL 2.1 state at draw time, and the GL textures.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/BlockDecode.h"
#include "platform/GraphicsDraw.h"

#ifndef GL_MODULATE_ADD_ATI
#define GL_MODULATE_ADD_ATI 0x8744
#endif
#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#endif
#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif

namespace plat {

namespace {

// ---- resources -----------------------------------------------------------------------------------

struct SamplerSetup {
    GLint minFilter = -1, magFilter = -1, wrapS = -1, wrapT = -1;
    float anisotropy = -1.0f;
};

class GLTexture : public BasicTexture {
public:
    GLTexture(ResourceHost* host, GLStateTranslator* gl, uint32_t w, uint32_t h, uint32_t levels, Format format)
        : BasicTexture(host, w, h, levels, format), gl_(gl), dirty_(GetLevelCount(), true) {}
    ~GLTexture() override { DropDriverCopy(); }

    void DropDriverCopy() override {
        if (name_ != 0 && gl_ != nullptr && Host() != nullptr) {
            gl_->MakeCurrent();
            gl_->ForgetName(name_, 0);
            glDeleteTextures(1, &name_);
        }
        name_ = 0;
        sampler_ = SamplerSetup();
        std::fill(dirty_.begin(), dirty_.end(), true);
    }

    // Binds on `unit`, uploading what changed since the last time.
    GLuint Bind(uint32_t unit) {
        const bool fresh = name_ == 0;
        if (fresh) glGenTextures(1, &name_);
        gl_->BindTexture(unit, name_);
        if (fresh) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(GetLevelCount() - 1));
        for (uint32_t level = 0; level < GetLevelCount(); ++level) {
            if (dirty_[level]) Upload(level);
            dirty_[level] = false;
        }
        return name_;
    }
    // Applies a sampler's states to this texture (sampler states belong to texture objects in GL).
    void ApplySampler(const SamplerSetup& wanted) {
        if (wanted.minFilter != sampler_.minFilter)
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, wanted.minFilter);
        if (wanted.magFilter != sampler_.magFilter)
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, wanted.magFilter);
        if (wanted.wrapS != sampler_.wrapS) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wanted.wrapS);
        if (wanted.wrapT != sampler_.wrapT) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wanted.wrapT);
        if (wanted.anisotropy > 0.0f && wanted.anisotropy != sampler_.anisotropy) {
            glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, wanted.anisotropy);
        }
        sampler_ = wanted;
    }
    bool NeedsUpload() const { return name_ == 0 || std::find(dirty_.begin(), dirty_.end(), true) != dirty_.end(); }

protected:
    void OnLevelChanged(uint32_t level) override { dirty_[level] = true; }

private:
    void Upload(uint32_t level) {
        const Level& l = GetLevel(level);
        const GLint lv = static_cast<GLint>(level);
        const GLsizei w = static_cast<GLsizei>(l.width), h = static_cast<GLsizei>(l.height);
        const void* data = l.bytes.data();
        GLenum internal = GL_RGBA8, format = GL_BGRA, type = GL_UNSIGNED_BYTE;  // B, G, R, A in memory order
        switch (GetFormat()) {
        case Format::Dxt1:
        case Format::Dxt3:
        case Format::Dxt5:
            if (gl_->CompressedTextures()) {
                const GLenum compressed = GetFormat() == Format::Dxt1   ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
                                          : GetFormat() == Format::Dxt3 ? GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
                                                                        : GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
                glCompressedTexImage2D(GL_TEXTURE_2D, lv, compressed, w, h, 0, static_cast<GLsizei>(l.bytes.size()),
                                       data);
                return;
            }
            {
                // No compressed textures in this driver: the image loader's decoder gives the texels.
                ImageLevel blocks;
                blocks.width = l.width, blocks.height = l.height, blocks.pitch = l.pitch, blocks.bytes = l.bytes;
                try {
                    image::DecodeBlocks(GetFormat(), blocks, decoded_);
                } catch (const std::exception&) {
                    return;  // the level is always whole: cannot happen
                }
                data = decoded_.bgra.data();
                type = GL_UNSIGNED_BYTE;
            }
            break;
        case Format::Xrgb8888:
            internal = GL_RGB8;
            break;
        case Format::Rgb565:
            internal = GL_RGB5, format = GL_RGB, type = GL_UNSIGNED_SHORT_5_6_5;
            break;
        case Format::Argb1555:
            internal = GL_RGB5_A1, type = GL_UNSIGNED_SHORT_1_5_5_5_REV;
            break;
        case Format::Xrgb1555:
            internal = GL_RGB5, type = GL_UNSIGNED_SHORT_1_5_5_5_REV;
            break;
        case Format::Argb4444:
            internal = GL_RGBA4, type = GL_UNSIGNED_SHORT_4_4_4_4_REV;
            break;
        case Format::Alpha8:
            internal = GL_ALPHA8, format = GL_ALPHA, type = GL_UNSIGNED_BYTE;
            break;
        case Format::Luminance8:
            internal = GL_LUMINANCE8, format = GL_LUMINANCE, type = GL_UNSIGNED_BYTE;
            break;
        case Format::AlphaLuminance88:
            internal = GL_LUMINANCE8_ALPHA8, format = GL_LUMINANCE_ALPHA, type = GL_UNSIGNED_BYTE;
            break;
        default:
            break;
        }
        glTexImage2D(GL_TEXTURE_2D, lv, static_cast<GLint>(internal), w, h, 0, format, type, data);
        decoded_ = image::Pixels();
    }

    GLStateTranslator* gl_;
    GLuint name_ = 0;
    std::vector<bool> dirty_;
    SamplerSetup sampler_;
    image::Pixels decoded_;
};

// ---- state translation ---------------------------------------------------------------------------

GLenum BlendFactor(uint32_t blend) {
    switch (static_cast<Blend>(blend)) {
    case Blend::Zero:
        return GL_ZERO;
    case Blend::One:
        return GL_ONE;
    case Blend::SrcColour:
        return GL_SRC_COLOR;
    case Blend::InvSrcColour:
        return GL_ONE_MINUS_SRC_COLOR;
    case Blend::SrcAlpha:
        return GL_SRC_ALPHA;
    case Blend::InvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case Blend::DestAlpha:
        return GL_DST_ALPHA;
    case Blend::InvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case Blend::DestColour:
        return GL_DST_COLOR;
    case Blend::InvDestColour:
        return GL_ONE_MINUS_DST_COLOR;
    }
    return GL_ONE;
}

// Never .. Always are consecutive in both numberings; anything else passes.
GLenum CompareFunc(uint32_t func) { return func >= 1 && func <= 8 ? GL_NEVER + (func - 1) : GL_ALWAYS; }

void ColourOf(uint32_t argb, float out[4]) {
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>((argb >> 24) & 0xFF) / 255.0f;
}

const float* Floats(const ColourValue& c) { return &c.r; }

bool ReadsTexture(uint32_t op, uint32_t arg0, uint32_t arg1, uint32_t arg2) {
    auto texture = [](uint32_t arg) { return (arg & 0xF) == static_cast<uint32_t>(TextureArg::Texture); };
    switch (static_cast<TextureOp>(op)) {
    case TextureOp::Disable:
        return false;
    case TextureOp::SelectArg1:
        return texture(arg1);
    case TextureOp::SelectArg2:
        return texture(arg2);
    case TextureOp::MultiplyAdd:
        return texture(arg0) || texture(arg1) || texture(arg2);
    default:
        return texture(arg1) || texture(arg2);
    }
}

GLint Source(uint32_t arg) {
    switch (static_cast<TextureArg>(arg & 0xF)) {
    case TextureArg::Texture:
        return GL_TEXTURE;
    case TextureArg::Factor:
        return GL_CONSTANT;
    case TextureArg::Current:
        return GL_PREVIOUS;
    default:
        return GL_PRIMARY_COLOR;  // diffuse (and the specular colour, which is not kept apart here)
    }
}

GLint Operand(uint32_t arg, bool alpha) {
    const bool complement = (arg & kTextureArgComplement) != 0;
    if (alpha || (arg & kTextureArgAlphaReplicate) != 0) return complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    return complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
}

// One combiner half (colour or alpha) of a stage: function, scale, three sources and operands.
void Combiner(uint32_t op, uint32_t arg0, uint32_t arg1, uint32_t arg2, bool alpha, bool multiplyAdd, GLint out[8]) {
    GLint function = GL_REPLACE, scale = 1;
    uint32_t a = arg1, b = arg2, c = static_cast<uint32_t>(TextureArg::Current);
    switch (static_cast<TextureOp>(op)) {
    case TextureOp::SelectArg1:
        break;
    case TextureOp::SelectArg2:
        a = arg2;
        break;
    case TextureOp::Modulate:
        function = GL_MODULATE;
        break;
    case TextureOp::Modulate2x:
        function = GL_MODULATE, scale = 2;
        break;
    case TextureOp::Add:
        function = GL_ADD;
        break;
    case TextureOp::MultiplyAdd:
        // GL's modulate-add is source0 x source2 + source1.
        if (multiplyAdd) {
            function = GL_MODULATE_ADD_ATI, a = arg1, b = arg0, c = arg2;
        } else {
            function = GL_ADD, a = arg0, b = arg1;
        }
        break;
    default:  // Disable on the alpha half of a live stage: the alpha passes on
        a = static_cast<uint32_t>(TextureArg::Current);
        break;
    }
    out[0] = function;
    out[1] = scale;
    out[2] = Source(a), out[3] = Source(b), out[4] = Source(c);
    out[5] = Operand(a, alpha), out[6] = Operand(b, alpha), out[7] = Operand(c, alpha);
}

}  // namespace

// ---- caches of what GL holds ----------------------------------------------------------------------

GLStateTranslator::GLStateTranslator(const DrawingState& drawing, SDL_Window* window, SDL_GLContext context,
                                     std::vector<std::string>* notes)
    : drawing_(drawing), window_(window), context_(context), notes_(notes) {}

void GLStateTranslator::Init(const GLFeatures& features) {
    features_ = features;
    GLint units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    unitCount_ = static_cast<uint32_t>(std::min<GLint>(std::max<GLint>(units, 1), kMaxStages));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGenTextures(1, &white_);
    glBindTexture(GL_TEXTURE_2D, white_);
    const uint32_t white = 0xFFFFFFFFu;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GLStateTranslator::Release() {
    if (white_ != 0) glDeleteTextures(1, &white_);
    white_ = 0;
}

void GLStateTranslator::MakeCurrent() {
    if (SDL_GL_GetCurrentContext() != context_) SDL_GL_MakeCurrent(window_, context_);
}

void GLStateTranslator::Invalidate() {
    capCache_.clear();
    for (UnitSetup& unit : units_) unit.valid = false;
    enabledUnits_ = 0;
    std::fill(std::begin(boundKnown_), std::end(boundKnown_), false);
    buffersKnown_ = false;
    activeUnit_ = clientUnit_ = -1;
    matrixMode_ = 0;
    std::fill(std::begin(clientArrays_), std::end(clientArrays_), static_cast<int8_t>(-1));
    depthFunc_ = -1;
    depthMask_ = -1;
    blend_[0] = blend_[1] = 0;
    alphaFunc_ = 0;
    alphaRef_ = -1.0f;
    rhwKnown_ = false;
    for (ArrayPointer& pointer : pointers_) pointer.valid = false;
    whiteKnown_ = false;
    dirty_ = kDirtyAll;
}

void GLStateTranslator::ForgetName(GLuint texture, GLuint buffer) {
    for (uint32_t unit = 0; unit < kMaxStages; ++unit) {
        if (texture != 0 && boundKnown_[unit] && boundTexture_[unit] == texture) {
            boundKnown_[unit] = false;
            units_[unit].valid = false;
            Mark(kDirtyStages);
        }
    }
    if (buffer != 0 && (arrayBuffer_ == buffer || elementBuffer_ == buffer)) buffersKnown_ = false;
    // GL unpoints the arrays of a deleted buffer; the name may come back for another buffer.
    for (ArrayPointer& pointer : pointers_) {
        if (buffer != 0 && pointer.vbo == buffer) pointer.valid = false;
    }
}

void GLStateTranslator::SetCap(GLenum cap, bool on) {
    for (CapCache& c : capCache_) {
        if (c.cap == cap) {
            if (c.on == static_cast<int8_t>(on)) return;
            c.on = on;
            on ? glEnable(cap) : glDisable(cap);
            return;
        }
    }
    capCache_.push_back(CapCache{cap, static_cast<int8_t>(on)});
    on ? glEnable(cap) : glDisable(cap);
}

void GLStateTranslator::MatrixMode(GLenum mode) {
    if (matrixMode_ != mode) glMatrixMode(mode);
    matrixMode_ = mode;
}

void GLStateTranslator::ActiveUnit(uint32_t unit) {
    if (activeUnit_ != static_cast<int>(unit)) glActiveTexture(GL_TEXTURE0 + unit);
    activeUnit_ = static_cast<int>(unit);
}

void GLStateTranslator::ClientUnit(uint32_t unit) {
    if (clientUnit_ != static_cast<int>(unit)) glClientActiveTexture(GL_TEXTURE0 + unit);
    clientUnit_ = static_cast<int>(unit);
}

void GLStateTranslator::ClientArray(int slot, GLenum array, bool on) {
    if (clientArrays_[slot] == static_cast<int8_t>(on)) return;
    clientArrays_[slot] = on;
    on ? glEnableClientState(array) : glDisableClientState(array);
}

void GLStateTranslator::BindTexture(uint32_t unit, GLuint name) {
    ActiveUnit(unit);
    if (boundKnown_[unit] && boundTexture_[unit] == name) return;
    glBindTexture(GL_TEXTURE_2D, name);
    boundTexture_[unit] = name;
    boundKnown_[unit] = true;
}

void GLStateTranslator::BindArrayBuffer(GLuint name) {
    if (!buffersKnown_) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        elementBuffer_ = 0;
        glBindBuffer(GL_ARRAY_BUFFER, name);
        arrayBuffer_ = name;
        buffersKnown_ = true;
        return;
    }
    if (arrayBuffer_ != name) glBindBuffer(GL_ARRAY_BUFFER, name);
    arrayBuffer_ = name;
}

void GLStateTranslator::BindElementBuffer(GLuint name) {
    if (!buffersKnown_) BindArrayBuffer(0);
    if (elementBuffer_ != name) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
    elementBuffer_ = name;
}

// ---- turning state into GL -----------------------------------------------------------------------

void GLStateTranslator::Prepare(bool rhw, const Viewport& viewport, bool multisampled) {
    if (!rhwKnown_ || rhw != lastRhw_) Mark(kDirtyTransforms | kDirtyFog | kDirtyLighting);
    rhwKnown_ = true;
    lastRhw_ = rhw;
    // A bound texture whose contents changed is uploaded by the stage pass.
    for (uint32_t stage = 0; stage < unitCount_; ++stage) {
        GLTexture* texture = static_cast<GLTexture*>(drawing_.TextureAt(stage));
        if (texture != nullptr && texture->NeedsUpload()) Mark(kDirtyStages);
    }
    const DrawingState& s = drawing_;
    if (dirty_ & kDirtyDepth) {
        SetCap(GL_DEPTH_TEST, s.Render(RenderState::ZEnable) != 0);
        const GLint func = static_cast<GLint>(CompareFunc(s.Render(RenderState::ZFunc)));
        if (func != depthFunc_) glDepthFunc(static_cast<GLenum>(func));
        depthFunc_ = func;
        const int8_t mask = s.Render(RenderState::ZWriteEnable) != 0;
        if (mask != depthMask_) glDepthMask(mask ? GL_TRUE : GL_FALSE);
        depthMask_ = mask;
    }
    if (dirty_ & kDirtyBlend) {
        SetCap(GL_BLEND, s.Render(RenderState::AlphaBlendEnable) != 0);
        const GLenum src = BlendFactor(s.Render(RenderState::SrcBlend));
        const GLenum dst = BlendFactor(s.Render(RenderState::DestBlend));
        if (src != blend_[0] || dst != blend_[1]) glBlendFunc(src, dst);
        blend_[0] = src, blend_[1] = dst;
        SetCap(GL_ALPHA_TEST, s.Render(RenderState::AlphaTestEnable) != 0);
        const GLenum func = CompareFunc(s.Render(RenderState::AlphaFunc));
        const float ref = static_cast<float>(std::min<uint32_t>(s.Render(RenderState::AlphaRef), 255)) / 255.0f;
        if (func != alphaFunc_ || ref != alphaRef_) glAlphaFunc(func, ref);
        alphaFunc_ = func, alphaRef_ = ref;
    }
    if (dirty_ & kDirtyRaster) {
        const uint32_t cull = s.Render(RenderState::CullMode);
        SetCap(GL_CULL_FACE,
               cull == static_cast<uint32_t>(Cull::Clockwise) || cull == static_cast<uint32_t>(Cull::CounterClockwise));
        // Winding on screen is the same in both pipelines (see ApplyTransforms): GL's front face is
        // made the clockwise one, and the culled side picked by the mode.
        glFrontFace(GL_CW);
        glCullFace(cull == static_cast<uint32_t>(Cull::Clockwise) ? GL_FRONT : GL_BACK);
        glShadeModel(s.Render(RenderState::ShadeMode) == static_cast<uint32_t>(ShadeMode::Flat) ? GL_FLAT : GL_SMOOTH);
        SetCap(GL_DITHER, s.Render(RenderState::DitherEnable) != 0);
        SetCap(GL_MULTISAMPLE, multisampled && s.Render(RenderState::MultisampleAntialias) != 0);
    }
    if (dirty_ & kDirtyFog) {
        const uint32_t table = s.Render(RenderState::FogTableMode), vertex = s.Render(RenderState::FogVertexMode);
        const uint32_t mode = table != 0 ? table : vertex;
        // Vertices already in pixels carry no depth that fog could use.
        const bool on = s.Render(RenderState::FogEnable) != 0 && mode != 0 && mode <= 3 && !rhw;
        SetCap(GL_FOG, on);
        if (on) {
            glFogi(GL_FOG_MODE, mode == 1 ? GL_EXP : mode == 2 ? GL_EXP2 : GL_LINEAR);
            float start = BitsFloat(s.Render(RenderState::FogStart)), end = BitsFloat(s.Render(RenderState::FogEnd));
            // Equal ends would divide by zero: fog then steps from none to full at that distance.
            if (start == end) start = end - std::max(std::fabs(end), 1.0f) * 1e-4f;
            glFogf(GL_FOG_START, start);
            glFogf(GL_FOG_END, end);
            glFogf(GL_FOG_DENSITY, BitsFloat(s.Render(RenderState::FogDensity)));
            float colour[4];
            ColourOf(s.Render(RenderState::FogColour), colour);
            glFogfv(GL_FOG_COLOR, colour);
        }
    }
    if (dirty_ & kDirtyLighting) {
        const bool lit = s.Render(RenderState::Lighting) != 0 && !rhw;
        SetCap(GL_LIGHTING, lit);
        if (lit) {
            float ambient[4];
            ColourOf(s.Render(RenderState::Ambient), ambient);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
            glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, s.Render(RenderState::LocalViewer) != 0);
            glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL,
                          s.Render(RenderState::SpecularEnable) != 0 ? GL_SEPARATE_SPECULAR_COLOR : GL_SINGLE_COLOR);
            SetCap(GL_NORMALIZE, s.Render(RenderState::NormalizeNormals) != 0);
        }
        // Vertex colours stand in for the material's diffuse colour, as the runtime does by default.
        const bool colourMaterial = lit && s.Render(RenderState::ColourVertex) != 0 && (s.Fvf() & kFvfDiffuse) != 0;
        for (CapCache& c : capCache_) {
            // Leaving colour-material mode leaves the last vertex colour in the material: set it again.
            if (c.cap == GL_COLOR_MATERIAL && c.on == 1 && !colourMaterial) Mark(kDirtyMaterial);
        }
        if (colourMaterial) glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        SetCap(GL_COLOR_MATERIAL, colourMaterial);
    }
    if (dirty_ & kDirtyMaterial) ApplyMaterial();
    if (dirty_ & kDirtyLights) ApplyLights();
    if (dirty_ & kDirtyTransforms) ApplyTransforms(rhw, dirty_ & kDirtyTransforms, viewport);
    if (dirty_ & kDirtyStages) ApplyStages();
    dirty_ = 0;
}

void GLStateTranslator::ApplyMaterial() {
    const Material& m = drawing_.GetMaterial();
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, Floats(m.ambient));
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, Floats(m.diffuse));
    static const float kNone[4] = {0, 0, 0, 0};
    const bool specular = drawing_.Render(RenderState::SpecularEnable) != 0;
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular ? Floats(m.specular) : kNone);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, Floats(m.emissive));
    // GL refuses exponents above 128 (and would drop the call).
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::min(std::max(m.power, 0.0f), 128.0f));
}

namespace {

// Turns the runtime's left-handed eye space (+z ahead) into GL's right-handed one (-z ahead), so that
// GL's sphere mapping, local viewer and fog see the eye space they expect.
Matrix FlipZ() { return MatrixScaling(1.0f, 1.0f, -1.0f); }

}  // namespace

void GLStateTranslator::ApplyLights() {
    // Lights are given in world space; GL places them through the modelview matrix of the moment.
    MatrixMode(GL_MODELVIEW);
    const Matrix viewFlip = MatrixMultiply(drawing_.View(), FlipZ());
    glLoadMatrixf(&viewFlip.m[0][0]);
    for (uint32_t i = 0; i < kMaxLights; ++i) {
        const GLenum id = GL_LIGHT0 + i;
        SetCap(id, drawing_.LightOn(i));
        if (!drawing_.LightOn(i)) continue;
        const Light& l = drawing_.LightAt(i);
        glLightfv(id, GL_DIFFUSE, Floats(l.diffuse));
        glLightfv(id, GL_SPECULAR, Floats(l.specular));
        glLightfv(id, GL_AMBIENT, Floats(l.ambient));
        if (l.type == LightType::Directional) {
            const float position[4] = {-l.direction.x, -l.direction.y, -l.direction.z, 0.0f};
            glLightfv(id, GL_POSITION, position);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            glLightf(id, GL_CONSTANT_ATTENUATION, 1.0f);
            glLightf(id, GL_LINEAR_ATTENUATION, 0.0f);
            glLightf(id, GL_QUADRATIC_ATTENUATION, 0.0f);
            continue;
        }
        const float position[4] = {l.position.x, l.position.y, l.position.z, 1.0f};
        glLightfv(id, GL_POSITION, position);
        glLightf(id, GL_CONSTANT_ATTENUATION, l.attenuation0);
        glLightf(id, GL_LINEAR_ATTENUATION, l.attenuation1);
        glLightf(id, GL_QUADRATIC_ATTENUATION, l.attenuation2);
        if (l.type == LightType::Spot) {
            const float direction[3] = {l.direction.x, l.direction.y, l.direction.z};
            glLightfv(id, GL_SPOT_DIRECTION, direction);
            glLightf(id, GL_SPOT_CUTOFF, std::min(std::max(l.phi * 0.5f * 57.29578f, 0.0f), 90.0f));
            glLightf(id, GL_SPOT_EXPONENT, std::min(std::max(l.falloff, 0.0f), 128.0f));
        } else {
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
        }
    }
    Mark(kDirtyModelView);
}

void GLStateTranslator::ApplyTransforms(bool rhw, uint32_t groups, const Viewport& viewport) {
    // The runtime's row-vector matrices lie in memory as GL's column-vector ones: no transpose.
    if (groups & kDirtyProjection) {
        Matrix projection = MatrixIdentity();
        if (rhw) {
            // Pixels of the viewport, y down, depth 0..1 as given.
            const float w = static_cast<float>(viewport.width), h = static_cast<float>(viewport.height);
            projection.m[0][0] = 2.0f / w;
            projection.m[1][1] = -2.0f / h;
            projection.m[2][2] = 2.0f;
            projection.m[3][0] = -1.0f - 2.0f * static_cast<float>(viewport.x) / w;
            projection.m[3][1] = 1.0f + 2.0f * static_cast<float>(viewport.y) / h;
            projection.m[3][2] = -1.0f;
        } else {
            // Clip coordinates come out as the runtime's: W x V x F, then F x P x Z, where Z turns its
            // clip depth 0..w into GL's -w..w (the viewport's depth range then maps it as the runtime does).
            Matrix depth = MatrixIdentity();
            depth.m[2][2] = 2.0f;
            depth.m[3][2] = -1.0f;
            projection = MatrixMultiply(MatrixMultiply(FlipZ(), drawing_.Projection()), depth);
        }
        MatrixMode(GL_PROJECTION);
        glLoadMatrixf(&projection.m[0][0]);
    }
    if (groups & kDirtyModelView) {
        const Matrix modelView =
            rhw ? MatrixIdentity() : MatrixMultiply(MatrixMultiply(drawing_.World(), drawing_.View()), FlipZ());
        MatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&modelView.m[0][0]);
    }
}

void GLStateTranslator::ApplyStages() {
    const DrawingState& s = drawing_;
    bool off = false;  // a disabled stage ends the chain
    for (uint32_t unit = 0; unit < unitCount_; ++unit) {
        UnitSetup want;
        want.valid = true;
        const uint32_t op = s.Stage(unit, StageState::ColourOp);
        const uint32_t a0 = s.Stage(unit, StageState::ColourArg0), a1 = s.Stage(unit, StageState::ColourArg1),
                       a2 = s.Stage(unit, StageState::ColourArg2);
        const uint32_t alphaOp = s.Stage(unit, StageState::AlphaOp);
        const uint32_t b0 = s.Stage(unit, StageState::AlphaArg0), b1 = s.Stage(unit, StageState::AlphaArg1),
                       b2 = s.Stage(unit, StageState::AlphaArg2);
        off = off || op == static_cast<uint32_t>(TextureOp::Disable);
        GLTexture* texture = static_cast<GLTexture*>(s.TextureAt(unit));
        const bool readsTexture = ReadsTexture(op, a0, a1, a2) || ReadsTexture(alphaOp, b0, b1, b2);
        // A stage without a texture that would read it passes the previous colour on (the runtime's rule).
        want.enabled = !off && !(texture == nullptr && readsTexture);
        if (want.enabled) {
            want.texture = texture != nullptr ? texture->Bind(unit) : white_;
            if (texture == nullptr) BindTexture(unit, white_);
            if (texture != nullptr) {
                SamplerSetup sampler;
                auto linear = [](uint32_t f) {
                    return f == static_cast<uint32_t>(TextureFilter::Linear) ||
                           f == static_cast<uint32_t>(TextureFilter::Anisotropic);
                };
                const bool minLinear = linear(s.Sampler(unit, SamplerState::MinFilter));
                const uint32_t mip = texture->GetLevelCount() > 1 ? s.Sampler(unit, SamplerState::MipFilter) : 0;
                sampler.minFilter = mip == 0   ? (minLinear ? GL_LINEAR : GL_NEAREST)
                                    : mip == 1 ? (minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST)
                                               : (minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR);
                sampler.magFilter = linear(s.Sampler(unit, SamplerState::MagFilter)) ? GL_LINEAR : GL_NEAREST;
                auto wrap = [](uint32_t address) {
                    return address == static_cast<uint32_t>(TextureAddress::Clamp)    ? GL_CLAMP_TO_EDGE
                           : address == static_cast<uint32_t>(TextureAddress::Mirror) ? GL_MIRRORED_REPEAT
                                                                                      : GL_REPEAT;
                };
                sampler.wrapS = wrap(s.Sampler(unit, SamplerState::AddressU));
                sampler.wrapT = wrap(s.Sampler(unit, SamplerState::AddressV));
                if (features_.maxAnisotropy > 1) {
                    const bool aniso =
                        s.Sampler(unit, SamplerState::MinFilter) == static_cast<uint32_t>(TextureFilter::Anisotropic) ||
                        s.Sampler(unit, SamplerState::MagFilter) == static_cast<uint32_t>(TextureFilter::Anisotropic);
                    const uint32_t most =
                        std::min(s.Sampler(unit, SamplerState::MaxAnisotropy), features_.maxAnisotropy);
                    sampler.anisotropy = aniso ? static_cast<float>(std::max(most, 1u)) : 1.0f;
                }
                texture->ApplySampler(sampler);
            }
            const bool multiplyAdd = op == static_cast<uint32_t>(TextureOp::MultiplyAdd) ||
                                     alphaOp == static_cast<uint32_t>(TextureOp::MultiplyAdd);
            if (multiplyAdd && !features_.multiplyAdd && !toldMultiplyAdd_) {
                toldMultiplyAdd_ = true;
                notes_->push_back(
                    "The driver has no multiply-add texture operation; adding without the factor instead.");
            }
            Combiner(op, a0, a1, a2, false, features_.multiplyAdd, want.combine[0]);
            Combiner(alphaOp, b0, b1, b2, true, features_.multiplyAdd, want.combine[1]);
            ColourOf(s.Render(RenderState::TextureFactor), want.factor);
            const uint32_t index = s.Stage(unit, StageState::TexCoordIndex);
            want.sphereMap = (index & 0xFFFF0000u) == kTexCoordSphereMap;
            const uint32_t flags = s.Stage(unit, StageState::TextureTransformFlags) & 0xFF;
            Matrix m = MatrixIdentity();
            if (flags != 0) {
                m = s.TextureMatrix(unit);
                // Two coordinates are extended with 1 as the third by the runtime, with 1 as the fourth by GL.
                if (flags == static_cast<uint32_t>(TextureTransform::Count2)) {
                    for (int c = 0; c < 4; ++c) m.m[3][c] = m.m[2][c], m.m[2][c] = 0.0f;
                }
            }
            std::memcpy(want.matrix, &m.m[0][0], sizeof want.matrix);
        }
        UnitSetup& have = units_[unit];
        if (!have.valid || !have.Same(want)) {
            ActiveUnit(unit);
            if (!want.enabled) {
                glDisable(GL_TEXTURE_2D);
            } else {
                glEnable(GL_TEXTURE_2D);
                glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
                static const GLenum kNames[2][8] = {
                    {GL_COMBINE_RGB, GL_RGB_SCALE, GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB, GL_OPERAND0_RGB,
                     GL_OPERAND1_RGB, GL_OPERAND2_RGB},
                    {GL_COMBINE_ALPHA, GL_ALPHA_SCALE, GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA,
                     GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA}};
                for (int half = 0; half < 2; ++half) {
                    for (int i = 0; i < 8; ++i) {
                        if (i == 1) {
                            glTexEnvf(GL_TEXTURE_ENV, kNames[half][i], static_cast<float>(want.combine[half][i]));
                        } else {
                            glTexEnvi(GL_TEXTURE_ENV, kNames[half][i], want.combine[half][i]);
                        }
                    }
                }
                glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, want.factor);
                if (want.sphereMap) {
                    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
                    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
                    glEnable(GL_TEXTURE_GEN_S);
                    glEnable(GL_TEXTURE_GEN_T);
                } else {
                    glDisable(GL_TEXTURE_GEN_S);
                    glDisable(GL_TEXTURE_GEN_T);
                }
                MatrixMode(GL_TEXTURE);
                glLoadMatrixf(want.matrix);
            }
            have = want;
            enabledUnits_ = want.enabled ? enabledUnits_ | 1u << unit : enabledUnits_ & ~(1u << unit);
        }
    }
}

void GLStateTranslator::ArrayAt(int slot, GLuint vbo, GLint size, GLenum type, GLsizei stride, const void* at) {
    ArrayPointer& have = pointers_[slot];
    if (have.valid && have.vbo == vbo && have.at == at && have.size == size && have.type == type &&
        have.stride == stride) {
        return;
    }
    BindArrayBuffer(vbo);
    if (slot == 0) {
        glVertexPointer(size, type, stride, at);
    } else if (slot == 1) {
        glNormalPointer(type, stride, at);
    } else if (slot == 2) {
        glColorPointer(size, type, stride, at);
    } else {
        glTexCoordPointer(size, type, stride, at);
    }
    have = ArrayPointer{true, vbo, at, size, type, stride};
}

void GLStateTranslator::PointArrays(GLuint vbo, const uint8_t* base, const uint8_t* memory, uint32_t stride,
                                    uint32_t vertexCount) {
    const uint32_t fvf = drawing_.Fvf();
    const GLsizei step = static_cast<GLsizei>(stride);
    const uint8_t* at = base;
    BindArrayBuffer(vbo);
    ClientArray(0, GL_VERTEX_ARRAY, true);
    ArrayAt(0, vbo, 3, GL_FLOAT, step, at);  // the fourth float of pixel positions (1/w) is not used
    at += (fvf & kFvfXyzRhw) ? 16 : 12;
    ClientArray(1, GL_NORMAL_ARRAY, (fvf & kFvfNormal) != 0);
    if (fvf & kFvfNormal) {
        ArrayAt(1, vbo, 3, GL_FLOAT, step, at);
        at += 12;
    }
    ClientArray(2, GL_COLOR_ARRAY, (fvf & kFvfDiffuse) != 0);
    if (fvf & kFvfDiffuse) {
        if (features_.bgraArrays) {
            ArrayAt(2, vbo, GL_BGRA, GL_UNSIGNED_BYTE, step, at);
        } else {
            // 0xAARRGGBB words turned into R, G, B, A bytes, in memory.
            const uint8_t* from = memory + (at - base);
            colours_.resize(static_cast<size_t>(vertexCount) * 4);
            for (uint32_t v = 0; v < vertexCount; ++v) {
                uint32_t c;
                std::memcpy(&c, from + static_cast<size_t>(v) * stride, 4);
                colours_[v * 4 + 0] = static_cast<uint8_t>(c >> 16);
                colours_[v * 4 + 1] = static_cast<uint8_t>(c >> 8);
                colours_[v * 4 + 2] = static_cast<uint8_t>(c);
                colours_[v * 4 + 3] = static_cast<uint8_t>(c >> 24);
            }
            ArrayAt(2, 0, 4, GL_UNSIGNED_BYTE, 0, colours_.data());
            BindArrayBuffer(vbo);
        }
        at += 4;
        whiteKnown_ = false;  // drawing with vertex colours leaves the current colour undefined
    } else if (!whiteKnown_) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);  // no vertex colour: white, as the runtime takes it
        whiteKnown_ = true;
    }
    if (fvf & kFvfSpecular) at += 4;
    // Offsets of the coordinate sets.
    const uint32_t sets = (fvf >> 8) & 0xF;
    const uint8_t* setAt[8];
    GLint setSize[8];
    for (uint32_t set = 0; set < sets && set < 8; ++set) {
        static const GLint kFloats[4] = {2, 3, 4, 1};
        setAt[set] = at;
        setSize[set] = kFloats[(fvf >> (16 + 2 * set)) & 3];
        at += 4 * setSize[set];
    }
    for (uint32_t unit = 0; unit < unitCount_; ++unit) {
        const int slot = static_cast<int>(3 + unit);
        // A unit set up disabled, whose coordinate array is known off, has nothing to point.
        if ((enabledUnits_ >> unit & 1u) == 0 && clientArrays_[slot] == 0) continue;
        const uint32_t set = drawing_.Stage(unit, StageState::TexCoordIndex) & 0xFFFF;
        const bool has = units_[unit].enabled && set < sets;
        const bool point =
            has && !(pointers_[slot].valid && pointers_[slot].vbo == vbo && pointers_[slot].at == setAt[set] &&
                     pointers_[slot].size == setSize[set] && pointers_[slot].stride == step);
        if (clientArrays_[slot] != static_cast<int8_t>(has) || point) ClientUnit(unit);
        ClientArray(slot, GL_TEXTURE_COORD_ARRAY, has);
        if (has) ArrayAt(slot, vbo, setSize[set], GL_FLOAT, step, setAt[set]);
    }
}

template <class Base, GLenum kTarget>
void GLBuffer<Base, kTarget>::DropDriverCopy() {
    if (name_ != 0 && this->Host() != nullptr) {
        gl_->MakeCurrent();
        gl_->ForgetName(0, name_);
        glDeleteBuffers(1, &name_);
    }
    name_ = 0;
    dirty_ = true;
}

template <class Base, GLenum kTarget>
GLuint GLBuffer<Base, kTarget>::Bind() {
    if (name_ == 0) glGenBuffers(1, &name_);
    if (kTarget == GL_ARRAY_BUFFER) {
        gl_->BindArrayBuffer(name_);
    } else {
        gl_->BindElementBuffer(name_);
    }
    if (dirty_) glBufferData(kTarget, static_cast<GLsizeiptr>(this->GetSize()), this->Bytes().data(), GL_STATIC_DRAW);
    dirty_ = false;
    return name_;
}

template class GLBuffer<BasicVertexBuffer, GL_ARRAY_BUFFER>;
template class GLBuffer<BasicIndexBuffer, GL_ELEMENT_ARRAY_BUFFER>;

std::unique_ptr<ITexture> CreateGLTexture(ResourceHost* host, GLStateTranslator* gl, uint32_t width, uint32_t height,
                                          uint32_t levels, Format format) {
    return std::unique_ptr<ITexture>(new GLTexture(host, gl, width, height, levels, format));
}

}  // namespace plat
