#include "desktop/region.h"

#include <algorithm>

namespace kova {

RECT RectIntersect(const RECT &a, const RECT &b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (RectIsEmpty(r)) r = RECT{0, 0, 0, 0};
    return r;
}

RECT RectOffset(const RECT &r, LONG dx, LONG dy)
{
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

RECT Region::Bounds() const
{
    if (rects_.empty()) return RECT{0, 0, 0, 0};
    RECT b = rects_[0];
    for (const RECT &r : rects_) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

long long Region::Area() const
{
    long long a = 0;
    for (const RECT &r : rects_) a += (long long)(r.right - r.left) * (r.bottom - r.top);
    return a;
}

bool Region::Contains(LONG x, LONG y) const
{
    for (const RECT &r : rects_)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

// Splits `from` around `cut` into at most four pieces: the bands above and
// below span the full width, the two side pieces only the overlap's height.
static void SubtractRect(const RECT &from, const RECT &cut, std::vector<RECT> &out)
{
    RECT ov = RectIntersect(from, cut);
    if (RectIsEmpty(ov)) {
        out.push_back(from);
        return;
    }
    if (from.top < ov.top) out.push_back(RECT{from.left, from.top, from.right, ov.top});
    if (from.left < ov.left) out.push_back(RECT{from.left, ov.top, ov.left, ov.bottom});
    if (ov.right < from.right) out.push_back(RECT{ov.right, ov.top, from.right, ov.bottom});
    if (ov.bottom < from.bottom) out.push_back(RECT{from.left, ov.bottom, from.right, from.bottom});
}

void Region::Add(const RECT &r)
{
    if (RectIsEmpty(r)) return;
    // Keep the list disjoint: add only the parts of r not yet covered.
    std::vector<RECT> pieces{r};
    for (const RECT &have : rects_) {
        std::vector<RECT> next;
        for (const RECT &p : pieces) SubtractRect(p, have, next);
        pieces.swap(next);
        if (pieces.empty()) return;
    }
    rects_.insert(rects_.end(), pieces.begin(), pieces.end());
}

void Region::Add(const Region &other)
{
    for (const RECT &r : other.rects_) Add(r);
}

void Region::Subtract(const RECT &r)
{
    if (RectIsEmpty(r) || rects_.empty()) return;
    std::vector<RECT> next;
    next.reserve(rects_.size() + 4);
    for (const RECT &have : rects_) SubtractRect(have, r, next);
    rects_.swap(next);
}

void Region::Subtract(const Region &other)
{
    for (const RECT &r : other.rects_) Subtract(r);
}

void Region::Intersect(const RECT &r)
{
    std::vector<RECT> next;
    for (const RECT &have : rects_) {
        RECT i = RectIntersect(have, r);
        if (!RectIsEmpty(i)) next.push_back(i);
    }
    rects_.swap(next);
}

void Region::Intersect(const Region &other)
{
    std::vector<RECT> next;
    for (const RECT &a : rects_)
        for (const RECT &b : other.rects_) {
            RECT i = RectIntersect(a, b);
            if (!RectIsEmpty(i)) next.push_back(i);
        }
    rects_.swap(next);
}

void Region::Offset(LONG dx, LONG dy)
{
    for (RECT &r : rects_) r = RectOffset(r, dx, dy);
}

}  // namespace kova
