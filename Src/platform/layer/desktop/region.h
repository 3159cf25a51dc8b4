/* Regions as lists of disjoint rectangles.
 *
 * Window visibility, update areas and clipping all reduce to a handful of
 * rectangles (a window minus the few windows above it), so a plain list is
 * both simpler and faster here than banded regions. Rectangles are
 * half-open: left/top inclusive, right/bottom exclusive; empty ones are
 * never stored. */
#ifndef KOVA_LAYER_REGION_H
#define KOVA_LAYER_REGION_H

#include <windows.h>
#include <vector>

namespace kova {

inline bool RectIsEmpty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }
RECT RectIntersect(const RECT &a, const RECT &b);
RECT RectOffset(const RECT &r, LONG dx, LONG dy);

class Region {
public:
    Region() = default;
    explicit Region(const RECT &r) { Add(r); }

    const std::vector<RECT> &Rects() const { return rects_; }
    bool Empty() const { return rects_.empty(); }
    void Clear() { rects_.clear(); }
    RECT Bounds() const;  // empty rectangle (0,0,0,0) for an empty region
    long long Area() const;
    bool Contains(LONG x, LONG y) const;

    void Add(const RECT &r);        // union with a rectangle
    void Add(const Region &other);
    void Subtract(const RECT &r);
    void Subtract(const Region &other);
    void Intersect(const RECT &r);
    void Intersect(const Region &other);
    void Offset(LONG dx, LONG dy);

private:
    std::vector<RECT> rects_;
};

}  // namespace kova

#endif
