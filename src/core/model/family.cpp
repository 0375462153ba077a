// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/family.h"

#include "core/model/generate.h"
#include "core/model/single_ops.h"
#include "core/runtime/fault.h"

#include <algorithm>

namespace tolvenar {

namespace {

using F = ModelFamily;
using M = FamilyMeasure;

// The icons' strokes, in twips on their frames.
constexpr IconPoint kRampIcon[]{{120, 120}, {480, 120}, {600, 480}, {960, 480}};
constexpr IconPoint kSymmetricIcon[]{{120, 480}, {360, 480}, {540, 120}, {720, 480}, {960, 480}};
constexpr IconPoint kAsymmetricIcon[]{{120, 480}, {300, 480}, {660, 120}, {780, 480}, {960, 480}};
constexpr IconPoint kFree4Icon[]{{120, 480}, {360, 420}, {480, 120}, {720, 480}, {960, 360}};
constexpr IconPoint kFree3Icon[]{{120, 360}, {360, 420}, {600, 120}, {960, 360}};
constexpr IconPoint kDurationIcon[]{{120, 480}, {300, 480}, {420, 240}, {720, 120}, {780, 480},
                                    {960, 480}};

// Levels: a ramp from one level to another; an event returns to its baseline (1, 2, 4, 5, 6)
// from a peak (3), or from a plateau (3, 4) with a duration; free segments have a level per
// vertex up to the last.
constexpr std::array<FamilyRow, kFamilyCount> kTable{{
    {F::ManualConstraint, "Manual constraint", "manual", 0, {}, false, {0, 0, 1, 2, 3, 4, 5},
     M::None, &draws::manual, true, {6, 1815, {}},
     "boxes drawn with the mouse, a vertex each (the window's alone)"},
    {F::SimpleRamp, "Simple ramp", "ramp", 4, {2, 3}, false, {0, 0, 0, 1, 1, 1, 1},
     M::Duration, &draws::ramp, false, {0, 1575, kRampIcon},
     "a ramp from one level to another (the default)"},
    {F::SymmetricEvent, "Symmetric event", "symmetric", 5, {2, 4}, true, {0, 0, 0, 1, 0, 0, 0},
     M::None, &draws::symmetric, false, {1, 1815, kSymmetricIcon},
     "a peak midway, back to the level before"},
    {F::AsymmetricEvent, "Asymmetric event", "asymmetric", 5, {2, 3, 4}, false,
     {0, 0, 0, 1, 0, 0, 0}, M::SymmetryIndex, &draws::asymmetric, false,
     {2, 1755, kAsymmetricIcon}, "a peak anywhere, back to the level before"},
    {F::Free4Segments, "Free 4 segments", "free4", 5, {2, 3, 4}, false, {0, 0, 1, 2, 3, 4, 4},
     M::None, &draws::free4, false, {5, 1755, kFree4Icon}, "four segments, each level free", true},
    {F::Free3Segments, "Free 3 segments", "free3", 4, {2, 3}, false, {0, 0, 1, 2, 3, 3, 3},
     M::None, &draws::free3, false, {4, 1755, kFree3Icon}, "three segments, each level free", true},
    {F::EventWithDuration, "Event with duration", "duration", 6, {2, 3, 4, 5}, false,
     {0, 0, 0, 1, 2, 0, 0}, M::None, &draws::duration, false, {3, 1875, kDurationIcon},
     "a rise to a plateau and back to the level before"},
}};

constexpr std::array<MeasureNames, 3> kMeasureNames{{
    {"", "", 0},
    {"duration", "Duration of change", 2},
    {"symmetry_index", "Symmetry index", 4},
}};

constexpr bool rows_in_order()
{
    for (std::size_t i = 0; i < kTable.size(); ++i)
        if (static_cast<std::size_t>(kTable[i].family) != i)
            return false;
    return true;
}
static_assert(rows_in_order(), "row i of the family table is family i");

}  // namespace

std::span<const FamilyRow> family_table()
{
    return kTable;
}

const MeasureNames& measure_names(FamilyMeasure measure)
{
    return kMeasureNames[static_cast<std::size_t>(measure)];
}

const FamilyRow& family_row(ModelFamily family)
{
    return kTable[static_cast<std::size_t>(family)];
}

bool drawn_family(std::optional<ModelFamily> family)
{
    return family && family_row(*family).drawn;
}

float measure_value(FamilyMeasure measure, const std::array<float, 7>& x, const char* where)
{
    switch (measure) {
    case FamilyMeasure::Duration:
        return single::sub(x[3], x[2], where);
    case FamilyMeasure::SymmetryIndex:
        return single::div(single::sub(x[3], x[2], where), single::sub(x[4], x[2], where), where);
    case FamilyMeasure::None:
        break;
    }
    return 0.0f;
}

bool measure_gradient(FamilyMeasure measure, const std::array<float, 7>& x,
                      std::span<const double> g2, std::span<const double> g3,
                      std::span<const double> g4, std::span<double> out)
{
    switch (measure) {
    case FamilyMeasure::Duration:
        for (std::size_t a = 0; a < out.size(); ++a)
            out[a] = g3[a] - g2[a];
        return true;
    case FamilyMeasure::SymmetryIndex: {
        if (x[4] == x[2])
            return false;
        const double x2 = x[2], x3 = x[3], x4 = x[4];
        const double span = x4 - x2;
        for (std::size_t a = 0; a < out.size(); ++a)
            out[a] = (x3 - x4) / (span * span) * g2[a] + g3[a] / span -
                     (x3 - x2) / (span * span) * g4[a];
        return true;
    }
    case FamilyMeasure::None:
        break;
    }
    return false;
}

std::int16_t node_count_of(ModelFamily family)
{
    return family_row(family).vertices;
}

std::string_view family_caption(ModelFamily family)
{
    return family_row(family).caption;
}

std::optional<ModelFamily> family_from_name(std::string_view name)
{
    for (const FamilyRow& row : kTable)
        if (name == row.caption || name == row.short_name)
            return row.family;
    return std::nullopt;
}

FamilyShape family_shape(ModelFamily family, std::int16_t node_count)
{
    const FamilyRow& row = family_row(family);
    FamilyShape shape;
    shape.midway = row.midway;
    shape.measure = row.measure;
    if (row.drawn) {
        // Every box is a vertex with its own level; the interior ones move.
        const int n = std::clamp<int>(node_count, 0, 6);
        shape.last = n;
        for (int k = 2; k < n; ++k)
            shape.moved.push_back(k);
        for (int k = 1; k <= 6; ++k)
            shape.level_of[static_cast<std::size_t>(k)] = std::max(0, std::min(k, n) - 1);
    } else {
        shape.last = row.vertices;
        for (const std::int8_t k : row.moved)
            if (k != 0)
                shape.moved.push_back(k);
        for (std::size_t k = 1; k <= 6; ++k)
            shape.level_of[k] = row.level_of[k];
    }
    for (int k = 1; k <= 6; ++k) {
        const auto level = static_cast<std::size_t>(shape.level_of[static_cast<std::size_t>(k)]);
        if (level == shape.level_vertex.size() && (k <= shape.last || shape.last == 0))
            shape.level_vertex.push_back(k);
    }
    if (shape.last == 0)
        shape.level_vertex.clear();
    return shape;
}

std::optional<float> family_measure(ModelFamily family, const std::array<float, 7>& x)
{
    const FamilyMeasure measure = family_row(family).measure;
    if (measure == FamilyMeasure::None)
        return std::nullopt;
    try {
        return measure_value(measure, x, "measure");
    } catch (const Fault&) {
        return std::nullopt;
    }
}

}  // namespace tolvenar
