// TESS pixel combining: alpha weights, clamping, one combiner per blend mode and alpha flavour,
// and the HSV conversion. Used by every drawing loop of the library (blit, scaled blit, fill, line, glyph).
#pragma once

#include <array>
#include <cstdint>

#include "raster/tess_bitmap.h"

// All arithmetic below is 32-bit signed with divisions truncating toward zero; the library is
// built with -fwrapv so that absurd weights wrap instead of being undefined.

// Integer weight of a float alpha: alpha * 256 truncated toward zero (256 is full strength).
// NaN gives 0 and values beyond the int32 range saturate, so the conversion is always defined.
inline int32_t TESS_AlphaWeight(float alpha) {
    double w = static_cast<double>(alpha) * 256.0;
    if (w != w) return 0;
    if (w >= 2147483647.0) return INT32_MAX;
    if (w <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(w);
}

// 0..255 pass; below 0 gives 0, above 255 gives 255.
inline int32_t TESS_Clamp(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

inline TESS_pixel TESS_PackPixel(int32_t r, int32_t g, int32_t b, int32_t a) {
    return static_cast<uint32_t>(b) | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(a) << 24;
}

// Pixel words are little-endian, so byte 0 (blue) is the low byte of the word.
inline void TESS_PutPixelClamped(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a) {
    *p = TESS_PackPixel(TESS_Clamp(r), TESS_Clamp(g), TESS_Clamp(b), TESS_Clamp(a));
}

// Entry 0 is 0, entry i is floor(65536 / i) - 1.
inline constexpr std::array<uint16_t, 256> TESS_HUE_RECIPROCALS = [] {
    std::array<uint16_t, 256> t{};
    for (int i = 1; i < 256; ++i) t[i] = static_cast<uint16_t>(65536 / i - 1);
    return t;
}();

// Per-channel formulas, D the destination channel, S the source channel, e the weight.
inline int32_t tess_copy_channel(int32_t d, int32_t s, int32_t e) {
    return TESS_Clamp((s * e + d * (256 - e)) / 256);
}
inline int32_t tess_add_channel(int32_t d, int32_t s, int32_t e) {
    return TESS_Clamp(d + s * e / 256);
}
inline int32_t tess_dodge_channel(int32_t d, int32_t s, int32_t e) {
    int32_t divisor = 256 - s * e / 256;
    return TESS_Clamp(divisor > 1 ? d * 256 / divisor : d * 256);
}
inline int32_t tess_multiply_channel(int32_t d, int32_t s, int32_t e) {
    return TESS_Clamp(d * (s * e + (256 - e) * 256) / 65536);
}
inline int32_t tess_soft_light_channel(int32_t d, int32_t s, int32_t e) {
    int32_t t = s * e + (256 - e) * 128;  // S on a 0..32768 scale, pulled toward one half as e falls
    return TESS_Clamp(((32768 - t) * d / 256 + t) * d / 32768);
}

// Weight of one pixel in the source-alpha flavour: sa = 255 keeps e, sa = 0 gives e / 256.
inline int32_t TESS_SourceAlphaWeight(int32_t e, int32_t sa) { return e * (sa + 1) / 256; }

// Applies a per-channel formula to all four channels of *p.
template <int32_t (*F)(int32_t, int32_t, int32_t)>
inline void tess_combine_channels(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                  int32_t e) {
    TESS_pixel d = *p;
    *p = TESS_PackPixel(F(static_cast<int32_t>(d >> 16 & 0xFF), r, e),
                        F(static_cast<int32_t>(d >> 8 & 0xFF), g, e),
                        F(static_cast<int32_t>(d & 0xFF), b, e),
                        F(static_cast<int32_t>(d >> 24), a, e));
}

inline void TESS_CombineCopy(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
    tess_combine_channels<tess_copy_channel>(p, r, g, b, a, e);
}
inline void TESS_CombineAdd(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
    tess_combine_channels<tess_add_channel>(p, r, g, b, a, e);
}
inline void TESS_CombineDodge(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
    tess_combine_channels<tess_dodge_channel>(p, r, g, b, a, e);
}
inline void TESS_CombineMultiply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                 int32_t e) {
    tess_combine_channels<tess_multiply_channel>(p, r, g, b, a, e);
}
inline void TESS_CombineSoftLight(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                  int32_t e) {
    tess_combine_channels<tess_soft_light_channel>(p, r, g, b, a, e);
}

inline void TESS_CombineCopyAlpha(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                  int32_t e) {
    if (a == 0) return;
    TESS_CombineCopy(p, r, g, b, a, TESS_SourceAlphaWeight(e, a));
}
inline void TESS_CombineAddAlpha(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                 int32_t e) {
    if (a == 0) return;
    TESS_CombineAdd(p, r, g, b, a, TESS_SourceAlphaWeight(e, a));
}
inline void TESS_CombineMultiplyAlpha(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                      int32_t e) {
    if (a == 0) return;
    TESS_CombineMultiply(p, r, g, b, a, TESS_SourceAlphaWeight(e, a));
}
// DODGE does not skip sa = 0: with e <= 256 its weight is then 0 and the pixel stays.
inline void TESS_CombineDodgeAlpha(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                   int32_t e) {
    TESS_CombineDodge(p, r, g, b, a, TESS_SourceAlphaWeight(e, a));
}

// COPY by source alpha at alpha 1. The alpha channel uses w * w, not sa * w.
inline void TESS_CombineCopyAlphaFull(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a) {
    if (a == 0) return;
    if (a == 255) {
        *p = TESS_PackPixel(r, g, b, 255);
        return;
    }
    TESS_pixel d = *p;
    int32_t w = a + 1;
    *p = TESS_PackPixel(TESS_Clamp((r * w + static_cast<int32_t>(d >> 16 & 0xFF) * (256 - w)) / 256),
                        TESS_Clamp((g * w + static_cast<int32_t>(d >> 8 & 0xFF) * (256 - w)) / 256),
                        TESS_Clamp((b * w + static_cast<int32_t>(d & 0xFF) * (256 - w)) / 256),
                        TESS_Clamp((static_cast<int32_t>(d >> 24) * (256 - w) + w * w) / 256));
}

// Hue 0..383 (six sectors of 64), saturation and value 0..255. Hues outside 0..383 fall into
// the first or last sector; each channel keeps its low 8 bits.
inline TESS_pixel TESS_HsvToPixel(int32_t h, int32_t s, int32_t v, int32_t a) {
    int32_t p = v * (256 - s) / 256;
    int32_t r, g, b;
    if (h < 64) {
        r = v; g = v * (16384 - (64 - h) * s) / 16384; b = p;
    } else if (h < 128) {
        r = v * (16384 - (h - 64) * s) / 16384; g = v; b = p;
    } else if (h < 192) {
        r = p; g = v; b = v * (16384 - (192 - h) * s) / 16384;
    } else if (h < 256) {
        r = p; g = v * (16384 - (h - 192) * s) / 16384; b = v;
    } else if (h < 320) {
        r = v * (16384 - (320 - h) * s) / 16384; g = p; b = v;
    } else {
        r = v; g = p; b = v * (16384 - (h - 320) * s) / 16384;
    }
    return TESS_PackPixel(r & 0xFF, g & 0xFF, b & 0xFF, a & 0xFF);
}

// Source red shifts the hue (128 none, 0 by -192, 255 by +190 of a 384 turn), green the
// saturation and blue the value, all scaled by e; the pixel takes the source alpha.
inline void TESS_CombineHsvAdjust(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a,
                                  int32_t e) {
    TESS_pixel d = *p;
    int32_t R = static_cast<int32_t>(d >> 16 & 0xFF);
    int32_t G = static_cast<int32_t>(d >> 8 & 0xFF);
    int32_t B = static_cast<int32_t>(d & 0xFF);
    int32_t max, delta, base, diff;
    if (G > R) {
        if (G > B) {
            max = G; delta = G - (R < B ? R : B); base = 128; diff = B - R;
        } else {
            max = B; delta = B - R; base = 256; diff = R - G;
        }
    } else if (R > B) {
        if (G < B) {
            max = R; delta = R - G; base = 383; diff = G - B;
        } else {
            max = R; delta = R - B; base = 0; diff = G - B;
        }
    } else {
        max = B; delta = B - (R < G ? R : G); base = 256; diff = R - G;
    }
    int32_t sat = TESS_HUE_RECIPROCALS[max] * delta / 256;
    int32_t hue = base + diff * (TESS_HUE_RECIPROCALS[delta] + 1) / 1024 + e * (r / 2 + r - 192) / 256;
    if (hue < 0) {
        hue += 384;
    } else if (hue >= 384) {
        hue -= 384;
    }
    *p = TESS_HsvToPixel(hue, TESS_Clamp(sat + e * (g - 128) / 256),
                         TESS_Clamp(max + e * (b - 128) / 256), a);
}

// Half blend of whole words: each channel becomes floor(S / 2) + floor(D / 2).
inline TESS_pixel TESS_HalfBlend(TESS_pixel s, TESS_pixel d) {
    return ((s >> 1) & 0x7F7F7F7Fu) + ((d >> 1) & 0x7F7F7F7Fu);
}

// Functors over the combiners, for templates on the combiner: one apply with the destination
// pixel, the source channels and the weight. Combiners that need no weight ignore it.
namespace tess {

struct Copy {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineCopy(p, r, g, b, a, e);
    }
};
struct CopyAlpha {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineCopyAlpha(p, r, g, b, a, e);
    }
};
struct CopyAlphaFull {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t) {
        TESS_CombineCopyAlphaFull(p, r, g, b, a);
    }
};
struct Add {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineAdd(p, r, g, b, a, e);
    }
};
struct AddAlpha {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineAddAlpha(p, r, g, b, a, e);
    }
};
struct Dodge {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineDodge(p, r, g, b, a, e);
    }
};
struct DodgeAlpha {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineDodgeAlpha(p, r, g, b, a, e);
    }
};
struct Multiply {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineMultiply(p, r, g, b, a, e);
    }
};
struct MultiplyAlpha {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineMultiplyAlpha(p, r, g, b, a, e);
    }
};
struct SoftLight {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineSoftLight(p, r, g, b, a, e);
    }
};
// No sa = 0 skip.
struct SoftLightAlpha {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineSoftLight(p, r, g, b, a, TESS_SourceAlphaWeight(e, a));
    }
};
struct HsvAdjust {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineHsvAdjust(p, r, g, b, a, e);
    }
};
// No sa = 0 skip.
struct HsvAdjustAlpha {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t e) {
        TESS_CombineHsvAdjust(p, r, g, b, a, TESS_SourceAlphaWeight(e, a));
    }
};
// COPY at alpha 1 without source alpha: the source is stored as it is, all four bytes.
struct Store {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t) {
        *p = TESS_PackPixel(r & 0xFF, g & 0xFF, b & 0xFF, a & 0xFF);
    }
};
// COPY at alpha 0.5 without source alpha: the half blend, weight unused.
struct HalfBlend {
    static void apply(TESS_pixel* p, int32_t r, int32_t g, int32_t b, int32_t a, int32_t) {
        *p = TESS_HalfBlend(TESS_PackPixel(r & 0xFF, g & 0xFF, b & 0xFF, a & 0xFF), *p);
    }
};

// Applies Op with the channels of a source pixel word.
template <class Op>
inline void apply_pixel(TESS_pixel* p, TESS_pixel s, int32_t e) {
    Op::apply(p, static_cast<int32_t>(s >> 16 & 0xFF), static_cast<int32_t>(s >> 8 & 0xFF),
              static_cast<int32_t>(s & 0xFF), static_cast<int32_t>(s >> 24), e);
}

// Picks the combiner of a blit loop from key = mode & 0x100FF and calls f(Op{}) once; returns
// false (f not called) when the key draws nothing. COPY without source alpha is the weighted
// Copy here; its alpha-1 and alpha-0.5 shortcuts and the negative-alpha skip are the caller's.
template <class F>
inline bool with_blit_combiner(int32_t key, float alpha, F&& f) {
    switch (key) {
    case 0: f(Copy{}); return true;
    case 1: f(Add{}); return true;
    case 2: f(Dodge{}); return true;
    case 3: f(Multiply{}); return true;
    case 4: f(SoftLight{}); return true;
    case 5: f(HsvAdjust{}); return true;
    case TESS_BLIT_USE_ALPHA:
        if (alpha == 1.0f) {
            f(CopyAlphaFull{});
        } else {
            f(CopyAlpha{});
        }
        return true;
    case TESS_BLIT_USE_ALPHA | 1: f(AddAlpha{}); return true;
    case TESS_BLIT_USE_ALPHA | 2: f(DodgeAlpha{}); return true;
    case TESS_BLIT_USE_ALPHA | 3: f(MultiplyAlpha{}); return true;
    case TESS_BLIT_USE_ALPHA | 4: f(SoftLightAlpha{}); return true;
    case TESS_BLIT_USE_ALPHA | 5: f(HsvAdjustAlpha{}); return true;
    default: return false;
    }
}

// Constant-weight combiner of blend mode m (0..5) for fills, lines and glyphs; calls f(Op{})
// and returns true, or returns false for any other mode.
template <class F>
inline bool with_constant_combiner(int32_t m, F&& f) {
    switch (m) {
    case 0: f(Copy{}); return true;
    case 1: f(Add{}); return true;
    case 2: f(Dodge{}); return true;
    case 3: f(Multiply{}); return true;
    case 4: f(SoftLight{}); return true;
    case 5: f(HsvAdjust{}); return true;
    default: return false;
    }
}

}  // namespace tess
