// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/pictures.h"

#include "cli/fit_command.h"
#include "cli/picture_loader.h"
#include "cli/refusals.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

namespace tolvenar::cli {

namespace {

namespace fs = std::filesystem;

// The leading folders `a` and `b` share.
fs::path common_folder(const fs::path& a, const fs::path& b)
{
    fs::path common;
    for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end() && *i == *j; ++i, ++j)
        common /= *i;
    return common;
}

fs::path absolute_path(const std::string& file)
{
    std::error_code error;
    const fs::path path = fs::absolute(file, error);
    return (error ? fs::path(file) : path).lexically_normal();
}

}  // namespace

bool plot_folder(const FitOptions& options)
{
    return options.files.size() > 1 || options.plot.ends_with('/') ||
           fs::is_directory(options.plot);
}

void check_plot_path(const FitOptions& options)
{
    if (options.plot.empty())
        return;
    if (!plot_folder(options)) {
        if (!plot::is_picture_name(options.plot))
            throw usage_error("--plot " + options.plot + ": the picture's name needs to end in "
                              ".png or .svg");
        return;
    }
    std::error_code error;
    fs::create_directories(options.plot, error);
    if (!fs::is_directory(options.plot))
        throw refused("--plot " + options.plot + ": cannot make the folder for the pictures");
}

std::vector<std::string> picture_paths(const FitOptions& options,
                                       const std::vector<std::string>& files)
{
    std::vector<std::string> paths(files.size());
    if (options.plot.empty())
        return paths;
    if (!plot_folder(options)) {  // one file given, none or one in this shard
        std::fill(paths.begin(), paths.end(), options.plot);
        return paths;
    }
    std::vector<fs::path> below(files.size());  // each file's path below the common folder
    std::optional<fs::path> common;
    for (const std::string& file : files)
        if (file != "-") {
            const fs::path folder = absolute_path(file).parent_path();
            common = common ? common_folder(*common, folder) : folder;
        }
    for (std::size_t i = 0; i < files.size(); ++i)
        below[i] = files[i] == "-" ? fs::path("stdin")
                                   : absolute_path(files[i]).lexically_relative(*common);
    // First choices: the ending replaced, or kept where that alone tells two files apart.
    const auto stem = [](fs::path path) { return path.replace_extension().string(); };
    std::map<std::string, int> uses;  // by distinct files: one given again is still one
    for (const fs::path& path : std::set<fs::path>(below.begin(), below.end()))
        ++uses[stem(path)];
    std::vector<std::string> names(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        names[i] = uses[stem(below[i])] > 1 ? below[i].string() : stem(below[i]);
    // A name given already goes on with -2, -3, ..., past every other file's first choice.
    const std::set<std::string> chosen(names.begin(), names.end());
    std::set<std::string> given;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string name = names[i];
        for (int n = 2; given.contains(name) || (name != names[i] && chosen.contains(name)); ++n)
            name = names[i] + "-" + std::to_string(n);
        given.insert(name);
        paths[i] = (fs::path(options.plot) / (name + ".png")).string();
    }
    return paths;
}

InputFiles::InputFiles(const std::vector<std::string>& files)
{
    for (const std::string& file : files) {
        struct stat info{};
        if (file != "-" && stat(file.c_str(), &info) == 0)
            m_files.emplace(std::pair(info.st_dev, info.st_ino), file);
    }
}

std::string InputFiles::input_at(const std::string& path) const
{
    struct stat info{};
    if (stat(path.c_str(), &info) != 0)
        return "";
    const auto found = m_files.find({info.st_dev, info.st_ino});
    return found == m_files.end() ? "" : found->second;
}

void write_result_picture(FitRecord& result, const InputFiles& inputs)
{
    if (!result.picture)
        return;
    std::string failed;
    if (const std::string input = inputs.input_at(result.picture_path); !input.empty()) {
        failed = "the picture " + result.picture_path + " would replace the input file " + input;
    } else {
        std::error_code error;
        if (const fs::path folder = fs::path(result.picture_path).parent_path(); !folder.empty())
            fs::create_directories(folder, error);  // a failure shows in the writing
        failed = plot::write_picture(result.picture_path, *result.picture);
    }
    result.picture.reset();
    if (!failed.empty() && result.code == kExitSuccess) {  // the numbers stand
        result.code = kExitOutputFailed;
        result.reason = failed;
    }
}

}  // namespace tolvenar::cli
