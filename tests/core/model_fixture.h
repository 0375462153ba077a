// SPDX-License-Identifier: GPL-3.0-or-later
// The old names of the shared fixtures, for the search tests until they include fixtures.h.
#pragma once

#include "support/fixtures.h"

namespace tolvenar::testing {
using test::fault_of;
using test::set_model;
inline EngineState state_with_points(const std::vector<double>& x, const std::vector<double>& y)
{
    return test::state_over(x, y);
}
}  // namespace tolvenar::testing
