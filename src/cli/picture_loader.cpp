// SPDX-License-Identifier: GPL-3.0-or-later
// write_picture hands the drawing to the renderer's module and writes the bytes it gets back
// itself.
#include "cli/picture_loader.h"

#include "core/runtime/file_output.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tolvenar::plot {

namespace {

constexpr const char* kModuleName = "tolvenar-fit-plot.so";
constexpr const char* kEntry = "tolvenar_fit_render_picture";
constexpr const char* kStart = "tolvenar_fit_start_pictures";
using RenderPicture = bool (*)(bool svg, const FitPicture&, std::string& bytes);
using StartPictures = void (*)();

// Where the module may lie: named by TOLVENAR_FIT_PLOT_MODULE, beside the executable (a build
// tree), in the installed library folder relative to it, or where the build made it (the
// window and the tests run from other folders of the build tree).
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
    places.emplace_back(TOLVENAR_PLOT_MODULE_BUILT);
    return places;
}

struct Module {
    RenderPicture render = nullptr;
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
        module.render = reinterpret_cast<RenderPicture>(dlsym(handle, kEntry));
        const auto start = reinterpret_cast<StartPictures>(dlsym(handle, kStart));
        if (module.render && start) {
            start();
            return module;
        }
        module.reason = "the picture module " + place + " lacks " + kEntry + " or " + kStart;
    }
    return module;
}

// The module, loaded on the first call.
const Module& module()
{
    static const Module loaded = load_module();
    return loaded;
}

}  // namespace

void load_picture_module()
{
    module();
}

std::string write_picture(const std::string& path, const FitPicture& picture)
{
    const Module& module = plot::module();
    const std::string failed = "cannot write the picture " + path + ": ";
    if (!module.render)
        return failed + module.reason;
    std::string bytes;
    if (!module.render(picture_ending(path) == ".svg", picture, bytes))
        return failed + "the drawing failed";
    const std::string reason = write_file(path, bytes);
    return reason.empty() ? reason : failed + reason;
}

}  // namespace tolvenar::plot
