#include "platform/FilePath.h"

#include <cstdlib>
#include <memory>
#include <system_error>

#include <sys/stat.h>

namespace velkin::FilePath {

namespace fs = std::filesystem;

fs::path resolvedFolder(const fs::path& path)
{
    std::error_code ec;
    const fs::path name = path.filename();
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // A name that is itself a step ("." or "..", or none after a slash) is no file in the folder.
    if (!name.empty() && name != "." && name != "..") {
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
        if (real)
            return fs::path(real.get()) / name;
    }
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute;
}

fs::path ofLocalURL(const QUrl& url)
{
    return fs::path(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
}

bool sameFile(const fs::path& a, const fs::path& b)
{
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
           && first.st_ino == second.st_ino;
}

} // namespace velkin::FilePath
