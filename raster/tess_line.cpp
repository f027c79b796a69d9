// TESS_Line, TESS_ClipSegment and TESS_OutlineRect: clipped straight lines with optional
// anti-aliasing, drawn by one stepping routine per shape instantiated for each pen.

#include <cstddef>

#include "raster/tess.h"

namespace {

// Pens combine one pixel with the line's colour at a weight.
struct StorePen {  // COPY at alpha 1: the colour itself, weight unused
    TESS_pixel c;
    void operator()(TESS_pixel* p, int32_t) const { *p = c; }
};
struct HalfPen {  // COPY at alpha 0.5: (colour byte + pixel byte) >> 1 per byte, weight unused
    TESS_pixel c;
    void operator()(TESS_pixel* p, int32_t) const {
        *p = (c & *p) + (((c ^ *p) >> 1) & 0x7F7F7F7Fu);
    }
};
// The anti-aliased opaque 45-degree run mixes by shifts: a main pixel becomes
// c/2 + c/4 + p/4, a side pixel p/2 + p/4 + c/4, per byte.
struct MainMixPen {
    TESS_pixel c;
    void operator()(TESS_pixel* p, int32_t) const {
        *p = ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu) + ((*p >> 2) & 0x3F3F3F3Fu);
    }
};
struct SideMixPen {
    TESS_pixel c;
    void operator()(TESS_pixel* p, int32_t) const {
        *p = ((*p >> 1) & 0x7F7F7F7Fu) + ((*p >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu);
    }
};
template <class Op>
struct CombinePen {
    int32_t r, g, b, a;
    void operator()(TESS_pixel* p, int32_t e) const { Op::apply(p, r, g, b, a, e); }
};
template <class Op>
CombinePen<Op> combine_pen(TESS_pixel c) {
    return CombinePen<Op>{static_cast<int32_t>(c >> 16 & 0xFF), static_cast<int32_t>(c >> 8 & 0xFF),
                          static_cast<int32_t>(c & 0xFF), static_cast<int32_t>(c >> 24)};
}

// A clipped segment in stored rows, ready to walk.
struct Segment {
    TESS_pixel* bits;
    ptrdiff_t span;
    int32_t x1, y1, x2, y2;
    TESS_pixel* at(int32_t x, int32_t y) const { return bits + y * span + x; }
};

enum class Shape { Vertical, Horizontal, Diagonal, Sloped };

template <class Pen>
void vertical_run(const Segment& s, const Pen& pen, int32_t w) {
    int32_t top = s.y1 < s.y2 ? s.y1 : s.y2, bottom = s.y1 < s.y2 ? s.y2 : s.y1;
    TESS_pixel* p = s.at(s.x1, top);
    for (int32_t y = top; y <= bottom; ++y, p += s.span) pen(p, w);
}

template <class Pen>
void horizontal_run(const Segment& s, const Pen& pen, int32_t w) {
    int32_t left = s.x1 < s.x2 ? s.x1 : s.x2, right = s.x1 < s.x2 ? s.x2 : s.x1;
    TESS_pixel* p = s.at(left, s.y1);
    for (int32_t i = 0; i <= right - left; ++i) pen(p + i, w);
}

template <class Pen>
void diagonal_run(const Segment& s, const Pen& pen, int32_t w) {
    const ptrdiff_t step = (s.x2 > s.x1 ? 1 : -1) + (s.y2 > s.y1 ? s.span : -s.span);
    const int32_t n = s.x2 > s.x1 ? s.x2 - s.x1 : s.x1 - s.x2;
    TESS_pixel* p = s.at(s.x1, s.y1);
    for (int32_t i = 0; i < n; ++i, p += step) pen(p, w);
    pen(p, w);
}

// Each of the first n pixels takes the main weight and lights its two neighbours towards the
// next pixel with the side weight; the end pixel takes the main weight alone.
template <class MainPen, class SidePen>
void diagonal_run_aa(const Segment& s, const MainPen& main, const SidePen& side, int32_t w) {
    const ptrdiff_t xs = s.x2 > s.x1 ? 1 : -1;
    const ptrdiff_t ys = s.y2 > s.y1 ? s.span : -s.span;
    const int32_t n = s.x2 > s.x1 ? s.x2 - s.x1 : s.x1 - s.x2;
    const int32_t wm = w * 3 / 4, ws = w / 4;
    TESS_pixel* p = s.at(s.x1, s.y1);
    for (int32_t i = 0; i < n; ++i, p += xs + ys) {
        main(p, wm);
        side(p + xs, ws);
        side(p + ys, ws);
    }
    main(p, wm);
}

struct SlopeSteps {
    ptrdiff_t major, minor;
    int32_t n;
    double d;  // minor advance per major step, 0..1
};

SlopeSteps slope_steps(const Segment& s) {
    const int32_t dx = s.x2 > s.x1 ? s.x2 - s.x1 : s.x1 - s.x2;
    const int32_t dy = s.y2 > s.y1 ? s.y2 - s.y1 : s.y1 - s.y2;
    const ptrdiff_t xs = s.x2 > s.x1 ? 1 : -1;
    const ptrdiff_t ys = s.y2 > s.y1 ? s.span : -s.span;
    SlopeSteps st;
    if (dx >= dy) {
        st.major = xs; st.minor = ys; st.n = dx; st.d = static_cast<double>(dy) / dx;
    } else {
        st.major = ys; st.minor = xs; st.n = dy; st.d = static_cast<double>(dx) / dy;
    }
    return st;
}

template <class Pen>
void sloped_run(const Segment& s, const Pen& pen, int32_t w) {
    const SlopeSteps st = slope_steps(s);
    TESS_pixel* p = s.at(s.x1, s.y1);
    double e = 0.0;
    for (int32_t i = 0; i < st.n; ++i) {
        pen(p, w);
        e += st.d;
        if (e > 0.5) {
            p += st.minor;
            e -= 1.0;
        }
        p += st.major;
    }
    pen(p, w);
}

// The weight is shared between the pixel on the line and the next one along the minor axis by
// the fraction; the minor step is taken only when the fraction passes 1.
template <class Pen>
void sloped_run_aa(const Segment& s, const Pen& pen, int32_t w) {
    const SlopeSteps st = slope_steps(s);
    TESS_pixel* p = s.at(s.x1, s.y1);
    pen(p, w);
    p += st.major;
    double e = st.d;
    for (int32_t i = 0; i < st.n - 1; ++i) {
        const int32_t g = static_cast<int32_t>(e * 256.0);
        pen(p, (256 - g) * w / 256);
        if (g != 0) pen(p + st.minor, g * w / 256);
        e += st.d;
        if (e > 1.0) {
            p += st.minor;
            e -= 1.0;
        }
        p += st.major;
    }
    pen(p, (256 - static_cast<int32_t>(e * 256.0)) * w / 256);
}

template <class Pen>
void draw_shape(const Segment& s, Shape shape, bool aa, const Pen& pen, int32_t w) {
    switch (shape) {
    case Shape::Vertical: vertical_run(s, pen, w); break;
    case Shape::Horizontal: horizontal_run(s, pen, w); break;
    case Shape::Diagonal:
        if (aa) {
            diagonal_run_aa(s, pen, pen, w);
        } else {
            diagonal_run(s, pen, w);
        }
        break;
    case Shape::Sloped:
        if (aa) {
            sloped_run_aa(s, pen, w);
        } else {
            sloped_run(s, pen, w);
        }
        break;
    }
}

int32_t region_code(int64_t x, int64_t y, int64_t W, int64_t H) {
    return (x < 0 ? 1 : (x >= W ? 2 : 0)) | (y < 0 ? 4 : (y >= H ? 8 : 0));
}

int32_t saturate32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

}  // namespace

bool TESS_ClipSegment(int32_t* px1, int32_t* py1, int32_t* px2, int32_t* py2, int32_t width,
                      int32_t height) noexcept {
    if (!px1 || !py1 || !px2 || !py2) return false;
    // 64-bit coordinates: differences of int32 end points do not fit int32.
    int64_t x1 = *px1, y1 = *py1, x2 = *px2, y2 = *py2;
    const int64_t W = width, H = height;
    int32_t c1 = region_code(x1, y1, W, H), c2 = region_code(x2, y2, W, H);
    // Every step puts one end on an edge; the guard only bounds rounding cycles.
    for (int guard = 0; (c1 | c2) != 0; ++guard) {
        if ((c1 & c2) != 0 || guard == 64) return false;
        const int32_t c = c1 ? c1 : c2;
        const double dx = static_cast<double>(x2 - x1), dy = static_cast<double>(y2 - y1);
        int64_t nx, ny;
        // The bottom and right intercepts are measured to row H and column W while the point
        // is placed on row H - 1 and column W - 1.
        if (c & 8) {
            ny = H - 1;
            nx = x1 + static_cast<int64_t>(dx * static_cast<double>(H - y1) / dy);
        } else if (c & 4) {
            ny = 0;
            nx = x1 - static_cast<int64_t>(dx * static_cast<double>(y1) / dy);
        } else if (c & 2) {
            nx = W - 1;
            ny = y1 + static_cast<int64_t>(dy * static_cast<double>(W - x1) / dx);
        } else {
            nx = 0;
            ny = y1 - static_cast<int64_t>(dy * static_cast<double>(x1) / dx);
        }
        if (c == c1) {
            x1 = nx; y1 = ny;
            c1 = region_code(x1, y1, W, H);
        } else {
            x2 = nx; y2 = ny;
            c2 = region_code(x2, y2, W, H);
        }
    }
    *px1 = static_cast<int32_t>(x1);
    *py1 = static_cast<int32_t>(y1);
    *px2 = static_cast<int32_t>(x2);
    *py2 = static_cast<int32_t>(y2);
    return true;
}

void TESS_Line(TESS_IBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               TESS_pixel colour, float alpha, int32_t mode, bool antialias) noexcept {
    if (!bitmap) return;
    const int32_t W = bitmap->width(), H = bitmap->height();
    if (bitmap->isBottomUp()) {  // work in stored rows from here on
        y1 = saturate32(int64_t{H} - 1 - y1);
        y2 = saturate32(int64_t{H} - 1 - y2);
    }
    if (!TESS_ClipSegment(&x1, &y1, &x2, &y2, W, H)) return;
    TESS_pixel* bits = bitmap->bits();
    if (!bits) return;

    Segment s{bits, bitmap->rowSpan(), x1, y1, x2, y2};
    const int32_t adx = x2 > x1 ? x2 - x1 : x1 - x2, ady = y2 > y1 ? y2 - y1 : y1 - y2;
    const Shape shape = x1 == x2   ? Shape::Vertical
                        : y1 == y2 ? Shape::Horizontal
                        : adx == ady ? Shape::Diagonal
                                     : Shape::Sloped;
    const bool aa = antialias && (shape == Shape::Diagonal || shape == Shape::Sloped);
    const int32_t m = mode & TESS_BLIT_MODE_MASK;

    if (m == TESS_BLIT_MODE_COPY && alpha == 1.0f) {
        if (!aa) {
            draw_shape(s, shape, false, StorePen{colour}, 256);
        } else if (shape == Shape::Diagonal) {
            diagonal_run_aa(s, MainMixPen{colour}, SideMixPen{colour}, 256);
        } else {
            sloped_run_aa(s, combine_pen<tess::Copy>(colour), 256);
        }
        return;
    }
    if (alpha == 0.0f || m > TESS_BLIT_MODE_HSV_ADJUST) return;

    const int32_t w = TESS_AlphaWeight(alpha);
    if (m == TESS_BLIT_MODE_COPY) {
        if (!(alpha > 0.0f)) return;
        if (alpha == 0.5f && !aa) {
            draw_shape(s, shape, false, HalfPen{colour}, w);
        } else {
            draw_shape(s, shape, aa, combine_pen<tess::Copy>(colour), w);
        }
        return;
    }
    tess::with_constant_combiner(m, [&](auto op) {
        draw_shape(s, shape, aa, combine_pen<decltype(op)>(colour), w);
    });
}

void TESS_OutlineRect(TESS_IBitmap* bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                      TESS_pixel colour, float alpha, int32_t mode) noexcept {
    const int32_t right = saturate32(int64_t{x} + w), bottom = saturate32(int64_t{y} + h);
    TESS_Line(bitmap, x, y, right, y, colour, alpha, mode, false);
    TESS_Line(bitmap, right, y, right, bottom, colour, alpha, mode, false);
    TESS_Line(bitmap, right, bottom, x, bottom, colour, alpha, mode, false);
    TESS_Line(bitmap, x, bottom, x, y, colour, alpha, mode, false);
}
