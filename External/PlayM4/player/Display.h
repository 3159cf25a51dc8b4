/* Draws a port's pictures into its window with GDI: the picture, or the
 * part of it the display region selects, stretched over the window's
 * client area. Runs on the port's presentation thread only. */
#ifndef PLAYM4_DISPLAY_H
#define PLAYM4_DISPLAY_H

#include <windows.h>

#include "Picture.h"

namespace playm4 {

/* Part of the picture to show, in picture pixels, right and bottom
 * exclusive; `whole` shows the whole picture. */
struct Region {
    bool whole = true;
    LONG left = 0, top = 0, right = 0, bottom = 0;
};

/* The source rectangle drawn for a picture of width x height: the region
 * cut to the picture, or the whole picture when nothing of it is left. */
RECT SourceRect(const Region &region, int width, int height);

class Display {
public:
    /* Converts the picture and draws it; false when it could not be
     * converted (nothing is drawn then). */
    bool Show(const AVFrame *frame, HWND window, const Region &region);

    /* Draws the last picture again (window moved, resized or uncovered). */
    void Redraw(HWND window, const Region &region);

private:
    void Draw(HWND window, const Region &region);

    BgrxImage image_;
};

}  // namespace playm4

#endif
