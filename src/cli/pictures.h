// SPDX-License-Identifier: GPL-3.0-or-later
// Where the pictures of --plot go, and their writing on the main thread: PATH itself for one
// file, else one picture a file in the folder PATH, named by the file's path below the folder
// all files share, so that two inputs never share a picture and none replaces an input.
#pragma once

#include "cli/arguments.h"
#include "core/job/fit_record.h"

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tolvenar::cli {

// --plot names a folder of pictures for many files, and for one when it says so ("out/") or is
// one already.
bool plot_folder(const FitOptions& options);

// The picture's destination exists or is made; a single picture needs a .png or .svg name.
void check_plot_path(const FitOptions& options);

// The picture of each of `files` ("" for all without --plot; name every file given, and a shard
// takes its own): PATH, or in the folder PATH the file's path below the files' common folder
// with .png for its ending (a/x.csv, b/x.csv: PATH/a/x.png, PATH/b/x.png; standard input "-":
// stdin.png). Files that would still share a name keep their ending (x.csv.png, x.txt.png); the
// same file given again gets x-2.png, x-3.png unless another file has that name. The bytes of a
// name stay as they are.
std::vector<std::string> picture_paths(const FitOptions& options,
                                       const std::vector<std::string>& files);

// The input files by their identity on disk, so that a picture never replaces one, whatever
// path names it.
class InputFiles {
public:
    InputFiles() = default;
    explicit InputFiles(const std::vector<std::string>& files);
    // The input that `path` names, or "" when it names none (or nothing yet).
    std::string input_at(const std::string& path) const;

private:
    std::map<std::pair<dev_t, ino_t>, std::string> m_files;
};

// Writes result.picture to result.picture_path (its folders made) and frees it. A picture that
// would replace an input, or cannot be written, leaves a fitted result "not written" (exit 1)
// with the reason, its numbers kept.
void write_result_picture(FitRecord& result, const InputFiles& inputs);

}  // namespace tolvenar::cli
