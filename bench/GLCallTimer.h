// Wraps the GL entry points (and the buffer swap) that the platform layer calls, counting them and,
// while `g_glTiming` is set, adding the time spent inside them to `g_glInside`: a benchmark can then
// tell the engine's own CPU time apart from the driver's. Include it in one file of one program only.
#pragma once
#include <dlfcn.h>

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace glcalls {
using Clock = std::chrono::steady_clock;
inline bool g_glTiming = false;
inline std::uint64_t g_glCalls = 0, g_glDraws = 0;
inline double g_glInside = 0.0;  // seconds inside wrapped calls
struct Timed {
    Clock::time_point start;
    explicit Timed(bool draw) {
        ++g_glCalls;
        g_glDraws += draw;
        if (g_glTiming) start = Clock::now();
    }
    ~Timed() {
        if (g_glTiming) g_glInside += std::chrono::duration<double>(Clock::now() - start).count();
    }
};

// What one wrapped call costs outside its timed part (the call into the wrapper, the counters, the
// first clock read's return and the second's start), measured on a GL call that does next to nothing:
// the median of many short batches. Not charged to the engine.
inline double WrapperCost() {
    const int batches = 200, n = 500;
    std::vector<double> each;
    g_glTiming = true;
    for (int b = 0; b < batches; ++b) {
        const double inside = g_glInside;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < n; ++i) glGetError();
        const double all = std::chrono::duration<double>(Clock::now() - start).count();
        each.push_back((all - (g_glInside - inside)) / n);
    }
    g_glTiming = false;
    std::sort(each.begin(), each.end());
    return each[each.size() / 2];
}
}  // namespace glcalls

#define TV_WRAP(draw, ret, name, params, args)                                       \
    extern "C" ret name params {                                                     \
        static auto real = reinterpret_cast<ret(*) params>(dlsym(RTLD_NEXT, #name)); \
        glcalls::Timed timed(draw);                                                  \
        return real args;                                                            \
    }
TV_WRAP(0, void, glEnable, (GLenum c), (c))
TV_WRAP(0, void, glDisable, (GLenum c), (c))
TV_WRAP(0, void, glBlendFunc, (GLenum s, GLenum d), (s, d))
TV_WRAP(0, void, glAlphaFunc, (GLenum f, GLclampf r), (f, r))
TV_WRAP(0, void, glDepthFunc, (GLenum f), (f))
TV_WRAP(0, void, glDepthMask, (GLboolean m), (m))
TV_WRAP(0, void, glCullFace, (GLenum m), (m))
TV_WRAP(0, void, glFrontFace, (GLenum m), (m))
TV_WRAP(0, void, glShadeModel, (GLenum m), (m))
TV_WRAP(0, void, glTexEnvi, (GLenum t, GLenum p, GLint v), (t, p, v))
TV_WRAP(0, void, glTexEnvf, (GLenum t, GLenum p, GLfloat v), (t, p, v))
TV_WRAP(0, void, glTexEnvfv, (GLenum t, GLenum p, const GLfloat* v), (t, p, v))
TV_WRAP(0, void, glTexParameteri, (GLenum t, GLenum p, GLint v), (t, p, v))
TV_WRAP(0, void, glTexParameterf, (GLenum t, GLenum p, GLfloat v), (t, p, v))
TV_WRAP(0, void, glTexGeni, (GLenum c, GLenum p, GLint v), (c, p, v))
TV_WRAP(0, void, glBindTexture, (GLenum t, GLuint n), (t, n))
TV_WRAP(0, void, glActiveTexture, (GLenum u), (u))
TV_WRAP(0, void, glClientActiveTexture, (GLenum u), (u))
TV_WRAP(0, void, glMatrixMode, (GLenum m), (m))
TV_WRAP(0, void, glLoadMatrixf, (const GLfloat* m), (m))
TV_WRAP(0, void, glLoadIdentity, (void), ())
TV_WRAP(0, void, glLightf, (GLenum l, GLenum p, GLfloat v), (l, p, v))
TV_WRAP(0, void, glLightfv, (GLenum l, GLenum p, const GLfloat* v), (l, p, v))
TV_WRAP(0, void, glLightModeli, (GLenum p, GLint v), (p, v))
TV_WRAP(0, void, glLightModelfv, (GLenum p, const GLfloat* v), (p, v))
TV_WRAP(0, void, glMaterialfv, (GLenum f, GLenum p, const GLfloat* v), (f, p, v))
TV_WRAP(0, void, glMaterialf, (GLenum f, GLenum p, GLfloat v), (f, p, v))
TV_WRAP(0, void, glColorMaterial, (GLenum f, GLenum m), (f, m))
TV_WRAP(0, void, glFogf, (GLenum p, GLfloat v), (p, v))
TV_WRAP(0, void, glFogi, (GLenum p, GLint v), (p, v))
TV_WRAP(0, void, glFogfv, (GLenum p, const GLfloat* v), (p, v))
TV_WRAP(0, void, glEnableClientState, (GLenum a), (a))
TV_WRAP(0, void, glDisableClientState, (GLenum a), (a))
TV_WRAP(0, void, glBindBuffer, (GLenum t, GLuint b), (t, b))
TV_WRAP(0, void, glBufferData, (GLenum t, GLsizeiptr n, const void* d, GLenum u), (t, n, d, u))
TV_WRAP(0, void, glVertexPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(0, void, glNormalPointer, (GLenum t, GLsizei s, const void* p), (t, s, p))
TV_WRAP(0, void, glColorPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(0, void, glTexCoordPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(0, void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))
TV_WRAP(0, void, glClear, (GLbitfield m), (m))
TV_WRAP(0, void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
TV_WRAP(0, void, glClearDepth, (GLclampd d), (d))
TV_WRAP(0, void, glScissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
TV_WRAP(0, void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
TV_WRAP(0, void, glDepthRange, (GLclampd n, GLclampd f), (n, f))
TV_WRAP(0, void, glPixelStorei, (GLenum p, GLint v), (p, v))
TV_WRAP(0, void, glTexImage2D,
        (GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum y, const void* p),
        (t, l, i, w, h, b, f, y, p))
TV_WRAP(0, void, glCompressedTexImage2D,
        (GLenum t, GLint l, GLenum i, GLsizei w, GLsizei h, GLint b, GLsizei n, const void* p),
        (t, l, i, w, h, b, n, p))
TV_WRAP(0, void, glBindFramebuffer, (GLenum t, GLuint f), (t, f))
TV_WRAP(0, void, glBlitFramebuffer,
        (GLint a, GLint b, GLint c, GLint d, GLint e, GLint f, GLint g, GLint h, GLbitfield m, GLenum n),
        (a, b, c, d, e, f, g, h, m, n))
TV_WRAP(1, void, glDrawArrays, (GLenum m, GLint f, GLsizei c), (m, f, c))
TV_WRAP(1, void, glDrawRangeElements, (GLenum m, GLuint s, GLuint e, GLsizei c, GLenum t, const void* i),
        (m, s, e, c, t, i))
TV_WRAP(0, GLenum, glGetError, (void), ())
TV_WRAP(0, void, glFlush, (void), ())
TV_WRAP(0, void, glFinish, (void), ())
TV_WRAP(0, void, SDL_GL_SwapWindow, (SDL_Window * w), (w))
#undef TV_WRAP
