// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the engine reads and writes: the data table, the cropped segment, the candidate,
// the best models, the search counters and the boxes. Field names are the program's own names
// for them. It stays inside the core: front ends drive a FitSession, which holds one.
#pragma once

#include "core/data/data_table.h"
#include "core/data/x_form.h"
#include "core/model/model.h"
#include "core/window/crop.h"

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace tolvenar {

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

// Takes the crop's rows into the cropped segment: CropStart, CropEnd, CropCount, CropOrigin,
// fresh zeroed CropObserved/CropModel of CropCount + 1 elements and CropMinY/CropMaxY the empty
// range (kEmptyRangeLowest/Highest), which the drawing's measurement opens. A crop_rows fault
// (see there) leaves the whole previous segment.
inline void extract_crop(EngineState& state, const CropRows& rows)
{
    state.CropStart = rows.start;
    state.CropEnd = rows.end;
    state.CropCount = rows.count;
    state.CropOrigin = rows.origin;
    const auto size = static_cast<std::size_t>(state.CropCount) + 1;
    state.CropObserved.assign(size, 0.0f);
    state.CropModel.assign(size, 0.0f);
    state.CropMinY = kEmptyRangeLowest;
    state.CropMaxY = kEmptyRangeHighest;
}
inline void extract_crop(EngineState& state, double left, float width, double origin = 0.0,
                         double from = kNoEdge, double to = kNoEdge)
{
    extract_crop(state, crop_rows(state.data, left, width, origin, from, to));
}

// The records' resets and the constraint boxes' widening.
// Empties the best of best and the constraint boxes: BestOfBestX/Y(1..6) = -9999, lower limits
// 999999, upper limits -999999, BestOfBestSqDist = 999999. BestOfBestR stays.
inline void forget_best_of_best(EngineState& state)
{
    for (int k = 1; k <= 6; ++k) {
        state.BestOfBestX[k] = kUnsetVertex;
        state.BestOfBestY[k] = kUnsetVertex;
        state.ConXMin[k] = kEmptyLowerLimit;
        state.ConYMin[k] = kEmptyLowerLimit;
        state.ConXMax[k] = kEmptyUpperLimit;
        state.ConYMax[k] = kEmptyUpperLimit;
    }
    state.BestOfBestSqDist = kUnsetBestOfBest;
}

// Sets all four limits of manual boxes 1..6 to -9999.
inline void clear_manual_boxes(EngineState& state)
{
    for (int k = 1; k <= 6; ++k) {
        state.ManXMin[k] = kUnsetVertex;
        state.ManYMin[k] = kUnsetVertex;
        state.ManXMax[k] = kUnsetVertex;
        state.ManYMax[k] = kUnsetVertex;
    }
}

// Grows constraint box k = 1..6 to enclose vertex k of the run's best model (BestModelX/Y);
// an empty box takes the vertex itself.
inline void widen_constraint_boxes(EngineState& state)
{
    for (int k = 1; k <= 6; ++k) {
        if (state.ConXMin[k] > state.BestModelX[k])
            state.ConXMin[k] = state.BestModelX[k];
        if (state.ConYMin[k] > state.BestModelY[k])
            state.ConYMin[k] = state.BestModelY[k];
        if (state.ConXMax[k] < state.BestModelX[k])
            state.ConXMax[k] = state.BestModelX[k];
        if (state.ConYMax[k] < state.BestModelY[k])
            state.ConYMax[k] = state.BestModelY[k];
    }
}

// The constraint and manual boxes as plain values, and back.
inline BoxLimits constraint_boxes(const EngineState& state)
{
    return {state.ConXMin, state.ConXMax, state.ConYMin, state.ConYMax};
}
inline BoxLimits manual_boxes(const EngineState& state)
{
    return {state.ManXMin, state.ManXMax, state.ManYMin, state.ManYMax};
}
inline void set_constraint_boxes(EngineState& state, const BoxLimits& boxes)
{
    state.ConXMin = boxes.xmin, state.ConXMax = boxes.xmax;
    state.ConYMin = boxes.ymin, state.ConYMax = boxes.ymax;
}
inline void set_manual_boxes(EngineState& state, const BoxLimits& boxes)
{
    state.ManXMin = boxes.xmin, state.ManXMax = boxes.xmax;
    state.ManYMin = boxes.ymin, state.ManYMax = boxes.ymax;
}

// The constraint and manual boxes of `from` into `to`, for a state that draws as `from` does.
inline void copy_boxes(const EngineState& from, EngineState& to)
{
    set_constraint_boxes(to, constraint_boxes(from));
    set_manual_boxes(to, manual_boxes(from));
}

}  // namespace tolvenar
