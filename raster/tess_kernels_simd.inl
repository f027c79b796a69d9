// The vector paths' per-frame loops, written once over a vector type V of V::N pixels. Each
// vector path's translation unit includes this file inside its own namespace (tess::sse2,
// tess::avx2), the AVX2 one under its target pragma, so that each path gets its own copies
// of everything below and nothing compiled for a wider path is shared with a narrower one.
// Not a header of its own: the includer provides <immintrin.h> and raster/tess_kernels.h,
// and defines TESS_SIMD_256 to get the 256-bit type V256. Each type names the next narrower
// one as Narrower: rows too short for a vector go to it, down to four pixels.
//
// Results are bit-exact to the per-pixel combiners of tess_combine.h.

// ---- Vector types: the same operations on four and on eight pixels --------------------------

struct V128 {
    using reg = __m128i;
    static constexpr int32_t N = 4;
    using Narrower = V128;  // none: rows of fewer than four pixels have loops of their own

    static reg load(const TESS_pixel* p) { return _mm_loadu_si128(reinterpret_cast<const reg*>(p)); }
    static void store(TESS_pixel* p, reg v) { _mm_storeu_si128(reinterpret_cast<reg*>(p), v); }
    static reg zero() { return _mm_setzero_si128(); }
    static reg set1(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
    static reg and_(reg a, reg b) { return _mm_and_si128(a, b); }
    static reg or_(reg a, reg b) { return _mm_or_si128(a, b); }
    static reg add32(reg a, reg b) { return _mm_add_epi32(a, b); }
    static reg cmpeq32(reg a, reg b) { return _mm_cmpeq_epi32(a, b); }
    static bool all_ones(reg m) { return _mm_movemask_epi8(m) == 0xFFFF; }
    // Whether every pixel's alpha byte is 255, or every one is 0.
    static bool all_opaque(reg v) { return all_ones(cmpeq32(and_(v, set1(0xFF000000u)), set1(0xFF000000u))); }
    static bool all_transparent(reg v) { return all_ones(cmpeq32(and_(v, set1(0xFF000000u)), zero())); }
    template <int K> static reg srli32(reg a) { return _mm_srli_epi32(a, K); }
    template <int K> static reg slli32(reg a) { return _mm_slli_epi32(a, K); }
    static reg adds_u8(reg a, reg b) { return _mm_adds_epu8(a, b); }
    static reg add16(reg a, reg b) { return _mm_add_epi16(a, b); }
    static reg sub16(reg a, reg b) { return _mm_sub_epi16(a, b); }
    static reg min16(reg a, reg b) { return _mm_min_epi16(a, b); }
    // Each pixel's alpha in both 16-bit halves of its 32-bit lane.
    static reg alpha_pairs(reg v) {
        const reg a = srli32<24>(v);
        return or_(a, slli32<16>(a));
    }
    template <int K> static reg slli16(reg a) { return _mm_slli_epi16(a, K); }
    template <int K> static reg srli16(reg a) { return _mm_srli_epi16(a, K); }
    static reg mulhi16(reg a, reg b) { return _mm_mulhi_epi16(a, b); }
    static reg mulhi_u16(reg a, reg b) { return _mm_mulhi_epu16(a, b); }
    // Bytes 0 and 2 of every pixel exchanged: the pixel's 16-bit halves swapped supply them.
    static reg swap_bytes_0_2(reg v) {
        const reg halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
        return or_(and_(v, set1(0xFF00FF00u)), and_(halves, set1(0x00FF00FFu)));
    }

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
    using Narrower = V128;

    static reg load(const TESS_pixel* p) { return _mm256_loadu_si256(reinterpret_cast<const reg*>(p)); }
    static void store(TESS_pixel* p, reg v) { _mm256_storeu_si256(reinterpret_cast<reg*>(p), v); }
    static reg zero() { return _mm256_setzero_si256(); }
    static reg set1(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static reg and_(reg a, reg b) { return _mm256_and_si256(a, b); }
    static reg or_(reg a, reg b) { return _mm256_or_si256(a, b); }
    static reg add32(reg a, reg b) { return _mm256_add_epi32(a, b); }
    static reg cmpeq32(reg a, reg b) { return _mm256_cmpeq_epi32(a, b); }
    // One VPTEST each: the carry flag says no alpha bit is clear, the zero flag none is set.
    static bool all_opaque(reg v) { return _mm256_testc_si256(v, set1(0xFF000000u)) != 0; }
    static bool all_transparent(reg v) { return _mm256_testz_si256(v, set1(0xFF000000u)) != 0; }
    template <int K> static reg srli32(reg a) { return _mm256_srli_epi32(a, K); }
    template <int K> static reg slli32(reg a) { return _mm256_slli_epi32(a, K); }
    static reg adds_u8(reg a, reg b) { return _mm256_adds_epu8(a, b); }
    static reg add16(reg a, reg b) { return _mm256_add_epi16(a, b); }
    static reg sub16(reg a, reg b) { return _mm256_sub_epi16(a, b); }
    static reg min16(reg a, reg b) { return _mm256_min_epi16(a, b); }
    static reg alpha_pairs(reg v) {  // one byte shuffle
        const char z = -128;  // a shuffle index with its top bit set gives 0
        return _mm256_shuffle_epi8(v, _mm256_setr_epi8(3, z, 3, z, 7, z, 7, z, 11, z, 11, z, 15, z, 15, z,
                                                       3, z, 3, z, 7, z, 7, z, 11, z, 11, z, 15, z, 15, z));
    }
    template <int K> static reg slli16(reg a) { return _mm256_slli_epi16(a, K); }
    template <int K> static reg srli16(reg a) { return _mm256_srli_epi16(a, K); }
    static reg mulhi16(reg a, reg b) { return _mm256_mulhi_epi16(a, b); }
    static reg mulhi_u16(reg a, reg b) { return _mm256_mulhi_epu16(a, b); }
    static reg swap_bytes_0_2(reg v) {
        return _mm256_shuffle_epi8(v, _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                                       2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15));
    }

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

// ---- Blending ----------------------------------------------------------------------------------

// Channels are blended in 16-bit lanes, the even bytes (blue, red) and the odd bytes (green,
// alpha) of the pixels apart. With w = sa + 1,
// S * w + D * (256 - w) = 256 * D + (S - D) * w, and the sum is never negative, so the result
// is D + floor((S - D) * w / 256): D plus the high half of ((S - D) << 7) * (2 * w), a change
// exact in 16 bits.
template <class V>
inline typename V::reg blend_change(typename V::reg s16, typename V::reg d16, typename V::reg w2) {
    return V::mulhi16(V::template slli16<7>(V::sub16(s16, d16)), w2);
}

// s and d blended by w2 (2 * w of each pixel in both 16-bit halves of its 32-bit lane). Each
// new channel lies within 0..255, so the odd channel's change shifted up and the even one's
// added to the destination's 16-bit lanes neither carry nor borrow between the two bytes.
template <class V>
inline typename V::reg blend_by(typename V::reg s, typename V::reg d, typename V::reg w2) {
    const typename V::reg even = V::set1(0x00FF00FFu);
    const typename V::reg lo = blend_change<V>(V::and_(s, even), V::and_(d, even), w2);
    const typename V::reg hi = blend_change<V>(V::template srli16<8>(s), V::template srli16<8>(d), w2);
    return V::add16(d, V::add16(lo, V::template slli16<8>(hi)));
}

// 2 * (sa + 1) in the 16-bit lanes of alpha pairs sa, but 0 where sa is 0: 2 * sa plus the
// smaller of 2 * sa and 2.
template <class V>
inline typename V::reg twice_weight(typename V::reg sa) {
    const typename V::reg t = V::add16(sa, sa);
    return V::add16(t, V::min16(t, V::set1(0x00020002u)));
}

// COPY by source alpha at alpha 1. The alpha lane uses S = w (giving (D * (256 - w) + w * w)
// / 256), except that sa = 255 uses S = 255 there, which yields 255 as the clamp would. For
// sa = 0 the factor is 0 instead of 1, which leaves the destination exactly as the skip does.
template <class V>
inline typename V::reg blend_alpha_full(typename V::reg s, typename V::reg d) {
    using R = typename V::reg;
    const R w2 = twice_weight<V>(V::alpha_pairs(s));
    // Alpha byte of the source becomes min(sa + 1, 255), the S of the alpha lane.
    return blend_by<V>(V::adds_u8(s, V::set1(0x01000000u)), d, w2);
}

// ---- One row of a source-alpha blend -----------------------------------------------------------

// Blends are per pixel: a result depends only on that pixel's source and its destination as it
// was. So a row need not end in a short group: its last N pixels form one whole group,
// overlapping the group before, worked out from the destination before any of the row is
// stored and stored last; the overlapped pixels are then written twice with the same value.
//
// Op::result<W>(sv, d, &out) gives the W::N results for sources sv over the destination at d
// (read only when needed), or false when the destination stays as it is.

template <class W, class Op>
inline void blend_group(TESS_pixel* d, typename W::reg sv, const Op& op) {
    typename W::reg out;
    if (op.template result<W>(sv, d, &out)) W::store(d, out);
}

// Pixels [i, end) of a row whose source pixels lie at s[i], s[i + 1], ...
template <class W, class Op>
inline void blend_run(TESS_pixel* d, const TESS_pixel* s, int32_t i, int32_t end, const Op& op) {
    const int32_t last = end - W::N;
    typename W::reg lastOut;
    const bool storeLast = op.template result<W>(W::load(s + last), d + last, &lastOut);
    if constexpr (W::N == 4) {
        // Four-pixel tests cost as much as a vector's worth of blending: take eight pixels
        // at a time through them while the row lasts, as the interior and the margins of a
        // sprite are wholly opaque or transparent.
        for (; i + 2 * W::N <= end; i += 2 * W::N) {
            const typename W::reg s0 = W::load(s + i), s1 = W::load(s + i + W::N);
            if (W::all_transparent(W::or_(s0, s1))) continue;
            if (Op::STORES_OPAQUE && W::all_opaque(W::and_(s0, s1))) {
                W::store(d + i, s0);
                W::store(d + i + W::N, s1);
                continue;
            }
            blend_group<W>(d + i, s0, op);
            blend_group<W>(d + i + W::N, s1, op);
        }
    }
    for (; i < last; i += W::N) blend_group<W>(d + i, W::load(s + i), op);
    if (storeLast) W::store(d + last, lastOut);
}

template <class V, class Op>
inline void blend_row(TESS_pixel* d, const TESS_pixel* s, int32_t i, int32_t end, const Op& op) {
    const int32_t n = end - i;
    if (n >= V::N) {
        blend_run<V>(d, s, i, end, op);
    } else if constexpr (V::N > 4) {
        blend_row<typename V::Narrower>(d, s, i, end, op);
    } else if (n > 0) {
        // 1..3 pixels: through a group of four on the stack, touching only their own addresses.
        alignas(16) TESS_pixel src[4] = {0, 0, 0, 0}, dst[4] = {0, 0, 0, 0};
        for (int32_t k = 0; k < n; ++k) {
            src[k] = s[i + k];
            dst[k] = d[i + k];
        }
        blend_group<V128>(dst, V128::load(src), op);
        for (int32_t k = 0; k < n; ++k) d[i + k] = dst[k];
    }
}

// ---- COPY by source alpha at alpha 1 -----------------------------------------------------------

// Opaque groups, the bulk of a sprite's interior, are stored and transparent ones skipped
// without reading the destination; the rest are blended.
struct AlphaFullOp {
    static constexpr bool STORES_OPAQUE = true;
    template <class W>
    bool result(typename W::reg sv, const TESS_pixel* d, typename W::reg* out) const {
        // Both tests side by side: on AVX2 the compiler makes them one VPTEST, whose flags then
        // pick the branch.
        const bool opaque = W::all_opaque(sv), clear = W::all_transparent(sv);
        if (opaque) {
            *out = sv;
            return true;
        }
        if (clear) return false;
        *out = blend_alpha_full<W>(sv, W::load(d));
        return true;
    }
};

// Asks for the cache line at p. An asm statement rather than _mm_prefetch: GCC takes a loop of
// nothing but _mm_prefetch calls for a loop without effect and deletes it.
inline void prefetch_line(const char* p) { __asm__ volatile("prefetcht0 %0" : : "m"(*p)); }

// Asks for the visited part of rectangle row y, of the source and of the destination: a
// destination row lies a whole frame row from the one before, and a sprite is seldom still in
// the cache from the frame before.
inline void prefetch_row(const BlitRows& r, int32_t y) {
    int32_t i, end;
    row_columns(r, y, &i, &end);
    const char* d = reinterpret_cast<const char*>(r.dst + y * r.dstStep + i);
    const char* s = reinterpret_cast<const char*>(r.src + y * r.srcStep + i);
    for (int32_t b = 0; b < (end - i) * 4; b += 64) {
        prefetch_line(d + b);
        prefetch_line(s + b);
    }
}

template <class V>
void copy_alpha_full_rows(const BlitRows& r) {
    // Each row asks for the one two ahead; the first two are asked for here.
    for (int32_t y = 0; y < 2 && y < r.h; ++y) prefetch_row(r, y);
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        if (y + 2 < r.h) prefetch_row(r, y + 2);
        int32_t i, end;
        row_columns(r, y, &i, &end);
        blend_row<V>(d, s, i, end, AlphaFullOp());
    }
}

// ---- COPY by source alpha at a weight e of 0..256 (gems fading out) --------------------------

// A pixel's weight is e' = e * (sa + 1) / 256: the high half of (e << 7) * ((sa + 1) << 1) in
// unsigned 16 bits. With e' of 0..256 the sum S * e' + D * (256 - e') is never negative and
// needs no clamp, so as above every channel, alpha included, is D + floor((S - D) * e' / 256).
// A transparent source gets factor 0, which leaves the pixel as the skip does.
template <class V>
inline typename V::reg blend_alpha(typename V::reg s, typename V::reg d, typename V::reg e7) {
    const typename V::reg w = V::mulhi_u16(e7, twice_weight<V>(V::alpha_pairs(s)));
    return blend_by<V>(s, d, V::add16(w, w));
}

// Groups with any visible pixel are blended; wholly transparent ones are skipped.
struct AlphaOp {
    static constexpr bool STORES_OPAQUE = false;
    uint32_t e7;  // e << 7 in both 16-bit halves; broadcast at each width, outside the loops
    template <class W>
    bool result(typename W::reg sv, const TESS_pixel* d, typename W::reg* out) const {
        if (W::all_transparent(sv)) return false;
        *out = blend_alpha<W>(sv, W::load(d), W::set1(e7));
        return true;
    }
};

template <class V>
void copy_alpha_rows(const BlitRows& r, int32_t e) {
    AlphaOp op;
    op.e7 = uint32_t(e) << 7 | uint32_t(e) << 23;
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t i, end;
        row_columns(r, y, &i, &end);
        blend_row<V>(d, s, i, end, op);
    }
}

// ---- Sustain rows: nearest samples by source alpha at alpha 1 ------------------------------

// Semi-transparent strips: every group is blended. Rows of at least N pixels end in an
// overlapping group as above; shorter ones go to the narrower vector, and below four pixels
// pixel by pixel.
template <class V>
void stretch_alpha_full(const StretchRow& r) {
    const int32_t begin = r.cols.begin, end = r.cols.end;
    if constexpr (V::N > 4) {
        if (end - begin < V::N) return stretch_alpha_full<typename V::Narrower>(r);
    }
    if (end - begin >= V::N && V::Sampler::fits(r.cols.pos, r.step, end - begin)) {
        const int32_t last = end - V::N;
        typename V::Sampler tail(r.row, r.cols.pos + int64_t(last - begin) * r.step, r.step);
        const typename V::reg lastOut = blend_alpha_full<V>(tail.next(), V::load(r.dst + last));
        typename V::Sampler sampler(r.row, r.cols.pos, r.step);
        for (int32_t i = begin; i < last; i += V::N) {
            TESS_pixel* d = r.dst + i;
            V::store(d, blend_alpha_full<V>(sampler.next(), V::load(d)));
        }
        V::store(r.dst + last, lastOut);
        return;
    }
    int64_t xp = r.cols.pos;
    for (int32_t i = begin; i < end; ++i, xp += r.step)
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

// ---- Decoded PNG rows: red, green, blue, alpha bytes into TESS pixels -------------------------

template <class V>
void swap_red_blue(uint8_t* p, int32_t n) {
    int32_t i = 0;
    for (; i + V::N <= n; i += V::N) {
        TESS_pixel* at = reinterpret_cast<TESS_pixel*>(p + size_t(i) * 4);  // unaligned vector access
        V::store(at, V::swap_bytes_0_2(V::load(at)));
    }
    swap_red_blue_bytes(p + size_t(i) * 4, n - i);
}

// ---- COPY at alpha 1 ----------------------------------------------------------------------------

// Large moves by the processor's string move where it is fast; otherwise rows of whole
// vectors, four at a time, then single pixels.
template <class V>
void copy_rows(const BlitRows& r) {
    if (g_fast_string_moves && string_move_rows(r)) return;
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
