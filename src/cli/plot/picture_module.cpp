// SPDX-License-Identifier: GPL-3.0-or-later
// write_picture hands the drawing to the module built from fit_picture.cpp, loaded on first use:
// Qt and the libraries under it then cost nothing to a run that writes no picture.
#include "cli/plot/fit_picture.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace tolvenar::plot {

namespace {

constexpr const char* kModuleName = "tolvenar-fit-plot.so";
constexpr const char* kEntry = "tolvenar_fit_draw_picture";
using DrawPicture = void (*)(const std::string&, const FitPicture&, std::string&);

// Where the module may lie: named by TOLVENAR_FIT_PLOT_MODULE, beside the executable (a build
// tree), or in the installed library folder relative to it.
std::vector<std::string> module_places()
{
    std::vector<std::string> places;
    if (const char* named = std::getenv("TOLVENAR_FIT_PLOT_MODULE"); named && *named)
        places.emplace_back(named);
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path folder = exe.parent_path();
        places.push_back((folder / kModuleName).string());
        places.push_back((folder / TOLVENAR_PLOT_MODULE_DIR / kModuleName).lexically_normal());
    }
    return places;
}

struct Module {
    DrawPicture draw = nullptr;
    std::string reason;  // why it could not be loaded
};

Module load_module()
{
    Module module;
    module.reason = std::string("the picture module ") + kModuleName + " was not found";
    for (const std::string& place : module_places()) {
        std::error_code missing;
        if (!std::filesystem::exists(place, missing))
            continue;
        void* handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            module.reason = "the picture module cannot be loaded: " + std::string(dlerror());
            continue;
        }
        module.draw = reinterpret_cast<DrawPicture>(dlsym(handle, kEntry));
        if (module.draw)
            return module;
        module.reason = "the picture module " + place + " lacks " + kEntry;
    }
    return module;
}

}  // namespace

bool is_picture_name(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".png" || end == ".svg";
}

std::string write_picture(const std::string& path, const FitPicture& picture)
{
    static std::once_flag once;
    static Module module;
    std::call_once(once, [] { module = load_module(); });
    if (!module.draw)
        return "cannot write the picture " + path + ": " + module.reason;
    std::string failed;
    module.draw(path, picture, failed);
    return failed;
}

}  // namespace tolvenar::plot
