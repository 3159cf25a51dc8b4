/* The X11 viewer of the virtual desktop: with KOVA_VIEWER=x11 and a
 * reachable X display, a thread shows each monitor in an X11 window,
 * refreshed as it changes. One thread owns the X connection;
 * it polls the monitors' change counters and repaints a monitor's window
 * when its framebuffer changed or X asks for it. */
#include "desktop/desktop.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef KOVA_HAVE_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace kova {
namespace viewer {

namespace {

#ifdef KOVA_HAVE_X11

struct Shown {
    HMONITOR handle = nullptr;
    ::Window window = 0;
    XImage *image = nullptr;
    FramebufferRef framebuffer;  // the one shown
    unsigned long long changes = 0;
    bool dirty = true;
    bool closed = false;         // the user closed the window
    std::vector<BYTE> copy;
};

bool g_ioFailed = false;  // only touched on the viewer thread

int QuietErrorHandler(Display *, XErrorEvent *) { return 0; }
int QuietIoErrorHandler(Display *) { return 0; }
// Called instead of exit() when the connection breaks: the viewer ends,
// the program goes on.
void IoErrorExit(Display *, void *) { g_ioFailed = true; }

int MaskShift(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Converts a copied framebuffer into the X image (TrueColor, 8 bits a channel).
void Convert(const Framebuffer &fb, const BYTE *pixels, XImage *image)
{
    const int rs = MaskShift(image->red_mask), gs = MaskShift(image->green_mask), bs = MaskShift(image->blue_mask);
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
    for (int y = 0; y < fb.height; ++y) {
        const BYTE *src = pixels + (size_t)y * fb.pitch;
        BYTE *dst = (BYTE *)image->data + (size_t)y * image->bytes_per_line;
        for (int x = 0; x < fb.width; ++x) {
            DWORD raw;
            switch (fb.bytesPerPixel) {
            case 4: memcpy(&raw, src + 4 * x, 4); break;
            case 3: raw = src[3 * x] | ((DWORD)src[3 * x + 1] << 8) | ((DWORD)src[3 * x + 2] << 16); break;
            case 2: { WORD w; memcpy(&w, src + 2 * x, 2); raw = w; break; }
            default: raw = src[x]; break;
            }
            COLORREF c = fb.Decode(raw);
            unsigned long p = ((unsigned long)GetRValue(c) << rs) | ((unsigned long)GetGValue(c) << gs) |
                              ((unsigned long)GetBValue(c) << bs);
            if (direct) {
                uint32_t v = (uint32_t)p;
                memcpy(dst + 4 * x, &v, 4);
            } else {
                XPutPixel(image, x, y, p);
            }
        }
    }
}

class X11Viewer {
public:
    void Run(std::mutex &mutex, std::condition_variable &wake, const bool &stop);

private:
    void Sync();
    void Refresh(Shown &s);
    void Drop(Shown &s);

    Display *display_ = nullptr;
    Visual *visual_ = nullptr;
    int depth_ = 0;
    GC gc_ = nullptr;
    Atom deleteAtom_ = 0;
    std::vector<Shown> shown_;
};

void X11Viewer::Drop(Shown &s)
{
    if (s.image) XDestroyImage(s.image);  // frees its data too
    s.image = nullptr;
    if (s.window) XDestroyWindow(display_, s.window);
    s.window = 0;
}

void X11Viewer::Sync()
{
    std::vector<desktop::MonitorInfo> monitors = desktop::Monitors();
    // Windows are placed as the monitors lie on the virtual screen.
    LONG left = 0, top = 0;
    for (const auto &m : monitors) {
        left = std::min(left, m.rect.left);
        top = std::min(top, m.rect.top);
    }
    // Monitors that are gone lose their windows.
    for (auto it = shown_.begin(); it != shown_.end();) {
        bool present = false;
        for (const auto &m : monitors) present |= m.handle == it->handle;
        if (present) {
            ++it;
        } else {
            Drop(*it);
            it = shown_.erase(it);
        }
    }
    for (const auto &m : monitors) {
        Shown *s = nullptr;
        for (Shown &candidate : shown_)
            if (candidate.handle == m.handle) s = &candidate;
        if (!s) {
            shown_.emplace_back();
            s = &shown_.back();
            s->handle = m.handle;
        }
        if (s->closed || s->framebuffer == m.framebuffer) continue;
        // New monitor or new display mode: (re)make the window and image.
        const Framebuffer &fb = *m.framebuffer;
        if (!s->window) {
            s->window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), (int)(m.rect.left - left),
                                            (int)(m.rect.top - top), (unsigned)fb.width,
                                            (unsigned)fb.height, 0, 0, 0);
            XSelectInput(display_, s->window, ExposureMask | StructureNotifyMask);
            XSetWMProtocols(display_, s->window, &deleteAtom_, 1);
            XMapWindow(display_, s->window);
        } else {
            XResizeWindow(display_, s->window, (unsigned)fb.width, (unsigned)fb.height);
        }
        char title[128];
        snprintf(title, sizeof title, "Kova %s %dx%dx%d @%ld,%ld", m.deviceName.c_str(), fb.width, fb.height,
                 LayoutDepth(fb.layout), (long)m.rect.left, (long)m.rect.top);
        XStoreName(display_, s->window, title);
        if (s->image) XDestroyImage(s->image);
        char *data = (char *)calloc((size_t)fb.width * fb.height, 4);
        s->image = data ? XCreateImage(display_, visual_, (unsigned)depth_, ZPixmap, 0, data, (unsigned)fb.width,
                                       (unsigned)fb.height, 32, 0)
                        : nullptr;
        if (!s->image) free(data);
        s->framebuffer = m.framebuffer;
        s->changes = fb.Changes() - 1;
        s->dirty = true;
    }
}

void X11Viewer::Refresh(Shown &s)
{
    if (s.closed || !s.image || !s.framebuffer) return;
    const Framebuffer &fb = *s.framebuffer;
    unsigned long long changes = fb.Changes();
    if (!s.dirty && changes == s.changes) return;
    {
        // Copy under the lock so no drawing tears the frame; convert outside it.
        auto lock = desktop::LockDesktop();
        changes = fb.Changes();
        s.copy.assign(fb.Pixels(), fb.Pixels() + (size_t)fb.pitch * fb.height);
    }
    Convert(fb, s.copy.data(), s.image);
    XPutImage(display_, s.window, gc_, s.image, 0, 0, 0, 0, (unsigned)fb.width, (unsigned)fb.height);
    s.changes = changes;
    s.dirty = false;
}

void X11Viewer::Run(std::mutex &mutex, std::condition_variable &wake, const bool &stop)
{
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
        fprintf(stderr, "kova: viewer: cannot open the X display \"%s\"\n", getenv("DISPLAY") ? getenv("DISPLAY") : "");
        return;
    }
    XSetErrorHandler(QuietErrorHandler);
    XSetIOErrorHandler(QuietIoErrorHandler);
    XSetIOErrorExitHandler(display_, IoErrorExit, nullptr);
    const int screen = DefaultScreen(display_);
    visual_ = DefaultVisual(display_, screen);
    depth_ = DefaultDepth(display_, screen);
    if (visual_->c_class != TrueColor || depth_ < 24) {
        fprintf(stderr, "kova: viewer: the X display needs a TrueColor visual of depth 24 or more\n");
        XCloseDisplay(display_);
        return;
    }
    gc_ = DefaultGC(display_, screen);
    deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);

    std::unique_lock<std::mutex> lock(mutex);
    while (!stop && !g_ioFailed) {
        lock.unlock();
        Sync();
        while (!g_ioFailed && XPending(display_) > 0) {
            XEvent e;
            XNextEvent(display_, &e);
            for (Shown &s : shown_) {
                if (e.xany.window != s.window) continue;
                if (e.type == Expose && e.xexpose.count == 0) s.dirty = true;
                if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == deleteAtom_) {
                    Drop(s);
                    s.closed = true;
                }
            }
        }
        for (Shown &s : shown_)
            if (!g_ioFailed) Refresh(s);
        if (!g_ioFailed) XFlush(display_);
        lock.lock();
        wake.wait_for(lock, std::chrono::milliseconds(30), [&] { return stop; });
    }
    lock.unlock();
    if (g_ioFailed) {
        fprintf(stderr, "kova: viewer: lost the X display\n");
        return;  // the connection is unusable; leave it alone
    }
    for (Shown &s : shown_) Drop(s);
    XCloseDisplay(display_);
}

#endif  // KOVA_HAVE_X11

class ViewerThread {
public:
    void Start()
    {
#ifdef KOVA_HAVE_X11
        thread_ = std::thread([this] {
            X11Viewer viewer;
            viewer.Run(mutex_, wake_, stop_);
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
            wake_.notify_all();
        });
#else
        fprintf(stderr, "kova: viewer: this build has no X11 support\n");
#endif
    }

    ~ViewerThread()
    {
        if (!thread_.joinable()) return;
        std::unique_lock<std::mutex> lock(mutex_);
        stop_ = true;
        wake_.notify_all();
        // A display that never answers (XOpenDisplay to an unreachable host)
        // must not hold up the program's exit.
        if (wake_.wait_for(lock, std::chrono::seconds(2), [&] { return finished_; })) {
            lock.unlock();
            thread_.join();
        } else {
            lock.unlock();
            thread_.detach();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace

// Starts the viewer if the environment asks for one. Never blocks: the
// display is opened on the viewer's own thread, and a failure there only
// ends that thread with a message on stderr. The thread ends at exit.
static void StartIfRequested()
{
    const char *kind = getenv("KOVA_VIEWER");
    if (!kind || !*kind) return;
    if (strcmp(kind, "x11") != 0) {
        fprintf(stderr, "kova: viewer: unknown KOVA_VIEWER \"%s\" (only \"x11\")\n", kind);
        return;
    }
    static ViewerThread viewer;  // ended and joined at exit
    viewer.Start();
}

// The viewer comes up with the desktop, after user32's hooks: a program
// that never touches a window or a monitor opens no X window.
static const bool g_startsWithDesktop = desktop::RunWhenCreated(1, StartIfRequested);

}  // namespace viewer
}  // namespace kova
