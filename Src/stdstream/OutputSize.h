/* How large the standard decoder asks the decoding library to make its
 * pictures, from the window, the zoom, the stream's own size and what one
 * pool buffer holds. Sizes in, sizes out: the decoder keeps the state
 * (the window size last applied, the pending zoom) and makes the calls. */
#ifndef KOVA_STDSTREAM_OUTPUTSIZE_H
#define KOVA_STDSTREAM_OUTPUTSIZE_H

#include "platform/win32.h"

struct OutputSize {
    LONG width;
    LONG height;
};

/* Whether the output follows a window of this size: 32..2048 wide and
 * 8..1536 high. Outside that the output stays as it is. */
bool WindowSizeFollowed(LONG width, LONG height);

/* Whether the planes of a picture of this size (both sides above 0) fit in
 * `payload` bytes. */
bool OutputFits(OutputSize size, LONG payload);

/* Each side rounded up to whole macroblocks (a multiple of 16; a multiple
 * stays). */
OutputSize RoundedOutput(LONG width, LONG height);

/* The largest output of whole macroblocks with about the aspect ratio of
 * width x height whose planes fit in `payload` bytes; 16 x 16 when nothing
 * fits or a value is not above 0. A 2560x1440 or 3840x2160 stream in 3 MB
 * buffers gets 1920x1088. */
OutputSize LargestFittingOutput(LONG width, LONG height, LONG payload);

/* The output for a window (or any asked size): RoundedOutput, or, when
 * those planes do not fit `payload` bytes, LargestFittingOutput of the
 * asked size. */
OutputSize OutputForSize(LONG width, LONG height, LONG payload);

/* The size to ask for while `zoom` percent (above 0) of the picture is
 * shown in a window of windowWidth x windowHeight: large enough that the
 * zoomed part, stretched over the window, keeps about the window's
 * resolution (window x 100 / zoom), but the stream's own size when that is
 * larger than the stream in either direction. */
OutputSize ZoomedOutput(LONG windowWidth, LONG windowHeight, LONG zoom, LONG nativeWidth,
                        LONG nativeHeight);

/* Display mode 1 (the stream's own size): 0 x 0 when the stream's pictures
 * fit `payload` bytes (or its size is not known yet), which asks for the
 * stream's own size; otherwise the LargestFittingOutput. */
OutputSize NativeOutput(LONG nativeWidth, LONG nativeHeight, LONG payload);

#endif
