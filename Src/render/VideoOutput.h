/* What the renderer needs of a video output, and where outputs come from.
 *
 * The renderer owns pacing, seeking and re-anchoring; an output only sets up
 * for a window, converts and draws. An output is made for a display mode
 * (0: GDI drawing, non-zero: DirectDraw), bound to a window with SetWindow,
 * fed pictures with DrawYUV, shut with Close and then deleted. The renderer
 * never calls two of these at once on one output, and never calls any of
 * them after Close. */
#ifndef KOVA_RENDER_VIDEOOUTPUT_H
#define KOVA_RENDER_VIDEOOUTPUT_H

#include "platform/win32.h"

#include <cstdint>
#include <functional>

/* DrawYUV result of an output for a null plane; the renderer reports the
 * same code for a picture it has no output to draw with. */
const uint32_t kDrawNoPlane = 0xA1888032u;
/* DrawYUV result of an output for a geometry out of range; the renderer
 * reports the same code for a picture whose geometry does not fit its
 * buffer, without drawing it. */
const uint32_t kDrawBadGeometry = 0xA1888033u;
/* DrawYUV results for failures that last as long as their cause, picture
 * after picture: the zoom region holds no whole pixel of the picture, the
 * blit of the picture into its stage failed, the blit onto the window
 * failed (other than by a lost surface, which is restored). The renderer
 * logs a run of one of them once. */
const uint32_t kDrawRegionEmpty = 0xA1888034u;
const uint32_t kDrawStageBlitFailed = 0xA1888041u;
const uint32_t kDrawScreenBlitFailed = 0xA1888042u;

inline bool IsLastingDrawFailure(uint32_t result)
{
    return result == kDrawRegionEmpty || result == kDrawStageBlitFailed || result == kDrawScreenBlitFailed;
}

class IVideoOutput {
public:
    virtual ~IVideoOutput() = default;

    /* Binds the output to a window; the objects for it are built by the
     * next DrawYUV. */
    virtual void SetWindow(HWND window) = 0;

    /* Presents one planar YUV 4:2:0 picture: `height` rows of `lumaPitch`
     * bytes at `y`, one row of `chromaPitch` bytes at `u` and at `v` per two
     * luma rows. 0 when presented (or when no window is bound), else a
     * result code. The planes are read only during the call: the caller
     * may reuse them as soon as it returns. */
    virtual uint32_t DrawYUV(const uint8_t *y, const uint8_t *u, const uint8_t *v, int width,
                             int height, int lumaPitch, int chromaPitch) = 0;

    /* enable 0 shows the whole picture; otherwise only the rectangle between
     * (x1, y1) and (x2, y2), in percent of the picture size. 0 when accepted. */
    virtual int SetDisplayRegion(int enable, int x1, int y1, int x2, int y2) = 0;

    /* Releases everything the output holds for its window. */
    virtual void Close() = 0;
};

/* Makes an output for a display mode; null when none can be made. */
typedef std::function<IVideoOutput *(int displayMode)> VideoOutputFactory;

/* The product's outputs. */
IVideoOutput *CreateVideoOutput(int displayMode);

#endif
