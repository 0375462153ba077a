// SPDX-License-Identifier: GPL-3.0-or-later
// The lane kernel's body, compiled once per instruction set by fit_lanes_*.cpp. It has internal
// linkage throughout, so no copy built for a wider instruction set can stand in for another.
//
// Sixteen candidates go through the points together, each lane keeping its own running sum. On
// ascending x every lane walks its own current segment; the points where some lane moves on,
// lies beyond its last vertex or hands its value to later candidates take the slow step.
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

// The segment each lane is on, as the values need it.
struct Current {
    alignas(64) double x[kLanes];
    alignas(64) double reciprocal[kLanes];
    alignas(64) double dy[kLanes];
    alignas(64) double y[kLanes];
    alignas(64) double margin[kLanes];  // kRelative * |y| + kAbsolute
    alignas(64) double dx[kLanes];
    alignas(64) double end[kLanes];
    int segment[kLanes];  // 5: beyond the last vertex
};

inline vd load(const double* p)
{
    vd v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void enter(Current& c, const LaneSegments& s, int l, int k)
{
    c.segment[l] = k;
    if (k == 5) {  // a value of 0 that the caller replaces
        c.x[l] = c.reciprocal[l] = c.dy[l] = c.y[l] = c.margin[l] = 0.0;
        c.dx[l] = 1.0;
        c.end[l] = HUGE_VAL;
        return;
    }
    c.x[l] = s.start_x[k][l];
    c.dx[l] = s.dx[k][l];
    c.reciprocal[l] = 1.0 / c.dx[l];
    c.dy[l] = s.dy[k][l];
    // A difference beyond the single range faults in the reference once a point lies here.
    const bool finite = std::fabs(c.dx[l]) <= 0x1p1000 && std::fabs(c.dy[l]) <= 0x1p1000;
    c.y[l] = finite ? s.start_y[k][l] : NAN;
    c.margin[l] = kRelative * std::fabs(c.y[l]) + kAbsolute;
    c.end[l] = s.end[k][l];
}

[[gnu::noinline, gnu::cold]] void divide_exactly(vf& value, vi unsure, double t, const Current& c)
{
    for (int l = 0; l < kLanes; ++l)
        if (unsure[l] != 0)
            value[l] = static_cast<float>(c.y[l] + c.dy[l] * ((t - c.x[l]) / c.dx[l]));
}

struct Segment {
    vd x, reciprocal, dy, y, margin;
};

[[gnu::always_inline]] inline Segment load_segment(const Current& c)
{
    return {load(c.x), load(c.reciprocal), load(c.dy), load(c.y), load(c.margin)};
}

[[gnu::always_inline]] inline vf values(double t, const Segment& s, const Current& c)
{
    const vd v = s.y + s.dy * ((t - s.x) * s.reciprocal);
    const vd margin = (vd)((vl)v & kMagnitude) * kRelative + s.margin;
    vf value = __builtin_convertvector(v + margin, vf);
    const vf low = __builtin_convertvector(v - margin, vf);
    const vi unsure = value != low;
    if (any(unsure)) [[unlikely]]
        divide_exactly(value, unsure, t, c);
    return value;
}

[[gnu::always_inline]] inline vf add_square(vf sum, vf d)
{
    const vd wide = __builtin_convertvector(d, vd);
    return __builtin_convertvector(__builtin_convertvector(sum, vd) + wide * wide, vf);
}

[[gnu::always_inline]] inline void score(const LanePoints& p, const LaneSegments& s, float* kept,
                                         double keep_above, float* sums)
{
    Current c;
    for (int l = 0; l < kLanes; ++l)
        enter(c, s, l, 0);
    vf sum = {};
    double fast_up_to = -HUGE_VAL;  // points at or left of it need no slow step
    const int n = p.count;
    int i = 0;
    while (i < n) {
        const Segment segment = load_segment(c);
        for (; i < n; ++i) {
            const double t = p.x[i];
            if (!(t <= fast_up_to))
                break;
            sum = add_square(sum, p.observed[i] - values(t, segment, c));
        }
        if (i == n)
            break;

        const double t = p.x[i];
        bool beyond = false;
        double next_end = HUGE_VAL;
        for (int l = 0; l < kLanes; ++l) {
            int k = p.ascending ? c.segment[l] : 0;
            while (k < 5 && !(t <= s.end[k][l]))
                ++k;
            if (k != c.segment[l])
                enter(c, s, l, k);
            beyond |= k == 5;
            next_end = c.end[l] < next_end ? c.end[l] : next_end;
        }
        vf value = values(t, load_segment(c), c);
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
        sum = add_square(sum, p.observed[i] - value);
        fast_up_to = p.ascending && !beyond ? (next_end < keep_above ? next_end : keep_above)
                                            : -HUGE_VAL;
        ++i;
    }
    std::memcpy(sums, &sum, sizeof sum);
}

}  // namespace
}  // namespace tolvenar::lanes
