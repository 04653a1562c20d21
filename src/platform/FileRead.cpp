#include "platform/FileRead.h"

#include "platform/text/Utf.h"

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace velkin::FileRead {

namespace {

// Whether `info` is a regular file of at most `maxBytes`; else why not.
std::optional<Failure> refusal(const struct stat& info, long long maxBytes)
{
    if (S_ISDIR(info.st_mode))
        return Failure{Failure::Kind::folder, EISDIR};
    if (!S_ISREG(info.st_mode))
        return Failure{Failure::Kind::notRegular, 0};
    if (info.st_size > maxBytes)
        return Failure{Failure::Kind::tooLarge, EFBIG};
    return std::nullopt;
}

} // namespace

std::string describe(const Failure& failure)
{
    switch (failure.kind) {
    case Failure::Kind::folder: return "it is a folder";
    case Failure::Kind::notRegular: return "it is not a regular file";
    case Failure::Kind::tooLarge: return "it is too large";
    case Failure::Kind::missing:
    case Failure::Kind::unreadable: break;
    }
    return std::strerror(failure.error ? failure.error : EIO);
}

bool Regular::refuse(Failure::Kind kind, int error, Failure* failure)
{
    if (failure)
        *failure = Failure{kind, error};
    return false;
}

std::optional<Regular> Regular::open(const std::filesystem::path& path, long long maxBytes, Failure* failure)
{
    const auto fail = [&](Failure why) -> std::optional<Regular> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fail({errno == ENOENT ? Failure::Kind::missing : Failure::Kind::unreadable, errno});
    if (auto why = refusal(info, maxBytes))
        return fail(*why);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail({errno == ENOENT ? Failure::Kind::missing : Failure::Kind::unreadable, errno});
    Regular file(fd, 0);
    if (::fstat(fd, &info) != 0)
        return fail({Failure::Kind::unreadable, errno});
    if (auto why = refusal(info, maxBytes))
        return fail(*why);
    // The flag stays: reads of a file on disk never wait anyway, and a file of the system's
    // own that looks regular but waits for what it tells (the kernel's log) says so at once.
    file.size_ = info.st_size;
    return file;
}

Regular::~Regular()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string Regular::head(size_t n)
{
    std::string bytes(n, '\0');
    size_t got = 0;
    while (got < n) {
        const ssize_t read = ::pread(fd_, bytes.data() + got, n - got, off_t(got));
        if (read == 0 || (read < 0 && errno != EINTR))
            break;  // (one that would wait too)
        got += read > 0 ? size_t(read) : 0;
    }
    bytes.resize(got);
    return bytes;
}

std::optional<std::string> bytes(const std::filesystem::path& path, long long maxBytes, Failure* failure)
{
    auto file = Regular::open(path, maxBytes, failure);
    std::string contents;
    if (!file || !file->readAll(contents, maxBytes, failure))
        return std::nullopt;
    return contents;
}

std::optional<U16String> utf8Text(const std::filesystem::path& path)
{
    const auto data = bytes(path);
    if (!data)
        return std::nullopt;
    return decodeUtf8Strict(*data);
}

} // namespace velkin::FileRead
