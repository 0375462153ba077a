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

// Levels: a ramp from one level to another; an event returns to its baseline (1, 2, 4, 5, 6)
// from a peak (3), or from a plateau (3, 4) with a duration; free segments have a level per
// vertex up to the last.
constexpr std::array<FamilyRow, kFamilyCount> kTable{{
    {F::ManualConstraint, "Manual constraint", "manual", 0, {}, false, {0, 0, 1, 2, 3, 4, 5},
     M::None, &draws::manual},
    {F::SimpleRamp, "Simple ramp", "ramp", 4, {2, 3}, false, {0, 0, 0, 1, 1, 1, 1},
     M::Duration, &draws::ramp},
    {F::SymmetricEvent, "Symmetric event", "symmetric", 5, {2, 4}, true, {0, 0, 0, 1, 0, 0, 0},
     M::None, &draws::symmetric},
    {F::AsymmetricEvent, "Asymmetric event", "asymmetric", 5, {2, 3, 4}, false,
     {0, 0, 0, 1, 0, 0, 0}, M::SymmetryIndex, &draws::asymmetric},
    {F::Free4Segments, "Free 4 segments", "free4", 5, {2, 3, 4}, false, {0, 0, 1, 2, 3, 4, 4},
     M::None, &draws::free4},
    {F::Free3Segments, "Free 3 segments", "free3", 4, {2, 3}, false, {0, 0, 1, 2, 3, 3, 3},
     M::None, &draws::free3},
    {F::EventWithDuration, "Event with duration", "duration", 6, {2, 3, 4, 5}, false,
     {0, 0, 0, 1, 2, 0, 0}, M::None, &draws::duration},
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
    if (family == ModelFamily::ManualConstraint) {
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
    constexpr const char* where = "measure";
    try {
        switch (family_row(family).measure) {
        case FamilyMeasure::Duration:
            return single::sub(x[3], x[2], where);
        case FamilyMeasure::SymmetryIndex:
            return single::div(single::sub(x[3], x[2], where), single::sub(x[4], x[2], where),
                               where);
        case FamilyMeasure::None:
            break;
        }
    } catch (const Fault&) {
    }
    return std::nullopt;
}

}  // namespace tolvenar
