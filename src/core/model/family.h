// SPDX-License-Identifier: GPL-3.0-or-later
// The model families: one row each, read by every place that knows a family's rules (the
// candidate draws, the box ties, the refinement's shape, the reports and both front ends'
// names). Adding a family means adding a row.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tolvenar {

// A model family is the index of its option button in the window; the values are fixed.
enum class ModelFamily : std::int16_t {
    ManualConstraint = 0,
    SimpleRamp = 1,
    SymmetricEvent = 2,
    AsymmetricEvent = 3,
    Free4Segments = 4,
    Free3Segments = 5,
    EventWithDuration = 6,
};

inline constexpr int kFamilyCount = 7;

// The one value besides the vertices that a family reports.
enum class FamilyMeasure : std::uint8_t {
    None,
    Duration,       // X3 - X2: the length of the ramp
    SymmetryIndex,  // (X3 - X2) / (X4 - X2): the share of the event's span before its peak
};

// How a measure is named and shown: its JSON and CSV key, its caption, its decimals.
struct MeasureNames {
    std::string_view key;      // "duration", "symmetry_index"; "" for none
    std::string_view caption;  // "Duration of change", "Symmetry index"
    int decimals = 0;          // shown with 2 (a length in x) or 4 (a share)
};
const MeasureNames& measure_names(FamilyMeasure measure);

// The measure of break points x (vertex k at index k) in single precision, as the report forms
// it; raises the Fault of its subtraction or division (a zero span), naming `where`. 0 for none.
float measure_value(FamilyMeasure measure, const std::array<float, 7>& x, const char* where);

// How a fit's errors read the measure: its gradient over a fit's free values from those of x2,
// x3 and x4 (g2, g3, g4) at break points x, into `out`; false where it has none (a zero span).
bool measure_gradient(FamilyMeasure measure, const std::array<float, 7>& x,
                      std::span<const double> g2, std::span<const double> g3,
                      std::span<const double> g4, std::span<double> out);

struct CandidateDraws;  // how the search draws the family's candidates (core/model/generate.h)

// A point of a family's icon, in twips on its icon frame (1095 x 495).
struct IconPoint {
    std::int16_t x;
    std::int16_t y;
};

// How the window shows a family: its option button's place among the buttons (0 the top one)
// and width in twips, and its icon's strokes as one polyline; none for the family whose icon is
// two drawn boxes.
struct FamilyButton {
    std::int8_t order;
    std::int16_t width;
    std::span<const IconPoint> icon;
};

struct FamilyRow {
    ModelFamily family;
    std::string_view caption;     // the option button's caption
    std::string_view short_name;  // the command line's name, "ramp"
    // Vertices of the polyline; the last lies on the crop's right edge and the later ones copy
    // it. 0 for the drawn family, whose boxes give the count (one per box drawn).
    std::int16_t vertices;
    // Interior vertices whose x the fit moves freely, increasing, 0-terminated. x3 of a midway
    // family follows x2 and x4 instead.
    std::array<std::int8_t, 5> moved;
    bool midway;  // x3 = (x2 + x4) / 2
    // Level index of vertex k = 1..6 (element 0 unused): vertices with one index share their y.
    std::array<std::int8_t, 7> level_of;
    FamilyMeasure measure;
    const CandidateDraws* draws;
    // The vertices come from boxes the user draws on the working plot, one a box: the window's
    // alone, and no event family of the comparison.
    bool drawn;
    FamilyButton button;
    std::string_view help;  // what the family is, in a line of tolvenar-fit --help
    // Its break points' bootstrap intervals span their profile intervals too (refine::bootstrap):
    // slight kinks, which short series place loosely.
    bool profiled = false;
};

// Every family in the order of its index (row i is family i).
std::span<const FamilyRow> family_table();
const FamilyRow& family_row(ModelFamily family);
// True for the family whose vertices come from drawn boxes (FamilyRow::drawn); false for none.
bool drawn_family(std::optional<ModelFamily> family);

// Vertices of the family (the drawn family: 0, one more per box drawn).
std::int16_t node_count_of(ModelFamily family);

// The caption of the family's option button.
std::string_view family_caption(ModelFamily family);

// The family named by its caption or its short name (ramp, symmetric, asymmetric, free4, free3,
// duration, manual); nullopt for any other text.
std::optional<ModelFamily> family_from_name(std::string_view name);

// A family's free values as a fit sees them, with the drawn family resolved for its count of
// boxes: the vertex on the right edge, the moved break points and the levels.
struct FamilyShape {
    int last = 0;                       // vertex on the crop's right edge (vertex 1 on the left)
    std::vector<int> moved;             // moved break points, increasing
    bool midway = false;                // x3 = (x2 + x4) / 2
    std::array<int, 7> level_of{};      // level index of vertex k = 1..6
    std::vector<int> level_vertex;      // first vertex of each level: its y box bounds the level
    FamilyMeasure measure = FamilyMeasure::None;

    std::size_t levels() const { return level_vertex.size(); }
    // Free values of the least squares: moved break points and levels.
    std::size_t free_values() const { return moved.size() + level_vertex.size(); }
};

// The shape of `family`; node_count is read for the drawn family only (clamped to 0..6).
FamilyShape family_shape(ModelFamily family, std::int16_t node_count);

// The family's measure of break points x (vertex k at index k) in single precision, as the
// report forms it; none for a family without one or when the index divides by zero.
std::optional<float> family_measure(ModelFamily family, const std::array<float, 7>& x);

}  // namespace tolvenar
