// SPDX-License-Identifier: GPL-3.0-or-later
// The shared fixtures under their former names, until the search tests include fixtures.h.
#pragma once
#include "support/fixtures.h"
namespace tolvenar::testing {
using test::fault_of;
using test::set_model;
constexpr auto& state_with_points = test::state_over;
}  // namespace tolvenar::testing
