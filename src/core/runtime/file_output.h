// SPDX-License-Identifier: GPL-3.0-or-later
// Writing an output file whole or not at all: the window's Save and tolvenar-fit's pictures.
#pragma once

#include <string>

namespace tolvenar {

// Writes `bytes` to `path` (its name's bytes as they are), replacing what was there. Returns ""
// when written, else why not ("No space left on device"): every failed write and close is told,
// and a regular file written in part is removed.
std::string write_file(const std::string& path, const std::string& bytes);

}  // namespace tolvenar
