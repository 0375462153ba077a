// SPDX-License-Identifier: GPL-3.0-or-later
// Goodness of fit of the candidate against the cropped points: the model values (Fitting), the
// sum of squared distances (GetSqDist) and the correlation (GetR), each rounded to single
// precision exactly where the program rounds. With weights (EngineState::DataWeight) every sum
// is weighted by the same rule: s = float(double(s) + term * w), the term as the unweighted sum
// forms it, its product with the weight w = 1 / sigma^2 rounded once in double; a weight of 1
// gives the unweighted sum bit for bit.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/fit_crop.h"
#include "core/model/fit_kernel.h"

#include <cstdint>
#include <vector>

namespace tolvenar {

// CropObserved(i) = y of row CropStart + i in single; CropModel(i) = the candidate polyline at
// that row's model x t = x - CropOrigin (first segment k with t <= ModelX(k + 1)); a point beyond
// ModelX(6) keeps its CropModel value. Faults, which leave both arrays as they were:
// TypeMismatch for a text cell, IndexOutOfRange outside the table or the crop arrays, a zero
// divisor (DivisionByZero, or Overflow for 0 / 0) for a point on a zero-length first segment,
// Overflow for a value beyond the single range. This is the reference; CropScorer is the fast
// path.
void Fitting(EngineState& state);

// SqDist = the sum over the cropped points of float(obs - model)^2 (times the point's weight),
// squares in double, the sum rounded to single after every addition. Overflow beyond the single
// range.
void GetSqDist(EngineState& state);

// BestModelR = Pearson correlation of CropObserved and CropModel in single precision (0 when
// either is constant); with weights the weighted correlation: weighted means (the count is the
// weights' sum, in double, rounded to single), weighted covariance and spreads. Faults: Overflow
// for CropCount = 0 (0 / 0 in the means).
void GetR(EngineState& state);

// The weights of cropped points 1..CropCount as weights[k - 1]; nullptr when the state has none.
// IndexOutOfRange when DataWeight does not reach the crop's last row.
const double* crop_weights(const EngineState& state);

// The cropped rows of `state` as a crop of their own (rows 1..CropCount, their cells and weights,
// the origin, extent, NodeCount and boxes): what the fits beyond the search read.
FitCrop fit_crop(const EngineState& state);
// A state holding just `crop`, as CropStart 0, on which the search's measures and searches run.
EngineState crop_state(const FitCrop& crop);

// The search's own measures of a model over a crop: its sum of squares and R in single, each as
// the search forms it; a model they fault on scores as none (an infinite sum).
struct MeasuredModel {
    float sq_dist = kUnsetBestOfBest;
    float r = 0.0f;
};
class CropMeasures {
public:
    explicit CropMeasures(const FitCrop& crop) : m_state(crop_state(crop)) {}
    // Measures models of another family's count of vertices from now on.
    void set_vertices(std::int16_t vertices) { m_state.NodeCount = vertices; }
    MeasuredModel measure(const Model& model);
    // The model's values at the crop's points 1..n (element 0 unused), as Fitting forms them;
    // its faults propagate.
    const std::vector<float>& values(const Model& model);

private:
    EngineState m_state;
};

// Fitting followed by GetSqDist for many candidates over one crop, bit-identical to the
// reference routines in results, state and faults. It reads the cropped rows once (model x as
// double, y as single) and re-reads them whenever the crop or the table is not the one it read.
// Allocates only when it reads a crop.
class CropScorer {
public:
    CropScorer();  // the widest kernel this processor runs
    explicit CropScorer(FitPointsFunction kernel) : m_kernel(kernel) {}

    void fit_and_score(EngineState& state);

    // Drops the rows read, e.g. after the table's cells changed in place.
    void invalidate() noexcept { m_ready = false; }

private:
    bool reads_current_crop(const EngineState& state) const noexcept;
    void read_crop(const EngineState& state);

    FitPointsFunction m_kernel;
    bool m_ready = false;
    std::int32_t m_crop_start = 0;
    std::int32_t m_crop_count = 0;
    double m_origin = 0.0;
    const Cell* m_x_cells = nullptr;
    const Cell* m_y_cells = nullptr;
    const double* m_weight_cells = nullptr;
    std::size_t m_rows = 0;
    std::size_t m_weight_rows = 0;

    std::vector<double> m_x;         // x of cropped point i + 1
    std::vector<float> m_observed;   // y of cropped point i + 1, single
    std::vector<double> m_weights;   // weight of cropped point i + 1; empty: none
    std::vector<float> m_model;      // scratch: model values of the current candidate
    std::vector<double> m_squares;   // scratch: float(obs - model)^2 in double
};

}  // namespace tolvenar
