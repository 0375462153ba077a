// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvenar {

std::string write_file(const std::string& path, const std::string& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    int error = 0;
    for (std::size_t at = 0; at < bytes.size() && error == 0;) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n > 0)
            at += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            error = n == 0 ? EIO : errno;
    }
    struct stat info{};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (close(fd) != 0 && error == 0)  // where a full disk or a lost network share may show
        error = errno;
    if (error == 0)
        return "";
    if (regular)  // no half file left behind
        unlink(path.c_str());
    return std::strerror(error);
}

}  // namespace tolvenar
