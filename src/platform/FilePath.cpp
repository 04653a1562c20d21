#include "platform/FilePath.h"

#include "platform/url/Url.h"

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

std::vector<fs::path> localFiles(const QByteArray& uriList)
{
    std::vector<fs::path> files;
    for (const QByteArray& line : uriList.split('\n')) {
        const QByteArray address = line.trimmed();
        if (address.isEmpty() || address.startsWith('#'))
            continue;
        // Some lists carry a name's bytes as they are rather than escaped: escaped here, both read alike.
        const std::optional<Url> url = Url::parse(Url::percentEncode(
            std::string_view(address.constData(), size_t(address.size())), [](unsigned char c) { return c > 0x20 && c < 0x7F; }));
        if (url && url->isFileURL() && (url->host().empty() || url->host() == "localhost") && !url->path().empty())
            files.emplace_back(url->path());
    }
    return files;
}

std::string shownName(const fs::path& path)
{
    fs::path named = path;
    // "a/" names "a"; so does "a//".
    while (named.has_relative_path() && named.filename().empty())
        named = named.parent_path();
    const std::string name = named.filename().string();
    return name.empty() ? path.string() : name;
}

bool sameFile(const fs::path& a, const fs::path& b)
{
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
           && first.st_ino == second.st_ino;
}

} // namespace velkin::FilePath
