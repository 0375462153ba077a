// SPDX-License-Identifier: GPL-3.0-or-later
// One input through the whole import and a few crops: the fuzz target's body, also replayed
// over the kept corpus by the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvenar::fuzz {

// Reads `data` as a data file, runs the overview checks and crops the result with windows
// taken from the data and from the input. Refusals and runtime faults are expected outcomes;
// a broken table invariant, or a bisecting crop that disagrees with the plain loops, aborts.
void exercise_data_reader(const std::uint8_t* data, std::size_t size);

}  // namespace tolvenar::fuzz
