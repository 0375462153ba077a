// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/boxes.h"

namespace tolvenar {

void forget_best_of_best(EngineState& state)
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

void clear_manual_boxes(EngineState& state)
{
    for (int k = 1; k <= 6; ++k) {
        state.ManXMin[k] = kUnsetVertex;
        state.ManYMin[k] = kUnsetVertex;
        state.ManXMax[k] = kUnsetVertex;
        state.ManYMax[k] = kUnsetVertex;
    }
}

void widen_constraint_boxes(EngineState& state)
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

void copy_boxes(const EngineState& from, EngineState& to)
{
    to.ConXMin = from.ConXMin;
    to.ConXMax = from.ConXMax;
    to.ConYMin = from.ConYMin;
    to.ConYMax = from.ConYMax;
    to.ManXMin = from.ManXMin;
    to.ManXMax = from.ManXMax;
    to.ManYMin = from.ManYMin;
    to.ManYMax = from.ManYMax;
}

}  // namespace tolvenar
