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
    static reg xor_(reg a, reg b) { return _mm_xor_si128(a, b); }
    static reg sub32(reg a, reg b) { return _mm_sub_epi32(a, b); }
    static constexpr bool CAN_PICK = false;  // no variable shuffle before SSSE3
    static reg madd16(reg a, reg b) { return _mm_madd_epi16(a, b); }
    static reg unpacklo16(reg a, reg b) { return _mm_unpacklo_epi16(a, b); }
    static reg unpackhi16(reg a, reg b) { return _mm_unpackhi_epi16(a, b); }
    static reg unpacklo32(reg a, reg b) { return _mm_unpacklo_epi32(a, b); }
    static reg unpackhi32(reg a, reg b) { return _mm_unpackhi_epi32(a, b); }
    static reg packs32(reg a, reg b) { return _mm_packs_epi32(a, b); }
    // The channels of N / 2 pixels at p in 16-bit lanes.
    static reg widen(const TESS_pixel* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const reg*>(p)), zero());
    }
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
    static reg xor_(reg a, reg b) { return _mm256_xor_si256(a, b); }
    static reg sub32(reg a, reg b) { return _mm256_sub_epi32(a, b); }
    // Lane i of the result is lane idx[i] (0..7) of v.
    static constexpr bool CAN_PICK = true;
    static reg pick(reg v, reg idx) { return _mm256_permutevar8x32_epi32(v, idx); }
    // Lane i is lane idx[i] (0..15) of lo followed by hi.
    static reg pick2(reg lo, reg hi, reg idx) {
        return _mm256_blendv_epi8(pick(lo, idx), pick(hi, idx), _mm256_cmpgt_epi32(idx, set1(7)));
    }
    // Within each 128-bit half, as the SSE2 operations are.
    static reg madd16(reg a, reg b) { return _mm256_madd_epi16(a, b); }
    static reg unpacklo16(reg a, reg b) { return _mm256_unpacklo_epi16(a, b); }
    static reg unpackhi16(reg a, reg b) { return _mm256_unpackhi_epi16(a, b); }
    static reg unpacklo32(reg a, reg b) { return _mm256_unpacklo_epi32(a, b); }
    static reg unpackhi32(reg a, reg b) { return _mm256_unpackhi_epi32(a, b); }
    static reg packs32(reg a, reg b) { return _mm256_packs_epi32(a, b); }
    static reg widen(const TESS_pixel* p) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
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

// ---- COPY at alpha 1: rows moved unchanged (the backdrop onto each frame) -------------------

// The registers' own loads and stores, four vectors at a time, and no string move: how fast
// a string move runs depends on the processor and on where the two rows lie. On an AMD EPYC
// (Zen 3) it runs at a tenth of the speed of plain stores when the destination lies 4 to 28
// bytes past the source modulo 4 KB, a distance the heap gives two bitmaps as readily as any
// other, and glibc takes it for moves from 4 KB up to the second-level cache's size (beyond,
// on Intel). Plain stores also leave the frame in the cache for the blends that follow. A
// block that overlaps its own source (a bitmap onto itself) is the C library's move, as on
// the plain C path.
template <class V>
void copy_rows(const BlitRows& r) {
    using reg = typename V::reg;
    const int32_t n = r.w;
    // The pixels from a block's lowest address to its highest, whichever way its rows run.
    const auto lowest = [&](const TESS_pixel* first, ptrdiff_t step) { return step < 0 ? first + (r.h - 1) * step : first; };
    const auto past = [&](const TESS_pixel* first, ptrdiff_t step) { return step < 0 ? first + n : first + (r.h - 1) * step + n; };
    if (lowest(r.dst, r.dstStep) < past(r.src, r.srcStep) && lowest(r.src, r.srcStep) < past(r.dst, r.dstStep)) {
        move_rows(r);
        return;
    }
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t i = 0;
        for (; i + 4 * V::N <= n; i += 4 * V::N) {
            const reg a = V::load(s + i), b = V::load(s + i + V::N);
            const reg c = V::load(s + i + 2 * V::N), e = V::load(s + i + 3 * V::N);
            V::store(d + i, a);
            V::store(d + i + V::N, b);
            V::store(d + i + 2 * V::N, c);
            V::store(d + i + 3 * V::N, e);
        }
        for (; i + V::N <= n; i += V::N) V::store(d + i, V::load(s + i));
        if (i < n && n >= V::N) {
            V::store(d + n - V::N, V::load(s + n - V::N));  // the last group, overlapping the one before
        } else {
            for (; i < n; ++i) d[i] = s[i];
        }
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

// ---- Visible spans of scaled copies ------------------------------------------------------------

// Whole groups of transparent pixels skipped from both ends, then the pixels of the groups
// that end the span one by one. Rows shorter than a group go pixel by pixel.
template <class V>
void visible_span(const TESS_pixel* row, int32_t n, int32_t* begin, int32_t* end) {
    int32_t b = 0, e = n;
    while (b + V::N <= e && V::all_transparent(V::load(row + b))) b += V::N;
    while (e - V::N >= b && V::all_transparent(V::load(row + e - V::N))) e -= V::N;
    trim_transparent(row, &b, &e);
    *begin = b;
    *end = e;
}

// ---- Scaled blits: bilinear sampling ----------------------------------------------------------

// With D = P01 - P00, dP = P10 - P00 and dD = P11 - P10 - P01 + P00, the bilinear sum is
// 65536 * P00 + fx * D + fy * dP + w11 * dD (the weights w00 .. w11 multiplied out). Weights of
// 16 bits do not fit the signed multiply-add, so they enter it less 32768 and the pair's base
// puts back what that takes away. Per channel, with fx' = fx - 32768:
//   base = 16384 * 2 * (P00 + P11) + fx' * D       what every row of the pair shares
//   sum  = base + (fy - 32768) * dP + (w11 - 32768) * dD
// which is the sum above, as 32768 * (dP + dD) = 32768 * (P11 - P01). Every term fits 16 bits
// and the sum lies in 0 .. 2^24 - 1, so the sample is sum >> 16.
//
// Channels go two at a time: the even bytes (blue, red) and the odd ones (green, alpha) of a
// pixel as its 16-bit halves. Unpacking a set with its partner gives, per 32-bit lane, the two
// numbers of one channel of one pixel side by side, ready for the multiply-add: the low unpack
// holds pixels 0, 1 (and 4, 5), the high one pixels 2, 3 (6, 7). A group of N columns keeps
// eight vectors: the pairs (dP, dD) and the bases of the even and odd sets, low and high.
template <class V>
struct BilinearGroup {
    typename V::reg pair[4];  // even low, even high, odd low, odd high
    typename V::reg base[4];
};

// The weights of each 32-bit lane's pixel, for the low and the high unpack.
template <class V>
inline void spread_weights(typename V::reg w, typename V::reg* lo, typename V::reg* hi) {
    *lo = V::unpacklo32(w, w);
    *hi = V::unpackhi32(w, w);
}

// The pixels of c0 and c1 for a strip. Where a group's columns lie within eight source pixels
// (magnification, the usual case) or sixteen (reductions of up to two) they come from one or
// two loads of those, rearranged by V::pick; other groups load pixel by pixel.
template <class V>
void bilinear_gather(TESS_pixel* left, TESS_pixel* right, const TESS_pixel* row,
                     const BilinearColumns& c) {
    if constexpr (V::CAN_PICK && V::N == SCALE_GROUP) {
        using reg = typename V::reg;
        const int32_t *c0 = c.c0, *c1 = c.c1, *run = c.run, *runPixels = c.runPixels;
        const TESS_pixel* pick0 = reinterpret_cast<const TESS_pixel*>(c.pick0);
        const TESS_pixel* pick1 = reinterpret_cast<const TESS_pixel*>(c.pick1);
        const int32_t n = c.n, groups = group_count(V::N, n);
        for (int32_t g = 0; g < groups; ++g) {
            const int32_t k = group_start(g, V::N, n);
            if (run[g] >= 0 && runPixels[g] == V::N) {
                const reg pixels = V::load(row + run[g]);
                V::store(left + k, V::pick(pixels, V::load(pick0 + k)));
                V::store(right + k, V::pick(pixels, V::load(pick1 + k)));
            } else if (run[g] >= 0) {
                const reg lo = V::load(row + run[g]), hi = V::load(row + run[g] + V::N);
                V::store(left + k, V::pick2(lo, hi, V::load(pick0 + k)));
                V::store(right + k, V::pick2(lo, hi, V::load(pick1 + k)));
            } else {
                for (int32_t q = k; q < k + V::N; ++q) {
                    left[q] = row[c0[q]];
                    right[q] = row[c1[q]];
                }
            }
        }
    } else {
        bilinear_gather_pixels(left, right, row, c);
    }
}

// One group of a row pair, from both rows' gathered pixels.
template <class V>
inline BilinearGroup<V> pair_group(const TESS_pixel* const rows[4], const int32_t* fxs) {
    using reg = typename V::reg;
    BilinearGroup<V> g;
    const reg even = V::set1(0x00FF00FFu);
    const reg fx = V::load(reinterpret_cast<const TESS_pixel*>(fxs));
    // 16384 in the low half, fx - 32768 in the high one.
    const reg wx = V::or_(V::set1(16384u), V::template slli32<16>(V::xor_(fx, V::set1(0x8000u))));
    reg wlo, whi;
    spread_weights<V>(wx, &wlo, &whi);
    const reg p[4] = {V::load(rows[0]), V::load(rows[1]), V::load(rows[2]), V::load(rows[3])};
    for (int32_t set = 0; set < 2; ++set) {
        reg a[4];
        for (int32_t q = 0; q < 4; ++q) a[q] = set == 0 ? V::and_(p[q], even) : V::template srli16<8>(p[q]);
        const reg d = V::sub16(a[1], a[0]);
        const reg dP = V::sub16(a[2], a[0]);
        const reg dD = V::sub16(V::sub16(a[3], a[2]), d);
        const reg s = V::add16(a[0], a[3]);
        const reg s2 = V::add16(s, s);
        g.pair[2 * set] = V::unpacklo16(dP, dD);
        g.pair[2 * set + 1] = V::unpackhi16(dP, dD);
        g.base[2 * set] = V::madd16(V::unpacklo16(s2, d), wlo);
        g.base[2 * set + 1] = V::madd16(V::unpackhi16(s2, d), whi);
    }
    return g;
}

// The samples of one group at vertical fraction fy, from its pair.
template <class V>
inline typename V::reg row_group(const BilinearGroup<V>& g, const int32_t* fxs, uint32_t fy) {
    using reg = typename V::reg;
    // fy - 32768 in the low half; the high half's w11 = (fx * fy) >> 16 less 32768.
    const reg fx = V::template slli32<16>(V::load(reinterpret_cast<const TESS_pixel*>(fxs)));
    const reg w = V::xor_(V::mulhi_u16(fx, V::set1(fy << 16)), V::set1(0x80000000u | (fy ^ 0x8000u)));
    reg wlo, whi;
    spread_weights<V>(w, &wlo, &whi);
    reg set[2];
    for (int32_t q = 0; q < 2; ++q) {
        const reg lo = V::template srli32<16>(V::add32(V::madd16(g.pair[2 * q], wlo), g.base[2 * q]));
        const reg hi = V::template srli32<16>(V::add32(V::madd16(g.pair[2 * q + 1], whi), g.base[2 * q + 1]));
        set[q] = V::packs32(lo, hi);  // back in pixel order, a channel per 16-bit half
    }
    return V::or_(set[0], V::template slli32<8>(set[1]));
}

// Stores a group's samples. Only a strip narrower than a vector has columns past n, padding
// that is not stored.
template <class V>
inline void store_group(TESS_pixel* out, int32_t k, int32_t n, typename V::reg px) {
    if (k + V::N <= n) {
        V::store(out + k, px);
        return;
    }
    alignas(32) TESS_pixel tail[V::N];
    V::store(tail, px);
    for (int32_t i = k; i < n; ++i) out[i] = tail[i - k];
}

template <class V>
void bilinear_pair(void* pair, const TESS_pixel* const rows[4], const BilinearColumns& c) {
    BilinearGroup<V>* g = static_cast<BilinearGroup<V>*>(pair);
    const int32_t n = c.n, groups = group_count(V::N, n);
    const int32_t* fx = c.fx;
    const TESS_pixel* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    for (int32_t q = 0; q < groups; ++q) {
        const int32_t k = group_start(q, V::N, n);
        const TESS_pixel* const at[4] = {r[0] + k, r[1] + k, r[2] + k, r[3] + k};
        g[q] = pair_group<V>(at, fx + k);
    }
}

template <class V>
void bilinear_row(TESS_pixel* out, const void* pair, const BilinearColumns& c, uint32_t fy) {
    const BilinearGroup<V>* g = static_cast<const BilinearGroup<V>*>(pair);
    const int32_t n = c.n, groups = group_count(V::N, n);
    const int32_t* fx = c.fx;
    for (int32_t q = 0; q < groups; ++q) {
        const int32_t k = group_start(q, V::N, n);
        store_group<V>(out, k, n, row_group<V>(g[q], fx + k, fy));
    }
}

// A row pair that serves one destination row: its groups never leave the registers.
template <class V>
void bilinear_row_once(TESS_pixel* out, const TESS_pixel* const rows[4], const BilinearColumns& c,
                       uint32_t fy) {
    const int32_t n = c.n, groups = group_count(V::N, n);
    const int32_t* fx = c.fx;
    const TESS_pixel* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    for (int32_t q = 0; q < groups; ++q) {
        const int32_t k = group_start(q, V::N, n);
        const TESS_pixel* const at[4] = {r[0] + k, r[1] + k, r[2] + k, r[3] + k};
        store_group<V>(out, k, n, row_group<V>(pair_group<V>(at, fx + k), fx + k, fy));
    }
}

// ---- Scaled blits: reduction sampling -----------------------------------------------------------

// Per source column of the strip's runs, channel sums over kernel rows in 16-bit lanes: for the
// box every row's pixel (at most 25 * 255), else sums[b] with the two rows b away from the
// centre (sums[0] the centre row alone). A run of fewer than N / 2 columns goes to the narrower
// vector; a run's last chunk overlaps the one before instead of reading past the run.
template <class V, int32_t Count>
void column_sums(uint16_t (*out)[4], const TESS_pixel* const* rows, const ColumnRun& run) {
    constexpr int32_t C = V::N / 2;  // columns per widened vector
    if constexpr (V::N > 4) {
        if (run.n < C) return column_sums<typename V::Narrower, Count>(out, rows, run);
    }
    const TESS_pixel* r[Count > 0 ? Count : 1];
    for (int32_t q = 0; q < Count; ++q) r[q] = rows[q] + run.src;
    uint16_t (*o)[4] = out + run.at;
    const int32_t n = run.n;
    auto chunk = [&](int32_t at) {
        typename V::reg acc = V::zero();
        for (int32_t q = 0; q < Count; ++q) acc = V::add16(acc, V::widen(r[q] + at));
        V::store(reinterpret_cast<TESS_pixel*>(o[at]), acc);
    };
    int32_t x = 0;
    for (; x + 2 * C <= n; x += 2 * C) {
        chunk(x);
        chunk(x + C);
    }
    if (x + C <= n) {
        chunk(x);
        x += C;
    }
    if (x < n) chunk(n - C);  // the last columns, overlapping the chunk before
}

// The column sums of `count` rows (0 to 5) over every run, the row loop unrolled for each count.
template <class V>
void column_sums_of(uint16_t (*out)[4], const TESS_pixel* const* rows, int32_t count,
                    const ReduceColumns& c) {
    auto each = [&](auto sums) {
        for (int32_t u = 0; u < c.runCount; ++u) sums(out, rows, c.runs[u]);
    };
    switch (count) {
    case 0: each(column_sums<V, 0>); break;
    case 1: each(column_sums<V, 1>); break;
    case 2: each(column_sums<V, 2>); break;
    case 3: each(column_sums<V, 3>); break;
    case 4: each(column_sums<V, 4>); break;
    default: each(column_sums<V, 5>); break;
    }
}

// One pixel's four 32-bit channel sums divided into a pixel: the multiplier on the even and
// the odd lanes apart.
inline TESS_pixel divide_one(__m128i s, const Divisor& d) {
    const __m128i m = _mm_set1_epi32(static_cast<int>(d.m));
    const __m128i k = _mm_cvtsi32_si128(d.k);
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(s, m), k);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(s, 32), m), k);
    const __m128i q = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    const __m128i words = _mm_packs_epi32(q, q);
    return static_cast<TESS_pixel>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}

inline __m128i load_entry(const uint16_t* e) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(e)); }

// A Divisor16 in registers, read once per row.
struct Divide16 {
    __m128i m, pre, post;
    explicit Divide16(const Divisor16& d)
        : m(_mm_set1_epi16(static_cast<short>(d.m))), pre(_mm_cvtsi32_si128(d.pre)), post(_mm_cvtsi32_si128(d.post)) {}
    // Two pixels' window sums (16-bit lanes) divided: eight bytes.
    __m128i operator()(__m128i sums) const {
        const __m128i q = _mm_srl_epi16(_mm_mulhi_epu16(_mm_sll_epi16(sums, pre), m), post);
        return _mm_packus_epi16(q, q);
    }
};

// The channels of one pixel in the low four 16-bit lanes.
inline __m128i widen_one(TESS_pixel p) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p)), _mm_setzero_si128());
}

// One pixel's box: the channel sums of columns c - R .. c + R over the rows (at most
// 25 * 255), in the low 64 bits. Each row is widened in pairs of columns from c - R, and once
// more in the pair ending exactly at c + R for the last column, so that nothing past the
// kernel is read.
template <int32_t R, int32_t Count>
inline __m128i box_window(const TESS_pixel* const* rows, int32_t c) {
    __m128i s = V128::widen(rows[0] + c - R);
    if constexpr (R == 2) s = _mm_add_epi16(s, V128::widen(rows[0] + c));
    __m128i last = V128::widen(rows[0] + c + R - 1);
    for (int32_t q = 1; q < Count; ++q) {
        s = _mm_add_epi16(s, V128::widen(rows[q] + c - R));
        if constexpr (R == 2) s = _mm_add_epi16(s, V128::widen(rows[q] + c));
        last = _mm_add_epi16(last, V128::widen(rows[q] + c + R - 1));
    }
    return _mm_add_epi16(_mm_add_epi16(s, _mm_srli_si128(s, 8)), _mm_srli_si128(last, 8));
}

// Columns first .. first + 7 of each row, two rows at a time: their bytes interleaved and added
// pairwise by the multiply-add with ones, which also widens them. The channel sums of columns
// b .. e - 1 of the eight (all others masked off) come back in the low 64 bits.
template <int32_t Count>
inline __m256i box_columns_wide(const TESS_pixel* const* rows, int32_t first, __m256i keepLo, __m256i keepHi) {
    const __m256i ones = _mm256_set1_epi8(1);
    __m256i lo = _mm256_setzero_si256(), hi = lo;  // columns 0, 1 | 4, 5 and 2, 3 | 6, 7
    int32_t q = 0;
    for (; q + 2 <= Count; q += 2) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[q] + first));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[q + 1] + first));
        lo = _mm256_add_epi16(lo, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), ones));
        hi = _mm256_add_epi16(hi, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), ones));
    }
    if (q < Count) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[q] + first));
        lo = _mm256_add_epi16(lo, _mm256_unpacklo_epi8(a, _mm256_setzero_si256()));
        hi = _mm256_add_epi16(hi, _mm256_unpackhi_epi8(a, _mm256_setzero_si256()));
    }
    return _mm256_add_epi16(_mm256_and_si256(lo, keepLo), _mm256_and_si256(hi, keepHi));
}

// The same, folded: the sums in the low 64 bits.
template <int32_t Count>
inline __m128i box_columns(const TESS_pixel* const* rows, int32_t first, __m256i keepLo, __m256i keepHi) {
    const __m256i s = box_columns_wide<Count>(rows, first, keepLo, keepHi);
    const __m128i t = _mm_add_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    return _mm_add_epi16(t, _mm_srli_si128(t, 8));
}

// The masks that keep columns b .. e - 1 of eight, for box_columns.
inline void column_masks(int32_t b, int32_t e, __m256i* keepLo, __m256i* keepHi) {
    const __m256i lo = _mm256_setr_epi64x(0, 1, 4, 5), hi = _mm256_setr_epi64x(2, 3, 6, 7);
    const __m256i from = _mm256_set1_epi64x(b - 1), to = _mm256_set1_epi64x(e);
    *keepLo = _mm256_and_si256(_mm256_cmpgt_epi64(lo, from), _mm256_cmpgt_epi64(to, lo));
    *keepHi = _mm256_and_si256(_mm256_cmpgt_epi64(hi, from), _mm256_cmpgt_epi64(to, hi));
}

// Two pixels' 5 x 5 boxes from columns a - 2 .. a + 5 and b - 2 .. b + 5: a's sums in the low
// 64 bits, b's in the high ones, both folded at once.
template <int32_t Count>
inline __m128i box_window_rows(const TESS_pixel* const* rows, int32_t a, int32_t b) {
    const __m256i keepLo = _mm256_setr_epi32(-1, -1, -1, -1, -1, -1, 0, 0);
    const __m256i keepHi = _mm256_setr_epi32(-1, -1, -1, -1, 0, 0, 0, 0);
    const __m256i sa = box_columns_wide<Count>(rows, a - 2, keepLo, keepHi);
    const __m256i sb = box_columns_wide<Count>(rows, b - 2, keepLo, keepHi);
    const __m256i s = _mm256_add_epi16(_mm256_permute2x128_si256(sa, sb, 0x20), _mm256_permute2x128_si256(sa, sb, 0x31));
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_add_epi16(s, _mm256_srli_si256(s, 8)), 0x08));
}

// Two pixels' boxes: the low 64 bits for column a's, the high ones for column b's.
template <class V, int32_t R, int32_t Count>
inline __m128i box_windows(const TESS_pixel* const* rows, int32_t a, int32_t b) {
    if constexpr (R == 2 && V::N == 8) {
        // Per pixel and row: columns c - 2 .. c + 1 and c - 1 .. c + 2, four at a time.
        __m256i fa = V::widen(rows[0] + a - 2), la = V::widen(rows[0] + a - 1);
        __m256i fb = V::widen(rows[0] + b - 2), lb = V::widen(rows[0] + b - 1);
        for (int32_t q = 1; q < Count; ++q) {
            fa = V::add16(fa, V::widen(rows[q] + a - 2));
            la = V::add16(la, V::widen(rows[q] + a - 1));
            fb = V::add16(fb, V::widen(rows[q] + b - 2));
            lb = V::add16(lb, V::widen(rows[q] + b - 1));
        }
        // Both pixels' halves side by side: a in the low 128 bits, b in the high ones.
        const __m256i f = _mm256_add_epi16(_mm256_permute2x128_si256(fa, fb, 0x20),
                                           _mm256_permute2x128_si256(fa, fb, 0x31));
        const __m256i last = _mm256_srli_si256(_mm256_permute2x128_si256(la, lb, 0x31), 8);
        const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(f, _mm256_srli_si256(f, 8)), last);
        return _mm256_castsi256_si128(_mm256_permute4x64_epi64(sum, 0x08));
    } else {
        return _mm_unpacklo_epi64(box_window<R, Count>(rows, a), box_window<R, Count>(rows, b));
    }
}

template <class V, int32_t R>
inline __m128i box_from_sums(const uint16_t (*e)[4]) {
    __m128i s;
    if constexpr (R == 2 && V::N == 8) {
        const __m256i four = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e));
        s = _mm_add_epi16(_mm256_castsi256_si128(four), _mm256_extracti128_si256(four, 1));
    } else {
        s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e));
        if constexpr (R == 2) s = _mm_add_epi16(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + 2)));
    }
    return _mm_add_epi16(_mm_add_epi16(s, _mm_srli_si128(s, 8)), load_entry(e[2 * R]));
}

// Two pixels' boxes from the column sums, e and f the first of each one's 2R + 1 columns: the
// low 64 bits for e's, the high ones for f's.
template <class V, int32_t R>
inline __m128i boxes_from_sums(const uint16_t (*e)[4], const uint16_t (*f)[4]) {
    if constexpr (R == 2 && V::N == 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(f));
        const __m256i s = _mm256_add_epi16(_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31));
        const __m128i four = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_add_epi16(s, _mm256_srli_si256(s, 8)), 0x08));
        return _mm_add_epi16(four, _mm_unpacklo_epi64(load_entry(e[4]), load_entry(f[4])));
    } else {
        return _mm_unpacklo_epi64(box_from_sums<V, R>(e), box_from_sums<V, R>(f));
    }
}

// Boxes are summed two pixels to a division. Where kernels overlap (the runs are fewer than
// the columns) each source column's sum over the rows is found once for all the kernels that
// hold it; elsewhere each pixel's window is summed on its own.
// The columns whose kernel reaches past the left or the right edge, one by one.
inline void reduce_edges(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    for (int32_t k = 0; k < c.innerBegin; ++k) out[k] = reduce_clipped(c, r, k);
    for (int32_t k = c.innerEnd; k < c.n; ++k) out[k] = reduce_clipped(c, r, k);
}

// Boxes are summed two pixels to a division. Where kernels overlap (the runs are fewer than
// the columns) each source column's sum over the rows is found once for all the kernels that
// hold it; elsewhere each pixel's window is summed on its own.
template <class V, int32_t R, int32_t Count>
void box_row(TESS_pixel* out, const ReduceColumns& c, const TESS_pixel* const* rowList, const Divisor16& d) {
    const int32_t end = c.innerEnd;
    const Divide16 divide(d);
    const TESS_pixel* rows[Count];
    for (int32_t q = 0; q < Count; ++q) rows[q] = rowList[q];
    int32_t k = c.innerBegin;
    if (c.runs && c.runCount < end - k) {
        alignas(32) uint16_t sums[REDUCE_ENTRIES][4];
        for (int32_t u = 0; u < c.runCount; ++u) column_sums<V, Count>(sums, rows, c.runs[u]);
        const int32_t* at = c.at;
        for (; k + 2 <= end; k += 2)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), divide(boxes_from_sums<V, R>(sums + at[k], sums + at[k + 1])));
        if (k < end) out[k] = static_cast<TESS_pixel>(_mm_cvtsi128_si32(divide(box_from_sums<V, R>(sums + at[k]))));
        return;
    }
    const int32_t* cx = c.cx;
    if constexpr (R == 2 && V::N == 8) {
        int32_t wide = end;  // kernels whose eight columns lie inside the row
        while (wide > k && cx[wide - 1] + 5 >= c.width) --wide;
        for (; k + 2 <= wide; k += 2)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), divide(box_window_rows<Count>(rows, cx[k], cx[k + 1])));
    }
    for (; k + 2 <= end; k += 2)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), divide(box_windows<V, R, Count>(rows, cx[k], cx[k + 1])));
    if (k < end) out[k] = static_cast<TESS_pixel>(_mm_cvtsi128_si32(divide(box_window<R, Count>(rows, cx[k]))));
}

// A box cut by the left or the right edge, divided by its count of cells. Its columns are the
// first or the last m of the 2R columns at the edge, widened together with the others masked
// off; a source too narrow for that has its cells added one by one.
template <class V, int32_t Count>
inline TESS_pixel box_clipped(const ReduceColumns& c, const TESS_pixel* const* rows, int32_t k,
                              int32_t radius) {
    const int32_t count = Count;
    const int32_t cx = c.cx[k];
    const int32_t x0 = cx - radius < c.left ? c.left : cx - radius;
    const int32_t x1 = cx + radius >= c.right ? c.right - 1 : cx + radius;
    const int32_t m = x1 - x0 + 1, span = 2 * radius;
    __m128i s = _mm_setzero_si128();
    // Eight columns from the left edge, or ending at the right one, when the row holds them.
    const int32_t first = x0 == c.left ? c.left : c.right - 8;
    bool done = false;
    if constexpr (V::N == 8) {
        if (first >= 0 && first + 8 <= c.width && x0 >= first && x1 < first + 8) {
            __m256i keepLo, keepHi;
            column_masks(x0 - first, x1 - first + 1, &keepLo, &keepHi);
            s = box_columns<Count>(rows, first, keepLo, keepHi);
            done = true;
        }
    }
    if (done) {
    } else if (c.right - c.left >= span && (x0 == c.left) != (x1 == c.right - 1)) {
        const int32_t first = x0 == c.left ? c.left : c.right - span;  // the edge's 2R columns
        __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
        for (int32_t q = 0; q < count; ++q) {
            lo = _mm_add_epi16(lo, V128::widen(rows[q] + first));
            if (radius == 2) hi = _mm_add_epi16(hi, V128::widen(rows[q] + first + 2));
        }
        // Columns first .. first + 2R - 1 in 64-bit lanes of lo, hi; keep those from x0 to x1.
        alignas(16) uint16_t col[4][4];
        _mm_store_si128(reinterpret_cast<__m128i*>(col[0]), lo);
        _mm_store_si128(reinterpret_cast<__m128i*>(col[2]), hi);
        for (int32_t x = x0; x <= x1; ++x) s = _mm_add_epi16(s, load_entry(col[x - first]));
    } else {
        for (int32_t q = 0; q < count; ++q)
            for (int32_t x = x0; x <= x1; ++x) s = _mm_add_epi16(s, widen_one(rows[q][x]));
    }
    return static_cast<TESS_pixel>(_mm_cvtsi128_si32(Divide16(BOX_DIVISORS.of[count * m])(s)));
}

template <class V, int32_t R>
void reduce_box_rows(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    const TESS_pixel* const* rows = r.inside;
    const int32_t count = r.count;
    auto row = [&](auto rowCount) {
        constexpr int32_t Count = decltype(rowCount)::value;
        for (int32_t k = 0; k < c.innerBegin; ++k) out[k] = box_clipped<V, Count>(c, rows, k, R);
        for (int32_t k = c.innerEnd; k < c.n; ++k) out[k] = box_clipped<V, Count>(c, rows, k, R);
        box_row<V, R, Count>(out, c, rows, r.div16);
    };
    switch (count) {  // the centre row is always there
    case 1: row(std::integral_constant<int32_t, 1>()); break;
    case 2: row(std::integral_constant<int32_t, 2>()); break;
    case 3: row(std::integral_constant<int32_t, 3>()); break;
    case 4: row(std::integral_constant<int32_t, 4>()); break;
    default: row(std::integral_constant<int32_t, 5>()); break;
    }
}

template <class V>
void reduce_box(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    if (r.kernel->radius == 1) {
        reduce_box_rows<V, 1>(out, c, r);
    } else {
        reduce_box_rows<V, 2>(out, c, r);
    }
}

// Weighted kernels: the cells grouped by squared distance d2 from the centre (same d2, same
// weight), each group's channels summed in 16 bits (at most 8 cells), then weighted in pairs
// by the multiply-add with weights split as 256 * hi + lo:
//   sum = 65536 * centre + 256 * sum(hi * group) + sum(lo * group)
template <int32_t R>
inline __m128i weighted_sum(const uint16_t (*const s[3])[4], int32_t at, const ReduceKernel& kn) {
    const __m128i zero = _mm_setzero_si128();
    auto e = [&](int32_t b, int32_t dx) { return load_entry(s[b][at + R + dx]); };
    auto both = [&](int32_t b, int32_t dx) { return _mm_add_epi16(e(b, -dx), e(b, dx)); };
    const __m128i centre = e(0, 0);
    __m128i group[5];
    group[0] = _mm_add_epi16(both(0, 1), e(1, 0));  // d2 = 1
    group[1] = both(1, 1);                           // d2 = 2
    int32_t groups = 2;
    if constexpr (R == 2) {
        group[2] = _mm_add_epi16(both(0, 2), e(2, 0));                  // d2 = 4
        group[3] = _mm_add_epi16(both(1, 2), both(2, 1));               // d2 = 5
        group[4] = both(2, 2);                                          // d2 = 8
        groups = 5;
    }
    __m128i hi = zero, lo = zero;
    for (int32_t g = 0; g < groups; g += 2) {
        const __m128i other = g + 1 < groups ? group[g + 1] : zero;
        const __m128i pairs = _mm_unpacklo_epi16(group[g], other);
        const int16_t h1 = g + 1 < groups ? kn.hi[g + 1] : 0, l1 = g + 1 < groups ? kn.lo[g + 1] : 0;
        hi = _mm_add_epi32(hi, _mm_madd_epi16(pairs, _mm_set1_epi32(int(uint16_t(kn.hi[g])) | int(h1) << 16)));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(pairs, _mm_set1_epi32(int(uint16_t(kn.lo[g])) | int(l1) << 16)));
    }
    return _mm_add_epi32(_mm_add_epi32(_mm_unpacklo_epi16(zero, centre), _mm_slli_epi32(hi, 8)), lo);
}

template <class V, int32_t R>
void reduce_weighted_rows(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    reduce_edges(out, c, r);
    alignas(32) uint16_t sums[R + 1][REDUCE_ENTRIES][4];
    for (int32_t b = 0; b <= R; ++b) {
        const TESS_pixel* rows[2];
        int32_t count = 0;
        if (r.rows[R - b]) rows[count++] = r.rows[R - b];
        if (b > 0 && r.rows[R + b]) rows[count++] = r.rows[R + b];
        column_sums_of<V>(sums[b], rows, count, c);
    }
    const uint16_t (*s[3])[4] = {sums[0], sums[1], sums[R > 1 ? 2 : 1]};
    for (int32_t k = c.innerBegin; k < c.innerEnd; ++k)
        out[k] = divide_one(weighted_sum<R>(s, c.at[k], *r.kernel), r.div);
}

template <class V>
void reduce_weighted(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    if (r.kernel->radius == 1) {
        reduce_weighted_rows<V, 1>(out, c, r);
    } else {
        reduce_weighted_rows<V, 2>(out, c, r);
    }
}
