#include "app/DocumentFile.h"

#include "export/OutputBudget.h"
#include "platform/FileRead.h"
#include "platform/MachineMemory.h"
#include "platform/text/Utf.h"

#include <functional>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkin {

namespace fs = std::filesystem;

DocumentFile::DocumentFile(QObject* parent) : QObject(parent)
{
    settle_.setSingleShot(true);
    settle_.setInterval(settleMilliseconds);
    connect(&settle_, &QTimer::timeout, this, &DocumentFile::look);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &DocumentFile::schedule);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DocumentFile::schedule);
}

DocumentFile::~DocumentFile()
{
    clear();
}

std::uint64_t DocumentFile::digest(std::string_view bytes)
{
    return std::hash<std::string_view>{}(bytes) ^ (std::uint64_t(bytes.size()) * 0x9E3779B97F4A7C15ULL);
}

void DocumentFile::setFile(const fs::path& path, std::string_view bytes)
{
    const bool moved = !path_ || *path_ != path;
    if (moved)
        clear();
    path_ = path;
    known_ = digest(bytes);
    reported_ = DiskState::same;
    reportedDigest_ = known_;
    watch();
}

void DocumentFile::clear()
{
    settle_.stop();
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    if (!watcher_.directories().isEmpty())
        watcher_.removePaths(watcher_.directories());
    release(heldFile_);
    release(heldFolder_);
    path_.reset();
}

QString DocumentFile::watchName(const fs::path& path, int& held)
{
    const std::string bytes = path.string();
    if (decodeUtf8Strict(bytes))
        return QString::fromStdString(bytes);
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        release(held);
        return QString();
    }
    struct stat now {}, before {};
    if (held >= 0 && ::fstat(held, &before) == 0 && ::fstat(fd, &now) == 0 && now.st_dev == before.st_dev
        && now.st_ino == before.st_ino) {
        ::close(fd);
    } else {
        // Another file has the name now (one put in place by a rename): it is the one watched.
        release(held);
        held = fd;
    }
    return QStringLiteral("/proc/self/fd/%1").arg(held);
}

void DocumentFile::release(int& held)
{
    if (held < 0)
        return;
    const QString name = QStringLiteral("/proc/self/fd/%1").arg(held);
    if (watcher_.files().contains(name) || watcher_.directories().contains(name))
        watcher_.removePath(name);
    ::close(held);
    held = -1;
}

void DocumentFile::watch()
{
    if (!path_)
        return;
    // A file replaced by a rename is a new file: its watch ends with the old one and is set again here.
    const QString file = watchName(*path_, heldFile_);
    const QString folder = watchName(path_->parent_path(), heldFolder_);
    std::error_code ec;
    if (!file.isEmpty() && !watcher_.files().contains(file) && fs::exists(*path_, ec))
        watcher_.addPath(file);
    if (!folder.isEmpty() && !watcher_.directories().contains(folder) && fs::is_directory(path_->parent_path(), ec))
        watcher_.addPath(folder);
}

void DocumentFile::schedule()
{
    // Not restarted by later signs, so that a file written without pause is still looked at.
    if (!settle_.isActive())
        settle_.start();
}

DocumentFile::DiskState DocumentFile::check(std::string* bytes) const
{
    if (!path_)
        return DiskState::same;
    std::error_code ec;
    if (!fs::exists(*path_, ec))
        return DiskState::missing;
    // A file grown past what a window may hold differs from the bytes it holds, unread.
    const uint64_t largest = OutputBudget::largestText(OutputBudget::Output::window, MachineMemory::atHand());
    if (fs::file_size(*path_, ec) > largest && !ec)
        return DiskState::changed;
    std::optional<std::string> now = FileRead::bytes(*path_, std::numeric_limits<long long>::max());
    // Present but unreadable (a folder now, no permission): the known bytes are not there.
    if (!now)
        return DiskState::missing;
    if (digest(*now) == known_)
        return DiskState::same;
    if (bytes)
        *bytes = std::move(*now);
    return DiskState::changed;
}

void DocumentFile::look()
{
    if (!path_)
        return;
    watch();
    std::string bytes;
    const DiskState state = check(&bytes);
    const std::uint64_t seen = state == DiskState::changed ? digest(bytes) : 0;
    if (state == reported_ && (state != DiskState::changed || seen == reportedDigest_))
        return;
    reported_ = state;
    reportedDigest_ = state == DiskState::same ? known_ : seen;
    emit changedOnDisk(state);
}

} // namespace velkin
