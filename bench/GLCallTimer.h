// Wraps the GL entry points (and the buffer swap) that the platform layer calls, counting them and,
// while `g_glTiming` is set, adding the time spent inside them to `g_glInside`: a benchmark can then
// tell the engine's own CPU time apart from the driver's. While `g_glCpuTiming` is set it adds the
// calling thread's processor time inside them to `g_glInsideCpu` too (wall time grows with the
// machine's load; processor time does not). While `g_glNull` is set the wrapped calls return at once
// without reaching the driver (glGetError answers no error): a frame drawn then costs the engine's own
// processor time, nothing of the driver's, with no clock read per call to take off again. Every call
// that draws, clears, uploads or hands a frame over is wrapped, so nothing reaches the rasteriser
// then; a benchmark draws nothing it keeps while it is set. Include it in one file of one program
// only.
#pragma once
#include <dlfcn.h>

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "bench/Alternate.h"

namespace glcalls {
using Clock = std::chrono::steady_clock;
inline bool g_glTiming = false, g_glCpuTiming = false, g_glNull = false;
inline std::uint64_t g_glCalls = 0, g_glDraws = 0;
inline double g_glInside = 0.0;     // seconds inside wrapped calls
inline double g_glInsideCpu = 0.0;  // the calling thread's processor seconds inside them
// Of those, inside the calls that hand the frame to the driver's rasteriser threads and wait for them
// (the blit, the flush, the finish and the buffer swap).
inline double g_handOverCpu = 0.0;

enum class CallKind { State, Draw, HandOver };

struct Timed {
    Clock::time_point start;
    double cpu = 0;
    CallKind kind;
    explicit Timed(CallKind k) : kind(k) {
        ++g_glCalls;
        g_glDraws += kind == CallKind::Draw;
        if (g_glCpuTiming) cpu = bench::ThreadCpuSeconds();
        if (g_glTiming) start = Clock::now();
    }
    ~Timed() {
        if (g_glTiming) g_glInside += std::chrono::duration<double>(Clock::now() - start).count();
        if (!g_glCpuTiming) return;
        const double inside = bench::ThreadCpuSeconds() - cpu;
        g_glInsideCpu += inside;
        if (kind == CallKind::HandOver) g_handOverCpu += inside;
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
// One batch of `n` wrapped calls of next to nothing on the calling thread, with both clocks running:
// the processor time the wrapping adds a call outside the call's timed part, and in `whole` (when
// given) that of one whole wrapped call, inside the timed part included. Taken between a program's
// frames, batches see the machine as its frames do.
inline double WrapperCpuBatch(int n, double* whole = nullptr) {
    const bool wall = g_glTiming, cpu = g_glCpuTiming;
    g_glTiming = g_glCpuTiming = true;
    const double inside = g_glInsideCpu;
    const double start = bench::ThreadCpuSeconds();
    for (int i = 0; i < n; ++i) glGetError();
    const double spent = bench::ThreadCpuSeconds() - start;
    g_glTiming = wall;
    g_glCpuTiming = cpu;
    if (whole != nullptr) *whole = spent / n;
    return (spent - (g_glInsideCpu - inside)) / n;
}

// The same for the processor-time clock pair: the median of many short batches.
inline double WrapperCpuCost(double* whole = nullptr) {
    const int batches = 200, n = 500;
    std::vector<double> each, all;
    for (int b = 0; b < batches; ++b) {
        double call = 0;
        each.push_back(WrapperCpuBatch(n, &call));
        all.push_back(call);
    }
    g_glTiming = g_glCpuTiming = false;
    std::sort(each.begin(), each.end());
    std::sort(all.begin(), all.end());
    if (whole != nullptr) *whole = all[all.size() / 2];
    return each[each.size() / 2];
}
}  // namespace glcalls

#define TV_WRAP(kind, ret, name, params, args)                                       \
    extern "C" ret name params {                                                     \
        static auto real = reinterpret_cast<ret(*) params>(dlsym(RTLD_NEXT, #name)); \
        if (glcalls::g_glNull) return ++glcalls::g_glCalls, ret();                   \
        glcalls::Timed timed(glcalls::CallKind::kind);                               \
        return real args;                                                            \
    }
TV_WRAP(State, void, glEnable, (GLenum c), (c))
TV_WRAP(State, void, glDisable, (GLenum c), (c))
TV_WRAP(State, void, glBlendFunc, (GLenum s, GLenum d), (s, d))
TV_WRAP(State, void, glAlphaFunc, (GLenum f, GLclampf r), (f, r))
TV_WRAP(State, void, glDepthFunc, (GLenum f), (f))
TV_WRAP(State, void, glDepthMask, (GLboolean m), (m))
TV_WRAP(State, void, glCullFace, (GLenum m), (m))
TV_WRAP(State, void, glFrontFace, (GLenum m), (m))
TV_WRAP(State, void, glShadeModel, (GLenum m), (m))
TV_WRAP(State, void, glTexEnvi, (GLenum t, GLenum p, GLint v), (t, p, v))
TV_WRAP(State, void, glTexEnvf, (GLenum t, GLenum p, GLfloat v), (t, p, v))
TV_WRAP(State, void, glTexEnvfv, (GLenum t, GLenum p, const GLfloat* v), (t, p, v))
TV_WRAP(State, void, glTexParameteri, (GLenum t, GLenum p, GLint v), (t, p, v))
TV_WRAP(State, void, glTexParameterf, (GLenum t, GLenum p, GLfloat v), (t, p, v))
TV_WRAP(State, void, glTexGeni, (GLenum c, GLenum p, GLint v), (c, p, v))
TV_WRAP(State, void, glBindTexture, (GLenum t, GLuint n), (t, n))
TV_WRAP(State, void, glActiveTexture, (GLenum u), (u))
TV_WRAP(State, void, glClientActiveTexture, (GLenum u), (u))
TV_WRAP(State, void, glMatrixMode, (GLenum m), (m))
TV_WRAP(State, void, glLoadMatrixf, (const GLfloat* m), (m))
TV_WRAP(State, void, glLoadIdentity, (void), ())
TV_WRAP(State, void, glLightf, (GLenum l, GLenum p, GLfloat v), (l, p, v))
TV_WRAP(State, void, glLightfv, (GLenum l, GLenum p, const GLfloat* v), (l, p, v))
TV_WRAP(State, void, glLightModeli, (GLenum p, GLint v), (p, v))
TV_WRAP(State, void, glLightModelfv, (GLenum p, const GLfloat* v), (p, v))
TV_WRAP(State, void, glMaterialfv, (GLenum f, GLenum p, const GLfloat* v), (f, p, v))
TV_WRAP(State, void, glMaterialf, (GLenum f, GLenum p, GLfloat v), (f, p, v))
TV_WRAP(State, void, glColorMaterial, (GLenum f, GLenum m), (f, m))
TV_WRAP(State, void, glFogf, (GLenum p, GLfloat v), (p, v))
TV_WRAP(State, void, glFogi, (GLenum p, GLint v), (p, v))
TV_WRAP(State, void, glFogfv, (GLenum p, const GLfloat* v), (p, v))
TV_WRAP(State, void, glEnableClientState, (GLenum a), (a))
TV_WRAP(State, void, glDisableClientState, (GLenum a), (a))
TV_WRAP(State, void, glBindBuffer, (GLenum t, GLuint b), (t, b))
TV_WRAP(State, void, glBufferData, (GLenum t, GLsizeiptr n, const void* d, GLenum u), (t, n, d, u))
TV_WRAP(State, void, glVertexPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(State, void, glNormalPointer, (GLenum t, GLsizei s, const void* p), (t, s, p))
TV_WRAP(State, void, glColorPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(State, void, glTexCoordPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))
TV_WRAP(State, void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))
TV_WRAP(State, void, glClear, (GLbitfield m), (m))
TV_WRAP(State, void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
TV_WRAP(State, void, glClearDepth, (GLclampd d), (d))
TV_WRAP(State, void, glScissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
TV_WRAP(State, void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
TV_WRAP(State, void, glDepthRange, (GLclampd n, GLclampd f), (n, f))
TV_WRAP(State, void, glPixelStorei, (GLenum p, GLint v), (p, v))
TV_WRAP(State, void, glTexImage2D,
        (GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum y, const void* p),
        (t, l, i, w, h, b, f, y, p))
TV_WRAP(State, void, glCompressedTexImage2D,
        (GLenum t, GLint l, GLenum i, GLsizei w, GLsizei h, GLint b, GLsizei n, const void* p),
        (t, l, i, w, h, b, n, p))
TV_WRAP(State, void, glBindFramebuffer, (GLenum t, GLuint f), (t, f))
TV_WRAP(HandOver, void, glBlitFramebuffer,
        (GLint a, GLint b, GLint c, GLint d, GLint e, GLint f, GLint g, GLint h, GLbitfield m, GLenum n),
        (a, b, c, d, e, f, g, h, m, n))
TV_WRAP(Draw, void, glDrawArrays, (GLenum m, GLint f, GLsizei c), (m, f, c))
TV_WRAP(Draw, void, glDrawElements, (GLenum m, GLsizei c, GLenum t, const void* i), (m, c, t, i))
TV_WRAP(Draw, void, glDrawRangeElements, (GLenum m, GLuint s, GLuint e, GLsizei c, GLenum t, const void* i),
        (m, s, e, c, t, i))
TV_WRAP(State, GLenum, glGetError, (void), ())
TV_WRAP(State, void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, void* p),
        (x, y, w, h, f, t, p))
TV_WRAP(HandOver, void, glFlush, (void), ())
TV_WRAP(HandOver, void, glFinish, (void), ())
TV_WRAP(HandOver, void, SDL_GL_SwapWindow, (SDL_Window * w), (w))
#undef TV_WRAP
