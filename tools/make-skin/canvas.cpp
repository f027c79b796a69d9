#include "tools/make-skin/canvas.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace skin {

namespace {

int32_t channel(TESS_pixel c, int shift) { return static_cast<int32_t>(c >> shift & 0xFF); }

float length(float x, float y) { return std::sqrt(x * x + y * y); }

}  // namespace

TESS_pixel rgb(uint32_t rrggbb) { return 0xFF000000u | (rrggbb & 0xFFFFFFu); }

TESS_pixel with_alpha(TESS_pixel c, float a) {
    const uint32_t byte = static_cast<uint32_t>(clamp01(a) * 255.0f + 0.5f);
    return (c & 0xFFFFFFu) | byte << 24;
}

TESS_pixel mix(TESS_pixel a, TESS_pixel b, float t) {
    t = clamp01(t);
    TESS_pixel out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float v = channel(a, shift) + (channel(b, shift) - channel(a, shift)) * t;
        out |= static_cast<uint32_t>(v + 0.5f) << shift;
    }
    return out;
}

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float smoothstep(float edge0, float edge1, float x) {
    const float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

// ---- shapes -----------------------------------------------------------------------------

Shape ellipse(float cx, float cy, float rx, float ry) {
    // The implicit function divided by its gradient: exact on the edge, close near it.
    return [=](float x, float y) {
        const float px = (x - cx) / rx, py = (y - cy) / ry;
        const float k = length(px, py);
        const float g = length(px / rx, py / ry);
        if (g < 1e-6f) return -std::min(rx, ry);
        return (k - 1.0f) * k / g;
    };
}

Shape circle(float cx, float cy, float r) {
    return [=](float x, float y) { return length(x - cx, y - cy) - r; };
}

Shape rounded_box(float cx, float cy, float half_w, float half_h, float radius) {
    return [=](float x, float y) {
        const float qx = std::fabs(x - cx) - half_w + radius;
        const float qy = std::fabs(y - cy) - half_h + radius;
        return length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) -
               radius;
    };
}

Shape lens(float cx, float cy, float half_w, float half_h) {
    const float r = (half_w * half_w + half_h * half_h) / (2.0f * half_h);
    const float off = r - half_h;
    return [=](float x, float y) {
        return std::max(length(x - cx, y - (cy + off)) - r, length(x - cx, y - (cy - off)) - r);
    };
}

Shape capsule(float x1, float y1, float x2, float y2, float thickness) {
    return [=](float x, float y) {
        const float dx = x2 - x1, dy = y2 - y1;
        const float len2 = dx * dx + dy * dy;
        float t = len2 > 0.0f ? ((x - x1) * dx + (y - y1) * dy) / len2 : 0.0f;
        t = clamp01(t);
        return length(x - (x1 + t * dx), y - (y1 + t * dy)) - thickness * 0.5f;
    };
}

Shape polygon(std::initializer_list<float> xy) {
    std::vector<float> v(xy);
    return [v](float x, float y) {
        const size_t n = v.size() / 2;
        float d = 1e30f;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const float ax = v[2 * j], ay = v[2 * j + 1], bx = v[2 * i], by = v[2 * i + 1];
            const float ex = bx - ax, ey = by - ay;
            const float len2 = ex * ex + ey * ey;
            const float t = len2 > 0.0f ? clamp01(((x - ax) * ex + (y - ay) * ey) / len2) : 0.0f;
            d = std::min(d, length(x - (ax + t * ex), y - (ay + t * ey)));
            if ((ay > y) != (by > y) && x < (bx - ax) * (y - ay) / (by - ay) + ax) inside = !inside;
        }
        return inside ? -d : d;
    };
}

Shape unite(Shape a, Shape b) {
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Shape intersect(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

Shape subtract(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Shape outline(Shape a, float thickness) {
    return [=](float x, float y) { return std::fabs(a(x, y)) - thickness * 0.5f; };
}

Shape squash(Shape a, float cy, float factor) {
    return [=](float x, float y) { return a(x, cy + (y - cy) / factor) * factor; };
}

// ---- paints -----------------------------------------------------------------------------

Paint solid(TESS_pixel c) {
    return [=](float, float) { return c; };
}

Paint vertical(float y0, TESS_pixel c0, float y1, TESS_pixel c1) {
    return [=](float, float y) { return mix(c0, c1, (y - y0) / (y1 - y0)); };
}

Paint radial(float cx, float cy, float radius, TESS_pixel inner, TESS_pixel outer) {
    return [=](float x, float y) { return mix(inner, outer, length(x - cx, y - cy) / radius); };
}

// ---- pictures ---------------------------------------------------------------------------

Picture::Picture(int32_t width, int32_t height)
    : width_(width), height_(height), colour_(new TESS_MemBitmap(width, height)),
      mask_(new TESS_MemBitmap(width, height)) {
    TESS_Clear(colour_.get(), 0xFF000000);
    TESS_Clear(mask_.get(), 0xFF000000);
}

void Picture::fill(const Shape& shape, const Paint& paint, float opacity, float softness,
                   bool add) {
    // Coverage per pixel, kept only inside the box where any was found.
    std::vector<uint8_t> cover(static_cast<size_t>(width_) * height_, 0);
    int32_t x0 = width_, y0 = height_, x1 = -1, y1 = -1;
    const float soft = softness < 1.0f ? 1.0f : softness;
    for (int32_t y = 0; y < height_; ++y) {
        for (int32_t x = 0; x < width_; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            const float d = shape(px, py);
            float c = soft <= 1.0f ? clamp01(0.5f - d) : 1.0f - smoothstep(-soft * 0.5f, soft * 0.5f, d);
            if (c <= 0.0f) continue;
            const TESS_pixel p = paint(px, py);
            c *= opacity * (static_cast<float>(p >> 24) / 255.0f);
            const int32_t a = static_cast<int32_t>(c * 255.0f + 0.5f);
            if (a <= 0) continue;
            cover[static_cast<size_t>(y) * width_ + x] = static_cast<uint8_t>(a > 255 ? 255 : a);
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    }
    if (x1 < x0) return;

    const int32_t w = x1 - x0 + 1, h = y1 - y0 + 1;
    TESS_MemBitmap stamp(w, h), white(w, h);
    TESS_pixel* s = stamp.bits();
    TESS_pixel* m = white.bits();
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t a = cover[static_cast<size_t>(y + y0) * width_ + x + x0];
            const TESS_pixel p = a ? paint(x + x0 + 0.5f, y + y0 + 0.5f) : 0;
            s[y * w + x] = (p & 0xFFFFFFu) | a << 24;
            m[y * w + x] = 0xFFFFFFu | a << 24;
        }
    }
    const int32_t mode = TESS_BLIT_USE_ALPHA | (add ? TESS_BLIT_MODE_ADD : TESS_BLIT_MODE_COPY);
    TESS_Blit(colour_.get(), &stamp, x0, y0, nullptr, 1.0f, mode);
    TESS_Blit(mask_.get(), &white, x0, y0, nullptr, 1.0f, TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_COPY);
}

TESS_MemBitmap* Picture::finish() {
    TESS_MemBitmap* out = new TESS_MemBitmap(width_, height_);
    TESS_Blit(out, colour_.get(), 0, 0, nullptr, 1.0f, TESS_BLIT_MODE_COPY);
    // The mask's blue byte (channel 0) becomes the alpha byte (channel 3).
    TESS_Blit(out, mask_.get(), 0, 0, nullptr, 1.0f, TESS_BLIT_MODE_CHANNEL_COPY | 0 | 3 << 2);

    TESS_pixel* p = out->bits();
    const size_t n = static_cast<size_t>(width_) * height_;
    std::vector<uint8_t> known(n, 0);
    for (size_t i = 0; i < n; ++i) {
        const int32_t a = static_cast<int32_t>(p[i] >> 24);
        if (a == 0) continue;
        int32_t c[3];
        for (int k = 0; k < 3; ++k) c[k] = std::min(255, (channel(p[i], 8 * k) * 255 + a / 2) / a);
        p[i] = TESS_PackPixel(c[2], c[1], c[0], a);
        known[i] = 1;
    }
    // Transparent pixels take the mean colour of drawn neighbours, a few rings outward.
    for (int pass = 0; pass < 4; ++pass) {
        std::vector<uint8_t> next = known;
        for (int32_t y = 0; y < height_; ++y) {
            for (int32_t x = 0; x < width_; ++x) {
                const size_t i = static_cast<size_t>(y) * width_ + x;
                if (known[i]) continue;
                int32_t sum[3] = {0, 0, 0}, count = 0;
                const int32_t nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
                for (int k = 0; k < 4; ++k) {
                    if (nx[k] < 0 || ny[k] < 0 || nx[k] >= width_ || ny[k] >= height_) continue;
                    const size_t j = static_cast<size_t>(ny[k]) * width_ + nx[k];
                    if (!known[j]) continue;
                    for (int c = 0; c < 3; ++c) sum[c] += channel(p[j], 8 * c);
                    ++count;
                }
                if (!count) continue;
                p[i] = TESS_PackPixel(sum[2] / count, sum[1] / count, sum[0] / count, 0);
                next[i] = 1;
            }
        }
        known.swap(next);
    }
    return out;
}

}  // namespace skin
