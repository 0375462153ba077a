// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the engine reads and writes: the data table, the cropped segment, the candidate,
// the best models, the search counters and the boxes. Field names are the program's own names
// for them. It stays inside the core: front ends drive a FitSession, which holds one.
#pragma once

#include "core/data/data_table.h"
#include "core/data/x_form.h"

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace tolvenar {

// Per-vertex values; element k belongs to vertex k = 1..6, element 0 is used only where noted.
using Vertices = std::array<float, 7>;

inline constexpr float kUnsetVertex = -9999.0f;         // unset best-model vertex or manual box
inline constexpr float kEmptyLowerLimit = 999999.0f;    // empty constraint lower limit
inline constexpr float kEmptyUpperLimit = -999999.0f;   // empty constraint upper limit
// "No value yet" for the best-of-best squared distance after a reset and a run's best at its
// start: any finite sum of squares beats it, however large the data's y.
inline constexpr float kUnsetBestOfBest = std::numeric_limits<float>::infinity();
inline constexpr float kRunBestStart = std::numeric_limits<float>::infinity();
inline constexpr int kConvergenceSlots = 500;           // points 1..500; slot 0 holds no point

// A model polyline: vertex k = 1..6 at index k of x and y; x in model x (see CropOrigin), y in
// data units.
struct Model {
    Vertices x{};
    Vertices y{};
};

// Boxes around the vertices: box k = 1..6 at index k. An empty box has its lower limits above
// its upper ones (kEmptyLowerLimit, kEmptyUpperLimit); an unset manual box holds kUnsetVertex.
struct BoxLimits {
    Vertices xmin{};
    Vertices xmax{};
    Vertices ymin{};
    Vertices ymax{};
};

struct ConvergencePoint {
    float x = 0.0f;  // TrialCount at the new overall best
    float y = 0.0f;  // BestSqDist then
};

struct EngineState {
    // Data table of the current set (filled by the import).
    DataTable data;
    // Weight 1 / sigma^2 of each row 0..DataCount + 1 beside the table, each finite and > 0
    // (rows 0 and DataCount + 1 hold 1); empty: every row weighs 1, as without a sigma column.
    // The cropped point k weighs DataWeight[CropStart + k].
    std::vector<double> DataWeight;

    // Cropped segment: cropped point k = 1..CropCount is data row CropStart + k.
    std::int32_t CropStart = 0;
    std::int32_t CropEnd = 0;
    std::int32_t CropCount = 0;
    // Data x of model x 0. Every model-space x (ModelX, the best models, the boxes, the plot
    // scaling's left edge) is single precision relative to it, so break points keep their
    // resolution on a crop far from zero; 0 for a crop near zero (see crop_origin).
    double CropOrigin = 0.0;
    std::vector<float> CropObserved;  // 0..CropCount, element 0 unused; empty = unallocated
    std::vector<float> CropModel;     // 0..CropCount, element 0 unused
    float CropMaxY = 0.0f;
    float CropMinY = 0.0f;

    // Candidate model and its score.
    Vertices ModelX{};
    Vertices ModelY{};
    float SqDist = 0.0f;

    // Best of the current run and best of all runs since the last reset.
    Vertices BestModelX{};
    Vertices BestModelY{};
    float BestModelR = 0.0f;
    float BestSqDist = 0.0f;
    Vertices BestOfBestX{};
    Vertices BestOfBestY{};
    float BestOfBestR = 0.0f;
    float BestOfBestSqDist = 0.0f;

    // Search counters.
    std::int32_t TrialCount = 0;
    std::array<ConvergencePoint, kConvergenceSlots + 1> ConvergenceTrace{};
    std::int16_t ConvergenceCount = 0;

    // Constraint boxes (grown by unconstrained runs) and manual boxes (drawn with the mouse).
    Vertices ConXMin{};
    Vertices ConXMax{};
    Vertices ConYMin{};
    Vertices ConYMax{};
    Vertices ManXMin{};
    Vertices ManXMax{};
    Vertices ManYMin{};
    Vertices ManYMax{};

    // Vertices of the chosen family; for the drawn family the number of manual boxes (0..6).
    std::int16_t NodeCount = 0;

    // How the file writes its x: the report writes break points and durations back in it.
    XForm DataXForm{};
};

}  // namespace tolvenar
