#include "platform/OutputFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace velkin {

namespace fs = std::filesystem;

namespace {

// A file that remembers a write the system cut short. A large write goes to
// the system at once, and one that ends at a size limit or on a full disk
// part-way comes back short with no error set: a writer that stops there
// (Qt's PDF engine stops writing at its first short write, without a word)
// would leave a file that only looks whole.
class Checked final : public QFile {
public:
    bool cutShort = false;

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        const qint64 written = QFile::writeData(data, length);
        if (written != length)
            cutShort = true;
        return written;
    }
};

bool cutShort(const QFileDevice* file)
{
    const auto* checked = dynamic_cast<const Checked*>(file);
    return checked && checked->cutShort;
}

// The folder a path names its file in, as written: "" (the working folder) for a bare name.
fs::path folderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path();
}

// The file a path leads to through links, each link's text taken as the system
// takes it (relative to the folder the link is in, ".." and all): the path
// itself when it is no link; the missing file a dangling link names.
fs::path linkEnd(fs::path path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::vector<char> target(size_t(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size())
            return path;
        const fs::path next(std::string(target.data(), size_t(n)));
        path = next.is_absolute() ? next : folderOf(path) / next;
    }
    return path;
}

std::optional<std::string> refusalOf(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return std::string("a folder has that name");
    if (!S_ISREG(info.st_mode))
        return std::string("it is not a regular file");
    return std::nullopt;
}

// Extended attributes go with the text, access lists among them: a save must not
// change who else may read the file. One the system refuses (a security label only
// the administrator sets) is left behind, as a new file would have it.
void copyAttributes(const char* from, int to)
{
    std::string names;
    for (ssize_t size = ::listxattr(from, nullptr, 0); size > 0; size = ::listxattr(from, nullptr, 0)) {
        names.resize(std::size_t(size));
        size = ::listxattr(from, names.data(), names.size());
        if (size >= 0) {
            names.resize(std::size_t(size));
            break;
        }
        if (errno != ERANGE)
            return;
    }
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = names.find('\0', at);
        if (end == std::string::npos)
            break;
        const char* name = names.c_str() + at;
        at = end + 1;
        const ssize_t length = ::getxattr(from, name, nullptr, 0);
        if (length < 0)
            continue;
        value.resize(std::size_t(length));
        const ssize_t read = ::getxattr(from, name, value.data(), value.size());
        if (read >= 0)
            (void)::fsetxattr(to, name, value.data(), std::size_t(read), 0);
    }
}

} // namespace

OutputFile::OutputFile(const fs::path& destination) : destination_(destination) {}

OutputFile::~OutputFile()
{
    discard();
}

void OutputFile::discard()
{
    file_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

std::optional<std::string> OutputFile::replaceRefusal(const fs::path& destination)
{
    struct stat info {};
    if (::stat(destination.c_str(), &info) != 0)
        return std::nullopt;
    return refusalOf(info);
}

std::optional<std::string> OutputFile::open()
{
    discard();
    // A pipe or a device is never opened: opening a pipe waits for a reader.
    if (auto refusal = replaceRefusal(destination_))
        return refusal;
    final_ = linkEnd(destination_);
    // A name the system cannot hold fails here with its own reason, not at the temporary file.
    struct stat old {};
    const bool replaces = ::stat(final_.c_str(), &old) == 0;
    if (!replaces && errno != ENOENT)
        return std::string(std::strerror(errno));
    // A file the user may not write is not theirs to replace, however the folder would take a
    // new one beside it: a read-only file stays as it is, and another user's stays theirs.
    // (The administrator writes any file, as the system lets them.)
    if (replaces && ::faccessat(AT_FDCWD, final_.c_str(), W_OK, AT_EACCESS) != 0
        && (errno == EACCES || errno == EPERM || errno == EROFS))
        return std::string(std::strerror(errno));
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".velkin-%012llx", (unsigned long long)(random() & 0xFFFFFFFFFFFFULL));
        temporary_ = folderOf(final_) / name;
        // A new file is made with the user's file-creation mask, as any new file; one that
        // replaces another is the user's alone until it takes the old one's mode at the end,
        // so that what a private file holds is never open to others on the way.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replaces ? 0600 : 0666);
        if (fd_ < 0 && errno != EEXIST) {
            const int error = errno;
            temporary_.clear();
            return std::string(std::strerror(error));
        }
    }
    if (fd_ < 0) {
        temporary_.clear();
        return std::string(std::strerror(EEXIST));
    }
    auto file = std::make_unique<Checked>();
    if (!file->open(fd_, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        const std::string reason = file->errorString().toStdString();
        discard();
        return reason;
    }
    file_ = std::move(file);
    return std::nullopt;
}

QFileDevice& OutputFile::device()
{
    return *file_;
}

bool OutputFile::failed() const
{
    return !file_ || file_->error() != QFileDevice::NoError || cutShort(file_.get());
}

std::optional<std::string> OutputFile::commit()
{
    if (!file_ || !file_->isOpen())
        return std::string("the file was not open");
    // A write the system cut short (a size limit, a full disk) can leave Qt
    // without an error: the file must hold every byte written to it.
    const qint64 written = file_->pos();
    struct stat made {};
    if (failed() || !file_->flush() || failed() || ::fstat(fd_, &made) != 0 || made.st_size < written)
        return refusal();
    // A disk that takes the bytes only when they are put down says so now, while the old file stands.
    // (A file system that cannot sync says so otherwise; that is no failure.)
    if (::fdatasync(fd_) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT)) {
        error_ = errno;
        return refusal();
    }
    struct stat old {};
    if (::stat(final_.c_str(), &old) == 0) {
        if (auto refusal = refusalOf(old))
            return refusal;
        // The owner first, which may clear the set-user bits; the mode after. Giving a
        // file away is for the administrator alone: a user keeps the group if it is theirs.
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd_, uid_t(-1), old.st_gid);
        (void)::fchmod(fd_, old.st_mode & 07777);
        copyAttributes(final_.c_str(), fd_);
    }
    file_->close();
    if (::close(fd_) != 0) {
        fd_ = -1;
        error_ = errno;
        return refusal();
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
        const int error = errno;
        discard();
        return std::string(std::strerror(error));
    }
    temporary_.clear();
    return std::nullopt;
}

std::string OutputFile::refusal() const
{
    if (error_)
        return std::strerror(error_);
    // Qt reports a write the system cut short as an unknown error.
    const bool known = file_ && file_->error() != QFileDevice::NoError
                       && file_->errorString() != QLatin1String("Unknown error") && !cutShort(file_.get());
    if (known && !file_->errorString().isEmpty())
        return file_->errorString().toStdString();
    rlimit limit{};
    if (file_ && getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
        && static_cast<unsigned long long>(file_->pos()) >= limit.rlim_cur)
        return std::strerror(EFBIG);
    struct statvfs disk {};
    const fs::path folder = folderOf(final_).empty() ? fs::path(".") : folderOf(final_);
    if (statvfs(folder.c_str(), &disk) == 0 && disk.f_bavail == 0)
        return std::strerror(ENOSPC);
    return "the disk refused the data";
}

std::optional<std::string> OutputFile::writeWhole(const fs::path& destination, const Writer& write)
{
    OutputFile out(destination);
    if (auto failure = out.open())
        return failure;
    // A write the system cut short is named for its cause, whatever the writer made of it.
    if (auto failure = write(out.device()))
        return out.failed() ? out.refusal() : *failure;
    if (out.failed())
        return out.refusal();
    return out.commit();
}

std::optional<std::string> OutputFile::writeWhole(const fs::path& destination, std::string_view bytes)
{
    return writeWhole(destination, [bytes](QIODevice& out) -> std::optional<std::string> {
        if (out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
            return std::string("not every byte could be written");
        return std::nullopt;
    });
}

} // namespace velkin
