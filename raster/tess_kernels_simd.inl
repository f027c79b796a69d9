// The vector paths' per-frame loops, written once over a vector type V of V::N pixels. Each
// vector path's translation unit includes this file inside its own namespace (tess::sse2,
// tess::avx2), the AVX2 one under its target pragma, so that each path gets its own copies
// of everything below and nothing compiled for a wider path is shared with a narrower one.
// Not a header of its own: the includer provides <immintrin.h> and raster/tess_kernels.h,
// and defines TESS_SIMD_256 to get the 256-bit type V256.
//
// Results are bit-exact to the per-pixel combiners of tess_combine.h.

// ---- Vector types: the same operations on four and on eight pixels --------------------------

struct V128 {
    using reg = __m128i;
    static constexpr int32_t N = 4;

    static reg load(const TESS_pixel* p) { return _mm_loadu_si128(reinterpret_cast<const reg*>(p)); }
    static void store(TESS_pixel* p, reg v) { _mm_storeu_si128(reinterpret_cast<reg*>(p), v); }
    static reg zero() { return _mm_setzero_si128(); }
    static reg set1(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
    static reg and_(reg a, reg b) { return _mm_and_si128(a, b); }
    static reg andnot(reg a, reg b) { return _mm_andnot_si128(a, b); }
    static reg or_(reg a, reg b) { return _mm_or_si128(a, b); }
    static reg add32(reg a, reg b) { return _mm_add_epi32(a, b); }
    static reg cmpeq32(reg a, reg b) { return _mm_cmpeq_epi32(a, b); }
    static bool all_ones(reg m) { return _mm_movemask_epi8(m) == 0xFFFF; }
    template <int K> static reg srli32(reg a) { return _mm_srli_epi32(a, K); }
    template <int K> static reg slli32(reg a) { return _mm_slli_epi32(a, K); }
    static reg adds_u8(reg a, reg b) { return _mm_adds_epu8(a, b); }
    static reg unpacklo8(reg a, reg b) { return _mm_unpacklo_epi8(a, b); }
    static reg unpackhi8(reg a, reg b) { return _mm_unpackhi_epi8(a, b); }
    static reg unpacklo32(reg a, reg b) { return _mm_unpacklo_epi32(a, b); }
    static reg unpackhi32(reg a, reg b) { return _mm_unpackhi_epi32(a, b); }
    static reg packus16(reg a, reg b) { return _mm_packus_epi16(a, b); }
    static reg add16(reg a, reg b) { return _mm_add_epi16(a, b); }
    static reg sub16(reg a, reg b) { return _mm_sub_epi16(a, b); }
    template <int K> static reg slli16(reg a) { return _mm_slli_epi16(a, K); }
    static reg mulhi16(reg a, reg b) { return _mm_mulhi_epi16(a, b); }
    static reg mulhi_u16(reg a, reg b) { return _mm_mulhi_epu16(a, b); }

    // Nearest samples of a source row at 16.16 positions pos, pos + step, ...: four loads.
    struct Sampler {
        const TESS_pixel* row;
        int64_t pos;
        int64_t step;
        static bool fits(int64_t, int64_t, int32_t) { return true; }
        Sampler(const TESS_pixel* r, int64_t p, int64_t s) : row(r), pos(p), step(s) {}
        reg next() {
            const reg v = _mm_set_epi32(static_cast<int>(row[(pos + 3 * step) >> 16]),
                                        static_cast<int>(row[(pos + 2 * step) >> 16]),
                                        static_cast<int>(row[(pos + step) >> 16]),
                                        static_cast<int>(row[pos >> 16]));
            pos += 4 * step;
            return v;
        }
    };
};

#if defined(TESS_SIMD_256)
struct V256 {
    using reg = __m256i;
    static constexpr int32_t N = 8;

    static reg load(const TESS_pixel* p) { return _mm256_loadu_si256(reinterpret_cast<const reg*>(p)); }
    static void store(TESS_pixel* p, reg v) { _mm256_storeu_si256(reinterpret_cast<reg*>(p), v); }
    static reg zero() { return _mm256_setzero_si256(); }
    static reg set1(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static reg and_(reg a, reg b) { return _mm256_and_si256(a, b); }
    static reg andnot(reg a, reg b) { return _mm256_andnot_si256(a, b); }
    static reg or_(reg a, reg b) { return _mm256_or_si256(a, b); }
    static reg add32(reg a, reg b) { return _mm256_add_epi32(a, b); }
    static reg cmpeq32(reg a, reg b) { return _mm256_cmpeq_epi32(a, b); }
    static bool all_ones(reg m) { return _mm256_movemask_epi8(m) == -1; }
    template <int K> static reg srli32(reg a) { return _mm256_srli_epi32(a, K); }
    template <int K> static reg slli32(reg a) { return _mm256_slli_epi32(a, K); }
    static reg adds_u8(reg a, reg b) { return _mm256_adds_epu8(a, b); }
    // Unpacks and packs work within each 128-bit half, as two V128 operations side by side;
    // the pack puts the pixels back in their order.
    static reg unpacklo8(reg a, reg b) { return _mm256_unpacklo_epi8(a, b); }
    static reg unpackhi8(reg a, reg b) { return _mm256_unpackhi_epi8(a, b); }
    static reg unpacklo32(reg a, reg b) { return _mm256_unpacklo_epi32(a, b); }
    static reg unpackhi32(reg a, reg b) { return _mm256_unpackhi_epi32(a, b); }
    static reg packus16(reg a, reg b) { return _mm256_packus_epi16(a, b); }
    static reg add16(reg a, reg b) { return _mm256_add_epi16(a, b); }
    static reg sub16(reg a, reg b) { return _mm256_sub_epi16(a, b); }
    template <int K> static reg slli16(reg a) { return _mm256_slli_epi16(a, K); }
    static reg mulhi16(reg a, reg b) { return _mm256_mulhi_epi16(a, b); }
    static reg mulhi_u16(reg a, reg b) { return _mm256_mulhi_epu16(a, b); }

    // Nearest samples by one gather; positions held in 32-bit lanes, so every position the
    // row uses must lie in 0 .. 2^31 - 1.
    struct Sampler {
        const TESS_pixel* row;
        reg pos;
        reg advance;
        static bool fits(int64_t first, int64_t step, int32_t n) {
            const int64_t last = first + int64_t(n - 1) * step;
            return first >= 0 && last >= 0 && first <= INT32_MAX && last <= INT32_MAX;
        }
        Sampler(const TESS_pixel* r, int64_t p, int64_t s) : row(r) {
            const int32_t s32 = static_cast<int32_t>(s);
            pos = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(p)),
                                   _mm256_mullo_epi32(_mm256_set1_epi32(s32),
                                                      _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
            advance = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(s32) * 8u));
        }
        reg next() {
            const reg v = _mm256_i32gather_epi32(reinterpret_cast<const int*>(row),
                                                 _mm256_srli_epi32(pos, 16), 4);
            pos = _mm256_add_epi32(pos, advance);
            return v;
        }
    };
};
#endif

// ---- COPY by source alpha at alpha 1 ---------------------------------------------------------

// Eight channels at a time in 16-bit lanes, w = sa + 1:
// S * w + D * (256 - w) = 256 * D + (S - D) * w, and the sum is never negative, so the result
// is D + floor((S - D) * w / 256): the high half of ((S - D) << 7) * (2 * w), exact in 16 bits.
// The alpha lane does the same with S = w (giving (D * (256 - w) + w * w) / 256), except that
// sa = 255 uses S = 255 there, which yields 255 as the clamp would. For sa = 0 the factor is
// 0 instead of 1, which leaves the destination exactly as the skip does.
template <class V>
inline typename V::reg blend_channels(typename V::reg s16, typename V::reg d16, typename V::reg w2) {
    return V::add16(d16, V::mulhi16(V::template slli16<7>(V::sub16(s16, d16)), w2));
}

template <class V>
inline typename V::reg blend_alpha_full(typename V::reg s, typename V::reg d) {
    using R = typename V::reg;
    const R zero = V::zero();
    const R sa = V::template srli32<24>(s);
    const R w = V::add32(V::add32(sa, V::set1(1)), V::cmpeq32(sa, zero));
    R w2 = V::template slli32<1>(w);
    w2 = V::or_(w2, V::template slli32<16>(w2));
    // Alpha byte of the source becomes min(sa + 1, 255), the S of the alpha lane.
    const R sw = V::adds_u8(s, V::set1(0x01000000u));
    const R lo = blend_channels<V>(V::unpacklo8(sw, zero), V::unpacklo8(d, zero), V::unpacklo32(w2, w2));
    const R hi = blend_channels<V>(V::unpackhi8(sw, zero), V::unpackhi8(d, zero), V::unpackhi32(w2, w2));
    return V::packus16(lo, hi);
}

// N pixels at d from sv with alphas av: opaque groups are stored, transparent ones skipped,
// others blended.
template <class V>
inline void copy_alpha_full_group(TESS_pixel* d, typename V::reg sv, typename V::reg av) {
    const typename V::reg opaque = V::set1(0xFF000000u);
    if (V::all_ones(V::cmpeq32(av, opaque))) {
        V::store(d, sv);
    } else if (!V::all_ones(V::cmpeq32(av, V::zero()))) {
        V::store(d, blend_alpha_full<V>(sv, V::load(d)));
    }
}

// 1..3 pixels into the low lanes of a vector, and back, touching only their own addresses.
inline __m128i load_partial(const TESS_pixel* p, int32_t n) {
    if (n == 1) return _mm_cvtsi32_si128(static_cast<int>(p[0]));
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return n == 2 ? lo : _mm_unpacklo_epi64(lo, _mm_cvtsi32_si128(static_cast<int>(p[2])));
}
inline void store_partial(TESS_pixel* p, int32_t n, __m128i v) {
    if (n == 1) {
        p[0] = static_cast<TESS_pixel>(_mm_cvtsi128_si32(v));
        return;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    if (n == 3) p[2] = static_cast<TESS_pixel>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
}

// The last 0..7 pixels of a row: a group of four, then 1..3 in a partial vector.
inline void copy_alpha_full_tail(TESS_pixel* d, const TESS_pixel* s, int32_t n) {
    const __m128i alphaMask = V128::set1(0xFF000000u);
    if (n >= 4) {
        const __m128i sv = V128::load(s);
        copy_alpha_full_group<V128>(d, sv, V128::and_(sv, alphaMask));
        d += 4;
        s += 4;
        n -= 4;
    }
    if (n > 0) {
        const __m128i sv = load_partial(s, n);
        if (!V128::all_ones(V128::cmpeq32(V128::and_(sv, alphaMask), V128::zero())))
            store_partial(d, n, blend_alpha_full<V128>(sv, load_partial(d, n)));
    }
}

template <class V>
void copy_alpha_full_rows(const BlitRows& r) {
    using R = typename V::reg;
    constexpr int32_t N = V::N;
    const R alphaMask = V::set1(0xFF000000u);
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t i, end;
        row_columns(r, y, &i, &end);
        // Destination rows lie a whole frame row apart: ask for the one two rows ahead.
        if (y + 2 < r.h) {
            const char* ahead = reinterpret_cast<const char*>(d + 2 * r.dstStep + i);
            for (int32_t b = 0; b < (end - i) * 4; b += 64) _mm_prefetch(ahead + b, _MM_HINT_T0);
        }
        // 2N pixels per step; runs that are wholly opaque or wholly transparent, the bulk of
        // a sprite, take one test for all of them and never read the destination.
        for (; i + 2 * N <= end; i += 2 * N) {
            const R s0 = V::load(s + i);
            const R s1 = V::load(s + i + N);
            const R a0 = V::and_(s0, alphaMask), a1 = V::and_(s1, alphaMask);
            if (V::all_ones(V::cmpeq32(V::and_(a0, a1), alphaMask))) {
                V::store(d + i, s0);
                V::store(d + i + N, s1);
            } else if (!V::all_ones(V::cmpeq32(V::or_(a0, a1), V::zero()))) {
                copy_alpha_full_group<V>(d + i, s0, a0);
                copy_alpha_full_group<V>(d + i + N, s1, a1);
            }
        }
        if (i + N <= end) {
            const R sv = V::load(s + i);
            copy_alpha_full_group<V>(d + i, sv, V::and_(sv, alphaMask));
            i += N;
        }
        if (i < end) copy_alpha_full_tail(d + i, s + i, end - i);
    }
}

// ---- COPY by source alpha at a weight e of 0..256 (gems fading out) --------------------------

// A pixel's weight is e' = e * (sa + 1) / 256: the high half of (e << 7) * ((sa + 1) << 1) in
// unsigned 16 bits. With e' of 0..256 the sum S * e' + D * (256 - e') is never negative and
// needs no clamp, so as above every channel, alpha included, is D + floor((S - D) * e' / 256).
// A transparent source gets factor 0, which leaves the pixel as the skip does.
template <class V>
inline typename V::reg blend_alpha(typename V::reg s, typename V::reg d, typename V::reg e7) {
    using R = typename V::reg;
    const R zero = V::zero();
    const R sa = V::template srli32<24>(s);
    const R w = V::andnot(V::cmpeq32(sa, zero),
                          V::mulhi_u16(e7, V::template slli32<1>(V::add32(sa, V::set1(1)))));
    R w2 = V::template slli32<1>(w);
    w2 = V::or_(w2, V::template slli32<16>(w2));
    const R lo = blend_channels<V>(V::unpacklo8(s, zero), V::unpacklo8(d, zero), V::unpacklo32(w2, w2));
    const R hi = blend_channels<V>(V::unpackhi8(s, zero), V::unpackhi8(d, zero), V::unpackhi32(w2, w2));
    return V::packus16(lo, hi);
}

// Groups with any visible pixel are blended; wholly transparent ones are skipped.
template <class V>
void copy_alpha_rows(const BlitRows& r, int32_t e) {
    using R = typename V::reg;
    const R alphaMask = V::set1(0xFF000000u);
    const R e7 = V::set1(uint32_t(e) << 7);
    const __m128i e7narrow = V128::set1(uint32_t(e) << 7);
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t i, end;
        row_columns(r, y, &i, &end);
        for (; i + V::N <= end; i += V::N) {
            const R sv = V::load(s + i);
            if (!V::all_ones(V::cmpeq32(V::and_(sv, alphaMask), V::zero())))
                V::store(d + i, blend_alpha<V>(sv, V::load(d + i), e7));
        }
        // The last 0..7 pixels: a group of four, then 1..3 in a partial vector.
        if (i + 4 <= end) {
            const __m128i sv = V128::load(s + i);
            V128::store(d + i, blend_alpha<V128>(sv, V128::load(d + i), e7narrow));
            i += 4;
        }
        if (i < end) {
            const int32_t n = end - i;
            store_partial(d + i, n, blend_alpha<V128>(load_partial(s + i, n), load_partial(d + i, n), e7narrow));
        }
    }
}

// ---- Sustain rows: nearest samples by source alpha at alpha 1 ------------------------------

template <class V>
void stretch_alpha_full(const StretchRow& r) {
    int32_t i = r.cols.begin;
    int64_t xp = r.cols.pos;
    if (V::Sampler::fits(xp, r.step, r.cols.end - i)) {
        typename V::Sampler sampler(r.row, xp, r.step);
        for (; i + V::N <= r.cols.end; i += V::N) {
            TESS_pixel* d = r.dst + i;
            V::store(d, blend_alpha_full<V>(sampler.next(), V::load(d)));
        }
        xp += int64_t(i - r.cols.begin) * r.step;
    }
    for (; i < r.cols.end; ++i, xp += r.step)
        apply_pixel<CopyAlphaFull>(r.dst + i, r.row[xp >> 16], 256);
}

// ---- Fills: the COPY word mixes on N pixels ---------------------------------------------------

template <class V, Mix M>
inline typename V::reg mix_vector(typename V::reg c, typename V::reg p) {
    if constexpr (M == Mix::Store) {
        return c;
    } else {
        const typename V::reg half = V::set1(0x7F7F7F7Fu), quarter = V::set1(0x3F3F3F3Fu);
        if constexpr (M == Mix::Half) {
            return V::add32(V::and_(V::template srli32<1>(c), half),
                            V::and_(V::template srli32<1>(p), half));
        } else {
            // Quarter: p / 2 + p / 4 + c / 4; three quarters: c / 2 + c / 4 + p / 4.
            const typename V::reg big = M == Mix::Quarter ? p : c;
            const typename V::reg small = M == Mix::Quarter ? c : p;
            return V::add32(V::add32(V::and_(V::template srli32<1>(big), half),
                                     V::and_(V::template srli32<2>(big), quarter)),
                            V::and_(V::template srli32<2>(small), quarter));
        }
    }
}

template <class V, Mix M>
void fill_rows(const FillRows& r, TESS_pixel c) {
    const typename V::reg cv = V::set1(c);
    TESS_pixel* row = r.first;
    for (int32_t y = 0; y < r.h; ++y, row += r.step) {
        int32_t i = 0;
        if constexpr (M == Mix::Store) {
            for (; i + 4 * V::N <= r.w; i += 4 * V::N) {
                V::store(row + i, cv);
                V::store(row + i + V::N, cv);
                V::store(row + i + 2 * V::N, cv);
                V::store(row + i + 3 * V::N, cv);
            }
        }
        for (; i + V::N <= r.w; i += V::N) V::store(row + i, mix_vector<V, M>(cv, V::load(row + i)));
        for (; i < r.w; ++i) row[i] = mix_word<M>(c, row[i]);
    }
}

// ---- COPY at alpha 1 ----------------------------------------------------------------------------

// Rows of whole vectors, four at a time, then single pixels.
template <class V>
void copy_rows(const BlitRows& r) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t i = 0;
        for (; i + 4 * V::N <= r.w; i += 4 * V::N) {
            const typename V::reg a = V::load(s + i), b = V::load(s + i + V::N);
            const typename V::reg c = V::load(s + i + 2 * V::N), e = V::load(s + i + 3 * V::N);
            V::store(d + i, a);
            V::store(d + i + V::N, b);
            V::store(d + i + 2 * V::N, c);
            V::store(d + i + 3 * V::N, e);
        }
        for (; i + V::N <= r.w; i += V::N) V::store(d + i, V::load(s + i));
        for (; i < r.w; ++i) d[i] = s[i];
    }
}
