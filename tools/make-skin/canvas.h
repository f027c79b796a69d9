// Drawing helpers of the skin generator: pictures with an alpha channel built from
// anti-aliased shapes (signed distances) through the TESS blits. Used by skin.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "raster/tess.h"

namespace skin {

// Signed distance in pixels from a point to a shape's edge, negative inside.
using Shape = std::function<float(float x, float y)>;
// Colour at a pixel centre; its alpha byte scales the fill's opacity there.
using Paint = std::function<TESS_pixel(float x, float y)>;

// ---- colours ----------------------------------------------------------------------------

TESS_pixel rgb(uint32_t rrggbb);
TESS_pixel with_alpha(TESS_pixel c, float a);
// Channel-wise blend of a toward b by t (0..1), alpha included.
TESS_pixel mix(TESS_pixel a, TESS_pixel b, float t);

float clamp01(float v);
float smoothstep(float edge0, float edge1, float x);

// ---- shapes -----------------------------------------------------------------------------

Shape ellipse(float cx, float cy, float rx, float ry);
Shape circle(float cx, float cy, float r);
Shape rounded_box(float cx, float cy, float half_w, float half_h, float radius);
// The lens two circular arcs make between (cx - half_w, cy) and (cx + half_w, cy).
Shape lens(float cx, float cy, float half_w, float half_h);
// A segment with round ends, `thickness` wide.
Shape capsule(float x1, float y1, float x2, float y2, float thickness);
// A closed polygon given by its corners.
Shape polygon(std::initializer_list<float> xy);

Shape unite(Shape a, Shape b);
Shape intersect(Shape a, Shape b);
Shape subtract(Shape a, Shape b);
// The band of `thickness` pixels centred on a shape's edge.
Shape outline(Shape a, float thickness);
// The shape squeezed vertically about row cy (factor < 1 flattens it).
Shape squash(Shape a, float cy, float factor);

// ---- paints -----------------------------------------------------------------------------

Paint solid(TESS_pixel c);
Paint vertical(float y0, TESS_pixel c0, float y1, TESS_pixel c1);
Paint radial(float cx, float cy, float radius, TESS_pixel inner, TESS_pixel outer);

// ---- pictures ---------------------------------------------------------------------------

// A picture under construction. Colours are composited premultiplied on a black canvas and
// coverage on a grey mask (both with the library's alpha blend, which is exact over opaque
// ground); finish() divides the colour by the coverage and makes the mask the alpha channel.
class Picture {
public:
    Picture(int32_t width, int32_t height);
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // Fills a shape. `softness` widens the anti-aliased edge to that many pixels (glows,
    // shadows); `add` adds light instead of covering what is below.
    void fill(const Shape& shape, const Paint& paint, float opacity = 1.0f,
              float softness = 1.0f, bool add = false);

    // The finished bitmap (owned by the caller): straight colour, alpha from coverage, and
    // transparent pixels tinted like their nearest drawn neighbours so that filtered scaling
    // shows no dark fringe.
    TESS_MemBitmap* finish();

private:
    int32_t width_, height_;
    std::unique_ptr<TESS_MemBitmap> colour_;
    std::unique_ptr<TESS_MemBitmap> mask_;
};

}  // namespace skin
