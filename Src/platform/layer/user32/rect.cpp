/* Rectangle helpers of user32. */
#include "desktop/region.h"

#include <windows.h>

KOVA_LAYER_API BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (!rect) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI SetRectEmpty(LPRECT rect)
{
    if (!rect) return FALSE;
    *rect = RECT{0, 0, 0, 0};
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI CopyRect(LPRECT dst, const RECT *src)
{
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI IsRectEmpty(const RECT *rect)
{
    return !rect || kova::RectIsEmpty(*rect);
}

KOVA_LAYER_API BOOL WINAPI EqualRect(const RECT *a, const RECT *b)
{
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

KOVA_LAYER_API BOOL WINAPI PtInRect(const RECT *rect, POINT p)
{
    return rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}

KOVA_LAYER_API BOOL WINAPI OffsetRect(LPRECT rect, int dx, int dy)
{
    if (!rect) return FALSE;
    *rect = kova::RectOffset(*rect, dx, dy);
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI InflateRect(LPRECT rect, int dx, int dy)
{
    if (!rect) return FALSE;
    rect->left -= dx;
    rect->top -= dy;
    rect->right += dx;
    rect->bottom += dy;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI IntersectRect(LPRECT dst, const RECT *a, const RECT *b)
{
    if (!dst || !a || !b) return FALSE;
    *dst = kova::RectIntersect(*a, *b);
    return !kova::RectIsEmpty(*dst);
}

KOVA_LAYER_API BOOL WINAPI UnionRect(LPRECT dst, const RECT *a, const RECT *b)
{
    if (!dst || !a || !b) return FALSE;
    if (kova::RectIsEmpty(*a)) {
        *dst = kova::RectIsEmpty(*b) ? RECT{0, 0, 0, 0} : *b;
    } else if (kova::RectIsEmpty(*b)) {
        *dst = *a;
    } else {
        *dst = RECT{a->left < b->left ? a->left : b->left, a->top < b->top ? a->top : b->top,
                    a->right > b->right ? a->right : b->right, a->bottom > b->bottom ? a->bottom : b->bottom};
    }
    return !kova::RectIsEmpty(*dst);
}
