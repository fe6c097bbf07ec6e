// Rendering contexts: one OpenGL (GLX) context per drawing window, set up for
// two-dimensional drawing in window pixels with (0, 0) at the top left.
//
// The first call that needs it probes the display once per process: it picks
// the frame-buffer configuration that every drawing window uses and records
// which optional features may be used. The functions work from the fields of
// the KCWindow alone (`deviceContext` is the wxGLCanvas, `renderingContext`
// the wxGLContext), so a second copy of this library in the process (a
// plug-in's) can bind and swap a context the host made.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/KTErr.h"
#include "foundation/KURect.h"

class KCWindow;

struct KCRendererInfo {
    uint32_t flags = 0;
    // 1-based index of the chosen configuration in the screen's list of GLX
    // frame-buffer configurations.
    int32_t pixelFormat = 0;
};
static_assert(sizeof(KCRendererInfo) == 8);

enum : uint32_t {
    eRendererLineStipple = 1,
    eRendererSmoothing = 2,
    eRendererSwapControl = 4,
    eRendererDoubleBuffer = 8,
    eRendererVertexBuffers = 16,
    eRendererVendorFlag = 32,
};

// Runs the probe on the first call (and again after a probe that failed);
// copies the record. On failure the argument is left unchanged.
KTErr GMGetRendererInfo(KCRendererInfo& info);
KTErr GMCreateRC(KCWindow& window);
KTErr GMResizeRC(KCWindow& window, KURect<short>& bounds);
// The calling thread's current GLX context, null when there is none.
void* GMGetCurrentRC();
void GMBind2RC(const KCWindow& window, bool unused = false);
void GMUnBind2RC(const KCWindow& window);
// Presents the drawing (or flushes a single-buffered one); a window without
// a context is left alone and gives eGMGenericErr.
KTErr GMSwapBuffers(const KCWindow& window);
// Whoever draws into a window may present its frames itself (swapping only
// after it drew, so an unchanged window costs nothing): it says so here,
// and the window's owner then leaves the swap to it. The mark lives on the
// window's drawing surface, so both sides of a plug-in boundary see it.
void GMSetPresentsOwnFrames(const KCWindow& window, bool on);
bool GMPresentsOwnFrames(const KCWindow& window);
// How many swaps ago the back buffer was drawn (1: it holds the last
// frame shown; 0: its content is undefined), or -1 when the renderer does
// not tell.
int GMBackBufferAge(const KCWindow& window);
void GMDisposeRC(KCWindow& window);
void* GMGetProcAddress(const char* name);

// The feature bits of a renderer, from its vendor, renderer, OpenGL and GLX
// extension strings (any may be null). Bit 8 is always set here; the probe
// clears it when only single-buffered configurations were found.
uint32_t GMRendererFlagsFor(const char* vendor, const char* renderer, const char* glExtensions,
                            const char* glxExtensions);
// True when `name` is a whole word of the space-separated list.
bool GMHasExtension(const char* list, const char* name);

// What the probe knows of one frame-buffer configuration.
enum : int32_t { kSwapUnknown = 0, kSwapCopy = 1, kSwapUndefined = 2, kSwapExchange = 3 };
struct KSConfigTraits {
    bool acceptable = false; // RGBA, window, 32 bits with 8 of alpha, stencil, not slow
    bool doubleBuffered = false;
    int32_t swapMethod = kSwapUnknown;
};
struct KSConfigChoice {
    int32_t pixelFormat = 0;     // 1-based
    bool singleBuffered = false; // only a single-buffered configuration was found
};
// The configuration every drawing window uses: the first double-buffered
// swap-copy one; else the first swap-undefined one (never on an ATI Radeon,
// dropped on vendor "Intel"); else the first single-buffered one; else
// `suggested`, the display's own suggestion.
KSConfigChoice GMChooseConfig(const std::vector<KSConfigTraits>& configs, const char* vendor,
                              const char* renderer, int suggested);

// The GLX frame-buffer configuration id of the chosen configuration; 0 while
// no probe has succeeded. Kind-1 windows are made on it.
int GMChosenFBConfigID();
// True while the probe runs (its own window takes the toolkit's default).
bool GMProbing();

// The five buffer-object entry points, bound by the probe when the driver
// offers vertex buffer objects (null otherwise).
struct KSBufferEntryPoints {
    void (*bindBuffer)(uint32_t target, uint32_t buffer) = nullptr;
    void (*genBuffers)(int32_t n, uint32_t* buffers) = nullptr;
    void (*deleteBuffers)(int32_t n, const uint32_t* buffers) = nullptr;
    void (*bufferData)(uint32_t target, intptr_t size, const void* data, uint32_t usage) = nullptr;
    void (*bufferSubData)(uint32_t target, intptr_t offset, intptr_t size,
                          const void* data) = nullptr;
};
KSBufferEntryPoints& GMBufferEntryPoints();
