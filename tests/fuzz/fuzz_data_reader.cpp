// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: data files through the reader, the overview checks and the crop.
#include "data_reader_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tolvenar::fuzz::exercise_data_reader(data, size);
    return 0;
}
