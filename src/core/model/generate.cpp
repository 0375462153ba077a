// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/generate.h"

#include "core/model/single_ops.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

namespace tolvenar {

namespace {

using single::add;
using single::div;
using single::mul;
using single::square;
using single::sub;

constexpr const char* kWhere = "GenerateModel";
constexpr float kLevelSpan = 1.6f;  // level draws: 1.6 * U - 0.3, 1.6 held in single
constexpr float kBoxSpan = 1.2f;    // box draws: lo + (1.2 * U - 0.1) * (hi - lo), 1.2 in single

// Arithmetic follows the program's typing: an operation on two singles is rounded to single,
// one with a double operand (0.3, 0.1) is done in double; every stored value is single.
// Free-mode steps and levels are below 10 in magnitude, so their sums need no overflow check.

float level(RandomSource& random)
{
    return to_single(static_cast<double>(kLevelSpan * random.next()) - 0.3);
}

float box_draw(RandomSource& random, float lo, float hi)
{
    const double spread = static_cast<double>(kBoxSpan * random.next()) - 0.1;
    const float width = sub(hi, lo, kWhere);
    return to_single(static_cast<double>(lo) + spread * static_cast<double>(width));
}

// Vertices after `last` copy it.
void copy_last_vertex(Vertices& x, Vertices& y, int last)
{
    for (int k = last + 1; k <= 6; ++k) {
        x[k] = x[k - 1];
        y[k] = y[k - 1];
    }
}

// x(k) = x(k-1) + step for k = first..last.
void step_vertices(Vertices& x, RandomSource& random, int first, int last)
{
    for (int k = first; k <= last; ++k)
        x[k] = x[k - 1] + random.next();
}

// The baseline-peak-baseline levels shared by both event families: y1 plain, y3 level.
void event_levels(Vertices& y, RandomSource& random)
{
    y[1] = random.next();
    y[2] = y[1];
    y[3] = level(random);
    y[4] = y[1];
    y[5] = y[1];
    y[6] = y[5];
}

// Vertex 4 of a free event with duration between the line from vertex 3 to vertex 5 (Lo) and
// the rise through vertex 3 extended (Hi); both amplitudes shrink when y4 overshoots the peak.
void free_plateau(Vertices& x, Vertices& y, RandomSource& random)
{
    // Drawn before Lo and Hi divide by the x distances: a candidate whose break points coincide
    // takes as many draws as any other, so the stream stays in step with the trial count.
    const float u = random.next();
    const float lo =
        sub(y[3], div(mul(sub(y[3], y[5], kWhere), sub(x[4], x[3], kWhere), kWhere),
                      sub(x[5], x[3], kWhere), kWhere),
            kWhere);
    const float hi =
        add(y[3], div(mul(sub(y[3], y[2], kWhere), sub(x[4], x[3], kWhere), kWhere),
                      sub(x[3], x[2], kWhere), kWhere),
            kWhere);
    y[4] = add(lo, mul(u, sub(hi, lo, kWhere), kWhere), kWhere);
    if (square(sub(y[4], y[2], kWhere)) > square(sub(y[3], y[2], kWhere))) {
        const float f = div(sub(y[3], y[2], kWhere), sub(y[4], y[2], kWhere), kWhere);
        y[3] = add(y[2], mul(sub(y[3], y[2], kWhere), f, kWhere), kWhere);
        y[4] = add(y[2], mul(sub(y[4], y[2], kWhere), f, kWhere), kWhere);
    }
}

// The plateau of a constrained event with duration is never steeper than the neighbouring
// segment that runs the same way. Both slopes of a test are computed, even when its first
// condition already fails, so a zero-length segment faults either way.
void constrained_plateau(const Vertices& x, Vertices& y)
{
    const float rise = sub(y[3], y[2], kWhere);
    const float plateau = sub(y[4], y[3], kWhere);
    if (mul(rise, plateau, kWhere) <= 0.0f) {
        const float fall = sub(y[5], y[4], kWhere);
        const bool same_way = mul(plateau, fall, kWhere) > 0.0f;
        const float plateau_slope = div(plateau, sub(x[4], x[3], kWhere), kWhere);
        const float fall_slope = div(fall, sub(x[5], x[4], kWhere), kWhere);
        if (same_way && square(plateau_slope) > square(fall_slope))
            y[4] = add(y[5],
                       div(mul(sub(x[5], x[4], kWhere), sub(y[3], y[5], kWhere), kWhere),
                           sub(x[5], x[3], kWhere), kWhere),
                       kWhere);
    } else {
        const float plateau_slope = div(plateau, sub(x[4], x[3], kWhere), kWhere);
        const float rise_slope = div(rise, sub(x[3], x[2], kWhere), kWhere);
        if (square(plateau_slope) > square(rise_slope))
            y[3] = add(y[2],
                       div(mul(sub(x[3], x[2], kWhere), sub(y[4], y[2], kWhere), kWhere),
                           sub(x[4], x[2], kWhere), kWhere),
                       kWhere);
    }
}

void check_node_count(std::int16_t node_count)
{
    if (node_count < 0 || node_count > 6)
        throw Fault(FaultKind::IndexOutOfRange, "NodeCount");
}

// Free draws: steps from x1 = 0 and levels in abstract units, mapped to the plot afterwards.

// Free segments up to vertex `last`: every level its own.
void segments_free(EngineState& s, RandomSource& random, int last)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = 0.0f;
    step_vertices(x, random, 2, last);
    for (int k = 1; k <= last; ++k)
        y[k] = level(random);
    copy_last_vertex(x, y, last);
}

void free4_free(EngineState& s, const GenerateControls&, RandomSource& random)
{
    segments_free(s, random, 5);
}

void asymmetric_free(EngineState& s, const GenerateControls&, RandomSource& random)
{
    Vertices& x = s.ModelX;
    x[1] = 0.0f;
    step_vertices(x, random, 2, 5);
    x[6] = x[5];
    event_levels(s.ModelY, random);
}

void symmetric_free(EngineState& s, const GenerateControls&, RandomSource& random)
{
    Vertices& x = s.ModelX;
    x[1] = 0.0f;
    step_vertices(x, random, 2, 3);
    x[4] = x[3] + x[3] - x[2];
    step_vertices(x, random, 5, 5);
    x[6] = x[5];
    event_levels(s.ModelY, random);
}

void ramp_free(EngineState& s, const GenerateControls&, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = 0.0f;
    step_vertices(x, random, 2, 4);
    y[1] = random.next();
    y[2] = y[1];
    y[3] = random.next();
    y[4] = y[3];
    copy_last_vertex(x, y, 4);
}

void free3_free(EngineState& s, const GenerateControls&, RandomSource& random)
{
    segments_free(s, random, 4);
}

void duration_free(EngineState& s, const GenerateControls&, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = 0.0f;
    step_vertices(x, random, 2, 6);
    y[1] = level(random);
    y[2] = y[1];
    y[3] = level(random);
    y[5] = y[1];
    y[6] = y[1];
    free_plateau(x, y, random);
}

// The drawn family draws in its manual boxes even when free; the last box's vertex lies on
// the plot's right edge.
void manual_free(EngineState& s, const GenerateControls& controls, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = s.ManXMin[1];
    for (int k = 2; k <= 5; ++k)
        x[k] = box_draw(random, s.ManXMin[k], s.ManXMax[k]);
    x[6] = s.ManXMax[6];
    for (int k = 1; k <= 6; ++k)
        y[k] = box_draw(random, s.ManYMin[k], s.ManYMax[k]);
    const std::int16_t n = s.NodeCount;
    check_node_count(n);
    x[n] = add(controls.scale_left, controls.scale_width, kWhere);
    copy_last_vertex(x, y, n);
    reorder_vertices(x);
}

// Constrained draws: every moved vertex and level in its constraint box, the end vertices on the
// boxes' outer limits.

float x_box(EngineState& s, RandomSource& random, int k)
{
    return box_draw(random, s.ConXMin[k], s.ConXMax[k]);
}

float y_box(EngineState& s, RandomSource& random, int k)
{
    return box_draw(random, s.ConYMin[k], s.ConYMax[k]);
}

// Free segments up to vertex `last` in the boxes: the last vertex on its box's lower x limit.
void segments_constrained(EngineState& s, RandomSource& random, int last)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = s.ConXMin[1];
    for (int k = 2; k < last; ++k)
        x[k] = x_box(s, random, k);
    x[last] = s.ConXMin[last];
    for (int k = 1; k <= last; ++k)
        y[k] = y_box(s, random, k);
    copy_last_vertex(x, y, last);
}

void free4_constrained(EngineState& s, RandomSource& random)
{
    segments_constrained(s, random, 5);
}

void free3_constrained(EngineState& s, RandomSource& random)
{
    segments_constrained(s, random, 4);
}

// The baseline and peak of both event families, after their break points.
void constrained_event_levels(EngineState& s, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[5] = s.ConXMin[5];
    y[1] = y_box(s, random, 1);
    y[2] = y[1];
    y[3] = y_box(s, random, 3);
    y[4] = y[1];
    y[5] = y[1];
    copy_last_vertex(x, y, 5);
}

void asymmetric_constrained(EngineState& s, RandomSource& random)
{
    s.ModelX[1] = s.ConXMin[1];
    for (int k = 2; k <= 4; ++k)
        s.ModelX[k] = x_box(s, random, k);
    constrained_event_levels(s, random);
}

void symmetric_constrained(EngineState& s, RandomSource& random)
{
    Vertices& x = s.ModelX;
    x[1] = s.ConXMin[1];
    x[2] = x_box(s, random, 2);
    x[4] = x_box(s, random, 4);
    x[3] = add(x[4], x[2], kWhere) / 2.0f;
    constrained_event_levels(s, random);
}

void ramp_constrained(EngineState& s, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = s.ConXMin[1];
    x[2] = x_box(s, random, 2);
    x[3] = x_box(s, random, 3);
    x[4] = s.ConXMin[4];
    y[1] = y_box(s, random, 1);
    y[2] = y[1];
    y[3] = y_box(s, random, 3);
    y[4] = y[3];
    copy_last_vertex(x, y, 4);
}

void duration_constrained(EngineState& s, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = s.ConXMin[1];
    for (int k = 2; k <= 5; ++k)
        x[k] = x_box(s, random, k);
    x[6] = s.ConXMin[6];
    y[1] = y_box(s, random, 1);
    y[2] = y[1];
    y[3] = y_box(s, random, 3);
    y[4] = y_box(s, random, 4);
    y[5] = y[1];
    y[6] = y[1];
    constrained_plateau(x, y);
}

void manual_constrained(EngineState& s, RandomSource& random)
{
    Vertices& x = s.ModelX;
    Vertices& y = s.ModelY;
    x[1] = s.ConXMin[1];
    for (int k = 2; k <= 5; ++k)
        x[k] = x_box(s, random, k);
    x[6] = s.ConXMin[6];
    for (int k = 1; k <= 6; ++k)
        y[k] = y_box(s, random, k);
    // Vertex NodeCount + 1 copies vertex NodeCount; a negative count reaches below element 0.
    if (s.NodeCount < 0)
        throw Fault(FaultKind::IndexOutOfRange, "NodeCount");
    copy_last_vertex(x, y, s.NodeCount);
}

}  // namespace

void GenerateModel(EngineState& state, const GenerateControls& controls, RandomSource& random)
{
    if (controls.constrain == 0) {
        if (controls.family)
            family_row(*controls.family).draws->free(state, controls, random);
    } else if (controls.constrain == 1) {
        if (controls.family)
            family_row(*controls.family).draws->constrained(state, random);
        reorder_vertices(state.ModelX);
    }
}

namespace draws {
const CandidateDraws manual{manual_free, manual_constrained};
const CandidateDraws ramp{ramp_free, ramp_constrained};
const CandidateDraws symmetric{symmetric_free, symmetric_constrained};
const CandidateDraws asymmetric{asymmetric_free, asymmetric_constrained};
const CandidateDraws free4{free4_free, free4_constrained};
const CandidateDraws free3{free3_free, free3_constrained};
const CandidateDraws duration{duration_free, duration_constrained};
}  // namespace draws

bool needs_plot_scaling(const GenerateControls& controls)
{
    return controls.constrain == 0 && !drawn_family(controls.family);
}

void scale_model_to_plot(EngineState& state, float scale_left, float scale_width)
{
    constexpr const char* where = "plot scaling";
    Vertices& x = state.ModelX;
    Vertices& y = state.ModelY;
    for (int k = 1; k <= 6; ++k)
        x[k] = div(x[k], x[6], where);
    for (int k = 1; k <= 6; ++k) {
        x[k] = add(mul(scale_width, x[k], where), scale_left, where);
        y[k] = add(mul(sub(state.CropMaxY, state.CropMinY, where), y[k], where), state.CropMinY,
                   where);
    }
}

void reorder_vertices(Vertices& x)
{
    for (int sweep = 0; sweep < 3; ++sweep) {
        for (int k = 2; k <= 6; ++k) {
            if (x[k - 1] > x[k]) {
                x[k - 1] = add(x[k], x[k - 1], "reorder pass") / 2.0f;
                x[k] = x[k - 1];
            }
        }
    }
}

}  // namespace tolvenar
