#pragma once
// The one way Velkin reads a file it was given or looks up: only a regular file
// is read, never waited on. A folder, a pipe, a socket or a device in its place
// is refused: it is looked at before it is opened (opening a pipe would wait for
// a writer, a device may act on being opened) and again once open (the name may
// have been given to another file in between), and it is opened and read without
// waiting: a file of the system's own that waits to be read (/proc/kmsg) is refused too.
#include "platform/text/Range.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include <unistd.h>

namespace velkin::FileRead {

// Why a file was not read.
struct Failure {
    enum class Kind { missing, folder, notRegular, tooLarge, unreadable };
    Kind kind = Kind::unreadable;
    int error = 0;  // the system's reason (errno), for missing and unreadable
};

// What a failure says after the file's name: "is not a regular file", the system's reason.
std::string describe(const Failure& failure);

// A regular file open for reading, closed when it goes.
class Regular {
public:
    // Opens `path` when it is a regular file of at most `maxBytes`; else `failure` says why.
    static std::optional<Regular> open(const std::filesystem::path& path, long long maxBytes, Failure* failure = nullptr);
    Regular(Regular&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }
    Regular& operator=(Regular&&) = delete;
    ~Regular();

    long long size() const { return size_; }

    // The first `n` bytes at most (fewer when the file is shorter or a read is refused).
    std::string head(size_t n);

    // Reads the rest of the file into `buffer` (a std::string or a QByteArray); false
    // when the system refused a read or the file grew past `maxBytes` meanwhile.
    template <typename Buffer>
    bool readAll(Buffer& buffer, long long maxBytes, Failure* failure = nullptr)
    {
        // The size told first, in place; then whatever the file grew by, a piece at a time.
        buffer.resize(decltype(buffer.size())(size_));
        long long got = 0;
        while (got < size_) {
            const ssize_t n = ::read(fd_, buffer.data() + got, size_t(size_ - got));
            if (n == 0)
                break;
            if (n < 0 && errno != EINTR)
                return refuseRead(failure);
            got += n > 0 ? n : 0;
        }
        buffer.resize(decltype(buffer.size())(got));
        if (got < size_)
            return true;
        char piece[16 * 1024];
        for (;;) {
            const ssize_t n = ::read(fd_, piece, sizeof piece);
            if (n == 0)
                return true;
            if (n < 0 && errno != EINTR)
                return refuseRead(failure);
            if (n < 0)
                continue;
            if ((long long)buffer.size() + n > maxBytes)
                return refuse(Failure::Kind::tooLarge, EFBIG, failure);
            buffer.append(piece, decltype(buffer.size())(n));
        }
    }

private:
    Regular(int fd, long long size) : fd_(fd), size_(size) {}
    static bool refuse(Failure::Kind kind, int error, Failure* failure);
    // A read the system refused (errno): one that would wait is no regular file's.
    static bool refuseRead(Failure* failure)
    {
        const int error = errno;
        return error == EAGAIN ? refuse(Failure::Kind::notRegular, error, failure)
                               : refuse(Failure::Kind::unreadable, error, failure);
    }

    int fd_ = -1;
    long long size_ = 0;
};

// The whole contents of a regular file; nothing when it is missing, not a
// regular file, unreadable or larger than `maxBytes` (then `failure` says which).
std::optional<std::string> bytes(const std::filesystem::path& path, long long maxBytes = 256LL << 20,
                                 Failure* failure = nullptr);
// The same read as strict UTF-8 text; nothing when the bytes are not UTF-8.
std::optional<U16String> utf8Text(const std::filesystem::path& path);

} // namespace velkin::FileRead
