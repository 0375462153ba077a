// SPDX-License-Identifier: GPL-3.0-or-later
// The lane kernel's body, compiled once per instruction set by fit_lanes_*.cpp. It has internal
// linkage throughout, so no copy built for a wider instruction set can stand in for another.
//
// Sixteen candidates go through the points together, each lane keeping its own running sum. On
// ascending x every lane walks its own current segment; the points where some lane moves on,
// lies left of its first segment or beyond its last vertex, or hands its value to later
// candidates take the slow step.
//
// The quotient (t - x) / dx is replaced by (t - x) * (1 / dx): the value then lies within a few
// double roundings of the exact one. Rounding both ends of that margin to single proves the
// result when they agree; the lanes where they do not are divided exactly.
#include "core/model/fit_lanes.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace tolvenar::lanes {
namespace {

typedef double vd __attribute__((vector_size(kLanes * 8)));
typedef float vf __attribute__((vector_size(kLanes * 4)));
typedef std::int64_t vl __attribute__((vector_size(kLanes * 8)));
typedef std::int32_t vi __attribute__((vector_size(kLanes * 4)));

// Sixteen double roundings of the value: the reciprocal, the products and the sum take five,
// and rounding the margin's ends takes two; this is a wide bound. The absolute part covers
// results near zero, where a double rounding is no longer relative.
constexpr double kRelative = 0x1p-49;
constexpr double kAbsolute = 0x1p-1000;
constexpr std::int64_t kMagnitude = 0x7fffffffffffffff;

inline bool any(vi m)
{
#if defined(__AVX512F__)
    const __m512i v = (__m512i)m;
    return _mm512_test_epi32_mask(v, v) != 0;
#elif defined(__AVX2__)
    typedef std::int32_t v8 __attribute__((vector_size(32)));
    const v8 half = __builtin_shufflevector(m, m, 0, 1, 2, 3, 4, 5, 6, 7) |
                    __builtin_shufflevector(m, m, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m256i v = (__m256i)half;
    return !_mm256_testz_si256(v, v);
#elif defined(__SSE2__)
    typedef std::int32_t v4 __attribute__((vector_size(16)));
    const v4 quarter = __builtin_shufflevector(m, m, 0, 1, 2, 3) |
                       __builtin_shufflevector(m, m, 4, 5, 6, 7) |
                       __builtin_shufflevector(m, m, 8, 9, 10, 11) |
                       __builtin_shufflevector(m, m, 12, 13, 14, 15);
    return _mm_movemask_epi8((__m128i)quarter) != 0;
#else
    for (int l = 0; l < kLanes; ++l)
        if (m[l] != 0)
            return true;
    return false;
#endif
}

// The lanes whose segment ends left of t, one bit each.
[[gnu::always_inline]] inline unsigned ending_before(vd end, double t)
{
#if defined(__AVX512F__)
    typedef double v8 __attribute__((vector_size(64)));
    const __m512d at = _mm512_set1_pd(t);
    const v8 low = __builtin_shufflevector(end, end, 0, 1, 2, 3, 4, 5, 6, 7);
    const v8 high = __builtin_shufflevector(end, end, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm512_cmp_pd_mask((__m512d)low, at, _CMP_LT_OQ) |
           (static_cast<unsigned>(_mm512_cmp_pd_mask((__m512d)high, at, _CMP_LT_OQ)) << 8);
#else
    unsigned bits = 0;
    for (int l = 0; l < kLanes; ++l)
        bits |= static_cast<unsigned>(end[l] < t) << l;
    return bits;
#endif
}

// The smallest of the lanes.
[[gnu::always_inline]] inline double smallest(vd v)
{
    typedef double v8 __attribute__((vector_size(64)));
    typedef double v4 __attribute__((vector_size(32)));
    typedef double v2 __attribute__((vector_size(16)));
    const v8 a = __builtin_shufflevector(v, v, 0, 1, 2, 3, 4, 5, 6, 7);
    const v8 b = __builtin_shufflevector(v, v, 8, 9, 10, 11, 12, 13, 14, 15);
    const v8 m8 = a < b ? a : b;
    const v4 c = __builtin_shufflevector(m8, m8, 0, 1, 2, 3);
    const v4 d = __builtin_shufflevector(m8, m8, 4, 5, 6, 7);
    const v4 m4 = c < d ? c : d;
    const v2 e = __builtin_shufflevector(m4, m4, 0, 1);
    const v2 f = __builtin_shufflevector(m4, m4, 2, 3);
    const v2 m2 = e < f ? e : f;
    return m2[0] < m2[1] ? m2[0] : m2[1];
}

// The segment each lane is on, as vectors for the values and as numbers for the rest.
struct Lanes {
    vd x, reciprocal, dy, y, end;
    vd margin;  // kRelative * (|y| + |dy|) + kAbsolute: the value lies within |y| + |dy|
};
struct Current {
    double x[kLanes], dx[kLanes], dy[kLanes], y[kLanes], end[kLanes];
    alignas(64) double fast_from[kLanes];  // left of it the margin above does not hold
    int segment[kLanes];       // 5: beyond the last vertex
};

[[gnu::always_inline]] inline vd magnitude(vd v)
{
    return (vd)((vl)v & kMagnitude);
}

// Lane l onto segment k. On a segment past the first, t lies right of its start and at or left
// of its end, so the value lies between its two levels; on the first, t may lie left of it.
[[gnu::always_inline]] inline void enter(Lanes& v, Current& c, const LaneSegments& s, int l,
                                         int k)
{
    c.segment[l] = k;
    if (k == 5) {  // a value of 0 that the caller replaces
        v.x[l] = v.reciprocal[l] = v.dy[l] = v.y[l] = v.margin[l] = 0.0;
        c.x[l] = c.dy[l] = c.y[l] = 0.0;
        c.dx[l] = 1.0;
        v.end[l] = c.end[l] = HUGE_VAL;
        c.fast_from[l] = -HUGE_VAL;
        return;
    }
    const double dx = s.dx[k][l];
    const double dy = s.dy[k][l];
    // A difference beyond the single range faults in the reference once a point lies here.
    const bool finite = std::fabs(dx) <= 0x1p1000 && std::fabs(dy) <= 0x1p1000;
    const double y = finite ? s.start_y[k][l] : NAN;
    v.x[l] = c.x[l] = s.start_x[k][l];
    c.dx[l] = dx;
    v.reciprocal[l] = 1.0 / dx;
    v.dy[l] = c.dy[l] = dy;
    v.y[l] = c.y[l] = y;
    v.margin[l] = kRelative * (std::fabs(y) + std::fabs(dy)) + kAbsolute;
    v.end[l] = c.end[l] = s.end[k][l];
    c.fast_from[l] = k > 0 ? -HUGE_VAL : (c.x[l] <= c.end[l] ? c.x[l] : HUGE_VAL);
}

[[gnu::noinline, gnu::cold]] void divide_exactly(vf& value, vi unsure, double t, const Current& c)
{
    for (int l = 0; l < kLanes; ++l)
        if (unsure[l] != 0)
            value[l] = static_cast<float>(c.y[l] + c.dy[l] * ((t - c.x[l]) / c.dx[l]));
}

[[gnu::always_inline]] inline vf values(double t, const Lanes& v, vd margin, const Current& c)
{
    const vd value = v.y + v.dy * ((t - v.x) * v.reciprocal);
    vf high = __builtin_convertvector(value + margin, vf);
    const vf low = __builtin_convertvector(value - margin, vf);
    const vi unsure = high != low;
    if (any(unsure)) [[unlikely]]
        divide_exactly(high, unsure, t, c);
    return high;
}

// Anywhere: the margin from the value itself.
[[gnu::always_inline]] inline vf values_anywhere(double t, const Lanes& v, const Current& c)
{
    const vd value = v.y + v.dy * ((t - v.x) * v.reciprocal);
    return values(t, v, (magnitude(value) + magnitude(v.y)) * kRelative + kAbsolute, c);
}

// Lanes 0..7 and 8..15 in double. The running sums are held so, each a single value: the
// rounding to single and back is then all that lies between one point's sum and the next, and
// the halves do not wait for each other.
typedef double vh __attribute__((vector_size(kLanes * 4)));
struct Halves {
    vh low = {}, high = {};
};

// sum + d^2 (times the weight w when weighted) in double, rounded to single.
template <bool weighted>
[[gnu::always_inline]] inline vh add_square(vh sum, vh d, double w)
{
    const vh exact = weighted ? sum + d * d * w : sum + d * d;
#if defined(__AVX512F__)
    static_assert(sizeof(vh) == sizeof(__m512d));
    return (vh)_mm512_maskz_cvtps_pd(0xff, _mm512_maskz_cvtpd_ps(0xff, (__m512d)exact));
#else
    typedef float vhf __attribute__((vector_size(kLanes * 2)));
    return __builtin_convertvector(__builtin_convertvector(exact, vhf), vh);
#endif
}

template <bool weighted>
[[gnu::always_inline]] inline Halves add_square(Halves sum, vf d, double w)
{
    const vd wide = __builtin_convertvector(d, vd);
    return {add_square<weighted>(sum.low,
                                 __builtin_shufflevector(wide, wide, 0, 1, 2, 3, 4, 5, 6, 7), w),
            add_square<weighted>(
                sum.high, __builtin_shufflevector(wide, wide, 8, 9, 10, 11, 12, 13, 14, 15), w)};
}

// The fast step of one point: the lanes' values on their current segments, proved by the
// margin, squared into the sums (times the point's weight w when weighted). With AVX-512 the
// two halves stay apart throughout.
template <bool weighted>
[[gnu::always_inline]] inline Halves add_point(Halves sum, float observed, double w, double t,
                                               const Lanes& v, const Halves& margin,
                                               const Current& c)
{
#if defined(__AVX512F__)
    const vd value = v.y + v.dy * ((t - v.x) * v.reciprocal);
    const vh value_low = __builtin_shufflevector(value, value, 0, 1, 2, 3, 4, 5, 6, 7);
    const vh value_high = __builtin_shufflevector(value, value, 8, 9, 10, 11, 12, 13, 14, 15);
    const vh margin_low = margin.low, margin_high = margin.high;
    const auto single = [](vh x) { return _mm512_maskz_cvtpd_ps(0xff, (__m512d)x); };
    const __m256 high_low = single(value_low + margin_low);
    const __m256 high_high = single(value_high + margin_high);
    const unsigned unsure =
        _mm256_cmp_ps_mask(high_low, single(value_low - margin_low), _CMP_NEQ_UQ) |
        static_cast<unsigned>(
            _mm256_cmp_ps_mask(high_high, single(value_high - margin_high), _CMP_NEQ_UQ))
            << 8;
    if (unsure != 0) [[unlikely]]
        return add_square<weighted>(sum, observed - values(t, v, v.margin, c), w);
    const __m256 seen = _mm256_set1_ps(observed);
    const auto wide = [](__m256 d) { return (vh)_mm512_maskz_cvtps_pd(0xff, d); };
    return {add_square<weighted>(sum.low, wide(_mm256_sub_ps(seen, high_low)), w),
            add_square<weighted>(sum.high, wide(_mm256_sub_ps(seen, high_high)), w)};
#elif defined(__AVX2__)
    // In quarters of four lanes, the width of a register: wider vectors are split lane by lane.
    typedef double vq __attribute__((vector_size(32)));
    const vd value = v.y + v.dy * ((t - v.x) * v.reciprocal);
    const vq value_q[4] = {__builtin_shufflevector(value, value, 0, 1, 2, 3),
                           __builtin_shufflevector(value, value, 4, 5, 6, 7),
                           __builtin_shufflevector(value, value, 8, 9, 10, 11),
                           __builtin_shufflevector(value, value, 12, 13, 14, 15)};
    const vq margin_q[4] = {__builtin_shufflevector(margin.low, margin.low, 0, 1, 2, 3),
                            __builtin_shufflevector(margin.low, margin.low, 4, 5, 6, 7),
                            __builtin_shufflevector(margin.high, margin.high, 0, 1, 2, 3),
                            __builtin_shufflevector(margin.high, margin.high, 4, 5, 6, 7)};
    __m128 high[4];
    int unsure = 0;
    for (int q = 0; q < 4; ++q) {
        high[q] = _mm256_cvtpd_ps((__m256d)(value_q[q] + margin_q[q]));
        const __m128 low = _mm256_cvtpd_ps((__m256d)(value_q[q] - margin_q[q]));
        unsure |= _mm_movemask_ps(_mm_cmp_ps(high[q], low, _CMP_NEQ_UQ));
    }
    if (unsure != 0) [[unlikely]]
        return add_square<weighted>(sum, observed - values(t, v, v.margin, c), w);
    const __m128 seen = _mm_set1_ps(observed);
    const vq sum_q[4] = {__builtin_shufflevector(sum.low, sum.low, 0, 1, 2, 3),
                         __builtin_shufflevector(sum.low, sum.low, 4, 5, 6, 7),
                         __builtin_shufflevector(sum.high, sum.high, 0, 1, 2, 3),
                         __builtin_shufflevector(sum.high, sum.high, 4, 5, 6, 7)};
    vq next[4];
    for (int q = 0; q < 4; ++q) {
        const vq d = (vq)_mm256_cvtps_pd(_mm_sub_ps(seen, high[q]));
        const vq exact = weighted ? sum_q[q] + d * d * w : sum_q[q] + d * d;
        next[q] = (vq)_mm256_cvtps_pd(_mm256_cvtpd_ps((__m256d)exact));
    }
    return {__builtin_shufflevector(next[0], next[1], 0, 1, 2, 3, 4, 5, 6, 7),
            __builtin_shufflevector(next[2], next[3], 0, 1, 2, 3, 4, 5, 6, 7)};
#else
    (void)margin;
    return add_square<weighted>(sum, observed - values(t, v, v.margin, c), w);
#endif
}

template <bool weighted>
[[gnu::always_inline]] inline void score_points(const LanePoints& p, const LaneSegments& s,
                                                float* kept, double keep_above, float* sums)
{
    Lanes v;
    Current c;
    for (int l = 0; l < kLanes; ++l)
        enter(v, c, s, l, 0);
    Halves sum;
    double fast_up_to = -HUGE_VAL;  // the fast step takes fast_from <= t <= fast_up_to
    double fast_from = HUGE_VAL;
    double next_end = -HUGE_VAL;    // the left-most segment end of the lanes
    bool beyond = false;
    const int n = p.count;
    int i = 0;
    while (i < n) {
        {  // copies the compiler keeps in registers
            const Lanes fixed = v;
            Halves running = sum;
            const Halves margin{
                __builtin_shufflevector(v.margin, v.margin, 0, 1, 2, 3, 4, 5, 6, 7),
                __builtin_shufflevector(v.margin, v.margin, 8, 9, 10, 11, 12, 13, 14, 15)};
            for (; i < n; ++i) {
                const double t = p.x[i];
                if (!(t <= fast_up_to && t >= fast_from))
                    break;
                running = add_point<weighted>(running, p.observed[i],
                                              weighted ? p.weight[i] : 1.0, t, fixed, margin, c);
            }
            sum = running;
        }
        if (i == n)
            break;
        const double t = p.x[i];
        if (!p.ascending || t > next_end) {
            beyond = beyond && p.ascending;  // in no order, each point finds its lanes anew
            unsigned moving = p.ascending ? ending_before(v.end, t) : (1u << kLanes) - 1;
            while (moving != 0) {
                const int l = __builtin_ctz(moving);
                moving &= moving - 1;
                int k = p.ascending ? c.segment[l] : 0;
                while (k < 5 && !(t <= s.end[k][l]))
                    ++k;
                if (k != c.segment[l])
                    enter(v, c, s, l, k);
                beyond |= k == 5;
            }
            next_end = smallest(v.end);
            vd from;
            std::memcpy(&from, c.fast_from, sizeof from);
            fast_from = -smallest(-from);
        }
        const bool fast = p.ascending && !beyond && t <= keep_above;
        fast_up_to = fast ? (next_end < keep_above ? next_end : keep_above) : -HUGE_VAL;
        if (fast && t >= fast_from)
            continue;  // the fast step takes it
        vf value = values_anywhere(t, v, c);
        if (beyond) {
            float previous = kept[i];
            for (int l = 0; l < kLanes; ++l) {
                if (c.segment[l] == 5)
                    value[l] = previous;
                previous = value[l];
            }
        }
        if (t > keep_above)
            kept[i] = value[kLanes - 1];
        sum = add_square<weighted>(sum, p.observed[i] - value, weighted ? p.weight[i] : 1.0);
        ++i;
    }
    const vd whole = __builtin_shufflevector(sum.low, sum.high, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                             11, 12, 13, 14, 15);
    const vf single = __builtin_convertvector(whole, vf);
    std::memcpy(sums, &single, sizeof single);
}

[[gnu::always_inline]] inline void score(const LanePoints& p, const LaneSegments& s, float* kept,
                                         double keep_above, float* sums)
{
    if (p.weight)
        score_points<true>(p, s, kept, keep_above, sums);
    else
        score_points<false>(p, s, kept, keep_above, sums);
}

}  // namespace
}  // namespace tolvenar::lanes
