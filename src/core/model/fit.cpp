// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/fit.h"

#include "core/model/single_ops.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace tolvenar {

namespace {

using single::square;

// Element i of a crop array; outside its bounds the runtime's out-of-range error.
float& element(std::vector<float>& array, std::int32_t i, const char* where)
{
    if (i < 0 || static_cast<std::size_t>(i) >= array.size())
        throw Fault(FaultKind::IndexOutOfRange, where);
    return array[static_cast<std::size_t>(i)];
}

// The first segment k = 1..5 whose end vertex k + 1 is at or right of t; 0 beyond vertex 6.
int segment_of(double t, const Vertices& x)
{
    for (int k = 1; k <= 5; ++k)
        if (t <= static_cast<double>(x[k + 1]))
            return k;
    return 0;
}

// Cropped point i as Fitting takes it: its observed y, and the candidate's value at its model x
// unless it lies beyond vertex 6.
struct PointFit {
    float observed = 0.0f;
    std::optional<float> model;
};

PointFit fit_point(const EngineState& state, std::int32_t i)
{
    const Vertices& mx = state.ModelX;
    const Vertices& my = state.ModelY;
    const std::int64_t row = static_cast<std::int64_t>(state.CropStart) + i;
    PointFit point{cell_single(state.data.y_cell(row)), std::nullopt};
    const double t = cell_number(state.data.x_cell(row)) - state.CropOrigin;
    const int k = segment_of(t, mx);
    if (k == 0)
        return point;
    const float dy = single::sub(my[k + 1], my[k], "Fitting");
    const float dx = single::sub(mx[k + 1], mx[k], "Fitting");
    const double along = checked_divide(t - static_cast<double>(mx[k]), dx);
    point.model = to_single(static_cast<double>(my[k]) + static_cast<double>(dy) * along);
    return point;
}

}  // namespace

void Fitting(EngineState& state)
{
    const std::int32_t n = state.CropCount;
    // All or nothing: the first pass raises any fault before the second writes, so a candidate
    // that faults (coinciding break points on a point) leaves both arrays as they were.
    for (std::int32_t i = 1; i <= n; ++i) {
        element(state.CropObserved, i, "CropObserved");
        if (fit_point(state, i).model)
            element(state.CropModel, i, "CropModel");
    }
    for (std::int32_t i = 1; i <= n; ++i) {
        const PointFit point = fit_point(state, i);
        state.CropObserved[static_cast<std::size_t>(i)] = point.observed;
        if (point.model)
            state.CropModel[static_cast<std::size_t>(i)] = *point.model;
    }
}

const double* crop_weights(const EngineState& state)
{
    if (state.DataWeight.empty())
        return nullptr;
    const std::int64_t first = state.CropStart;
    const std::int64_t last = first + std::max<std::int32_t>(state.CropCount, 0);
    if (first < 0 || last >= static_cast<std::int64_t>(state.DataWeight.size()))
        throw Fault(FaultKind::IndexOutOfRange, "DataWeight");
    return state.DataWeight.data() + first + 1;
}

namespace {

// Moves the crop's rows, extent and boxes to its y origin, when its y need one: their values
// less the origin, in double, before the measures read them in single.
void take_about_y_origin(FitCrop& crop)
{
    std::vector<Cell>& cells = crop.rows.DataY;
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    for (std::size_t row = 1; row + 1 < cells.size(); ++row)
        if (cells[row].kind == CellKind::Number) {
            lowest = std::min(lowest, cells[row].number);
            highest = std::max(highest, cells[row].number);
        }
    crop.y_origin = fit_y_origin(lowest, highest);
    if (crop.y_origin == 0.0)
        return;
    crop.min_y = kEmptyRangeLowest;
    crop.max_y = kEmptyRangeHighest;
    for (std::size_t row = 1; row + 1 < cells.size(); ++row)
        if (cells[row].kind == CellKind::Number) {
            cells[row].number -= crop.y_origin;
            include_in_range(cells[row].number, crop.min_y, crop.max_y);
        }
    // Empty and unset boxes keep their marks.
    const auto move = [&](Vertices& lower, Vertices& upper) {
        for (std::size_t k = 1; k <= 6; ++k)
            if (lower[k] <= upper[k] && lower[k] != kUnsetVertex) {
                lower[k] = static_cast<float>(lower[k] - crop.y_origin);
                upper[k] = static_cast<float>(upper[k] - crop.y_origin);
            }
    };
    move(crop.constraint.ymin, crop.constraint.ymax);
    move(crop.manual.ymin, crop.manual.ymax);
}

}  // namespace

FitCrop fit_crop(const EngineState& state)
{
    FitCrop crop;
    const std::int32_t n = std::max<std::int32_t>(state.CropCount, 0);
    DataTable& table = crop.rows;
    table.texts = state.data.texts;
    table.DataX.reserve(static_cast<std::size_t>(n) + 2);
    table.DataY.reserve(static_cast<std::size_t>(n) + 2);
    table.DataX.push_back(Cell::empty());
    table.DataY.push_back(Cell::empty());
    for (std::int32_t i = 1; i <= n; ++i) {
        const std::int64_t row = static_cast<std::int64_t>(state.CropStart) + i;
        table.DataX.push_back(state.data.x_cell(row));
        table.DataY.push_back(state.data.y_cell(row));
    }
    table.DataX.push_back(Cell::empty());
    table.DataY.push_back(Cell::empty());
    table.DataCount = n;
    note_x_order(table);
    if (!state.DataWeight.empty()) {
        const double* weights = crop_weights(state);
        crop.weight.assign(static_cast<std::size_t>(n) + 2, 1.0);
        std::copy(weights, weights + n, crop.weight.begin() + 1);
    }
    crop.origin = state.CropOrigin;
    crop.min_y = state.CropMinY;
    crop.max_y = state.CropMaxY;
    crop.vertices = state.NodeCount;
    crop.constraint = constraint_boxes(state);
    crop.manual = manual_boxes(state);
    take_about_y_origin(crop);
    return crop;
}

double fit_y_origin(double lowest, double highest)
{
    if (!(lowest <= highest))
        return 0.0;
    const double reach = std::max(std::abs(lowest), std::abs(highest));
    return reach > kSingleYReach * (highest - lowest) ? 0.5 * (lowest + highest) : 0.0;
}

Model about_y_origin(Model model, double y_origin)
{
    if (y_origin != 0.0)
        for (std::size_t k = 1; k <= 6; ++k)
            model.y[k] = static_cast<float>(static_cast<double>(model.y[k]) - y_origin);
    return model;
}

EngineState crop_state(const FitCrop& crop)
{
    EngineState s;
    s.data = crop.rows;
    s.DataWeight = crop.weight;
    const std::int32_t n = crop.points();
    s.CropCount = n;
    s.CropEnd = n;
    s.CropOrigin = crop.origin;
    s.CropObserved.assign(static_cast<std::size_t>(n) + 1, 0.0f);
    s.CropModel.assign(static_cast<std::size_t>(n) + 1, 0.0f);
    s.CropMinY = crop.min_y;
    s.CropMaxY = crop.max_y;
    s.NodeCount = crop.vertices;
    set_constraint_boxes(s, crop.constraint);
    set_manual_boxes(s, crop.manual);
    return s;
}

MeasuredModel CropMeasures::measure(const Model& model)
{
    m_state.ModelX = model.x;
    m_state.ModelY = model.y;
    try {
        Fitting(m_state);
        GetSqDist(m_state);
        GetR(m_state);
    } catch (const Fault&) {
        return {};
    }
    return {m_state.SqDist, m_state.BestModelR};
}

const std::vector<float>& CropMeasures::values(const Model& model)
{
    m_state.ModelX = model.x;
    m_state.ModelY = model.y;
    Fitting(m_state);
    return m_state.CropModel;
}

void GetSqDist(EngineState& state)
{
    const std::int32_t n = state.CropCount;
    const double* weights = crop_weights(state);
    state.SqDist = 0.0f;
    for (std::int32_t i = 1; i <= n; ++i) {
        const float d = single::sub(element(state.CropObserved, i, "CropObserved"),
                                    element(state.CropModel, i, "CropModel"), "GetSqDist");
        const double term = weights ? square(d) * weights[i - 1] : square(d);
        state.SqDist = to_single(static_cast<double>(state.SqDist) + term);
    }
}

namespace {

// GetR in plain single operations, in the same order; nullopt where some value left the single
// range, for the checked version to raise the fault. A value out of range shows in the sums:
// an infinite or NaN term leaves every later sum infinite or NaN.
std::optional<float> plain_correlation(const float* observed, const float* model, std::int32_t n)
{
    if (n <= 0)
        return std::nullopt;
    float sum_observed = 0.0f;
    float sum_model = 0.0f;
    for (std::int32_t i = 0; i < n; ++i) {
        sum_observed += observed[i];
        sum_model += model[i];
    }
    const auto count = static_cast<float>(n);
    const float observed_mean = sum_observed / count;
    const float model_mean = sum_model / count;
    float covariance = 0.0f;
    float spread_observed = 0.0f;
    float spread_model = 0.0f;
    for (std::int32_t i = 0; i < n; ++i) {
        const float to_model = model[i] - model_mean;
        const float to_observed = observed[i] - observed_mean;
        covariance += to_model * to_observed;
        spread_observed = static_cast<float>(static_cast<double>(spread_observed) +
                                             square(to_observed));
        spread_model =
            static_cast<float>(static_cast<double>(spread_model) + square(to_model));
    }
    if (!std::isfinite(observed_mean) || !std::isfinite(model_mean) ||
        !std::isfinite(covariance) || !std::isfinite(spread_observed) ||
        !std::isfinite(spread_model))
        return std::nullopt;
    const auto denominator = static_cast<float>(
        std::sqrt(static_cast<double>(spread_model) * static_cast<double>(spread_observed)));
    if (denominator == 0.0f)
        return 0.0f;
    const float r = covariance / denominator;
    return std::isfinite(r) ? std::optional(r) : std::nullopt;
}

}  // namespace

void GetR(EngineState& state)
{
    constexpr const char* where = "GetR";
    const double* weights = crop_weights(state);
    const auto size = static_cast<std::size_t>(std::max<std::int32_t>(state.CropCount, 0)) + 1;
    if (!weights && state.CropObserved.size() >= size && state.CropModel.size() >= size) {
        if (const auto r = plain_correlation(state.CropObserved.data() + 1,
                                             state.CropModel.data() + 1, state.CropCount)) {
            state.BestModelR = *r;
            return;
        }
    }
    const std::int32_t n = state.CropCount;
    const auto observed = [&](std::int32_t i) { return element(state.CropObserved, i, where); };
    const auto model = [&](std::int32_t i) { return element(state.CropModel, i, where); };
    // sum + term of point i in single: with weights float(double(sum) + term * w), which for
    // w = 1 is the single addition (a double holds the exact sum of two singles closely enough).
    const auto add = [&](float sum, float term, std::int32_t i) {
        if (!weights)
            return single::add(sum, term, where);
        return single::finite(static_cast<float>(static_cast<double>(sum) +
                                                 static_cast<double>(term) * weights[i - 1]),
                              where);
    };
    const auto weighed = [&](double square, std::int32_t i) {
        return weights ? square * weights[i - 1] : square;
    };

    float sum_observed = 0.0f;
    float sum_model = 0.0f;
    double total_weight = 0.0;
    for (std::int32_t i = 1; i <= n; ++i) {
        sum_observed = add(sum_observed, observed(i), i);
        sum_model = add(sum_model, model(i), i);
        total_weight += weights ? weights[i - 1] : 0.0;
    }
    const float count =
        weights ? single::finite(static_cast<float>(total_weight), where) : static_cast<float>(n);
    const float observed_mean = single::div(sum_observed, count, where);
    const float model_mean = single::div(sum_model, count, where);

    float covariance = 0.0f;
    for (std::int32_t i = 1; i <= n; ++i) {
        const float product = single::mul(single::sub(model(i), model_mean, where),
                                          single::sub(observed(i), observed_mean, where), where);
        covariance = add(covariance, product, i);
    }
    float spread_observed = 0.0f;
    float spread_model = 0.0f;
    for (std::int32_t i = 1; i <= n; ++i) {
        spread_observed =
            to_single(static_cast<double>(spread_observed) +
                      weighed(square(single::sub(observed(i), observed_mean, where)), i));
        spread_model = to_single(static_cast<double>(spread_model) +
                                 weighed(square(single::sub(model(i), model_mean, where)), i));
    }
    const float denominator = to_single(
        std::sqrt(static_cast<double>(spread_model) * static_cast<double>(spread_observed)));
    state.BestModelR =
        denominator == 0.0f ? 0.0f : single::div(covariance, denominator, where);
}

CropScorer::CropScorer() : m_kernel(fit_points_variants().back().function) {}

bool CropScorer::reads_current_crop(const EngineState& state) const noexcept
{
    const auto needed = static_cast<std::size_t>(std::max<std::int32_t>(state.CropCount, 0)) + 1;
    return m_ready && state.CropStart == m_crop_start && state.CropCount == m_crop_count &&
           state.CropOrigin == m_origin &&
           state.data.DataX.data() == m_x_cells && state.data.DataY.data() == m_y_cells &&
           state.data.DataX.size() == m_rows && state.data.DataY.size() == m_rows &&
           state.DataWeight.data() == m_weight_cells &&
           state.DataWeight.size() == m_weight_rows &&
           state.CropObserved.size() >= needed && state.CropModel.size() >= needed;
}

void CropScorer::read_crop(const EngineState& state)
{
    m_ready = false;
    const std::int32_t n = std::max<std::int32_t>(state.CropCount, 0);
    const auto needed = static_cast<std::size_t>(n) + 1;
    if (state.CropObserved.size() < needed || state.CropModel.size() < needed ||
        state.data.DataX.size() != state.data.DataY.size())
        return;
    m_x.resize(n);
    m_observed.resize(n);
    m_model.resize(n);
    m_squares.resize(n);
    try {
        const double* weights = crop_weights(state);
        m_weights.assign(weights, weights ? weights + n : weights);
        for (std::int32_t i = 1; i <= n; ++i) {
            const std::int64_t row = static_cast<std::int64_t>(state.CropStart) + i;
            m_observed[static_cast<std::size_t>(i - 1)] = cell_single(state.data.y_cell(row));
            m_x[static_cast<std::size_t>(i - 1)] =
                cell_number(state.data.x_cell(row)) - state.CropOrigin;
        }
    } catch (const Fault&) {
        return;  // the reference raises the fault at the same row
    }
    m_crop_start = state.CropStart;
    m_crop_count = state.CropCount;
    m_origin = state.CropOrigin;
    m_x_cells = state.data.DataX.data();
    m_y_cells = state.data.DataY.data();
    m_rows = state.data.DataX.size();
    m_weight_cells = state.DataWeight.data();
    m_weight_rows = state.DataWeight.size();
    m_ready = true;
}

void CropScorer::fit_and_score(EngineState& state)
{
    if (!reads_current_crop(state))
        read_crop(state);
    if (!m_ready) {
        Fitting(state);
        GetSqDist(state);
        return;
    }

    const Vertices& mx = state.ModelX;
    const Vertices& my = state.ModelY;
    SegmentTable segments{};
    for (int k = 1; k <= 5; ++k) {
        segments.end[k - 1] = mx[k + 1];
        segments.start_x[k - 1] = mx[k];
        segments.start_y[k - 1] = my[k];
        segments.dy[k - 1] = my[k + 1] - my[k];  // single subtraction, inf when out of range
        segments.dx[k - 1] = mx[k + 1] - mx[k];
    }
    const int n = m_crop_count;
    const int bad = m_kernel(m_x.data(), m_observed.data(),
                             m_weights.empty() ? nullptr : m_weights.data(),
                             state.CropModel.data() + 1, m_model.data(), m_squares.data(), n,
                             segments);
    if (bad != 0) {
        // Some value faults: the reference raises it at the same point with the same writes.
        Fitting(state);
        GetSqDist(state);
        return;
    }
    std::copy(m_observed.begin(), m_observed.end(), state.CropObserved.begin() + 1);
    std::copy(m_model.begin(), m_model.end(), state.CropModel.begin() + 1);
    SingleRunningSum sum;
    sum.add(m_squares.data(), n);
    if (sum.overflowed()) {
        GetSqDist(state);
        return;
    }
    state.SqDist = sum.value();
}
}  // namespace tolvenar
