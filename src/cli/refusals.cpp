// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/refusals.h"

#include "core/job/fit_record.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <utility>

namespace tolvenar::cli {

namespace {

constexpr std::string_view kProgram = "tolvenar-fit";

}  // namespace

Refused usage_error(const std::string& message)
{
    return Refused(kExitRefused, message + " (see --help)");
}

void say(std::ostream& err, std::string_view message)
{
    std::string line(kProgram);
    line += ": ";
    for (const char c : message)
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    err << line << '\n';
}

void refuse_shared_streams(const std::vector<std::string>& files)
{
    std::map<std::pair<dev_t, ino_t>, const std::string*> seen;
    for (const std::string& file : files) {
        struct stat info{};
        if ((file == "-" ? fstat(STDIN_FILENO, &info) : stat(file.c_str(), &info)) != 0)
            continue;  // the import tells why it cannot be read
        const auto [at, first] = seen.emplace(std::pair(info.st_dev, info.st_ino), &file);
        const std::string& other = *at->second;
        if (!first && (file == "-" || other == "-" || !S_ISREG(info.st_mode)))
            throw usage_error("\"" + other + "\" and \"" + file +
                              "\" are one stream, which can be read only once");
    }
}

}  // namespace tolvenar::cli
