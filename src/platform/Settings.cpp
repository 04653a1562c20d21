#include "platform/Settings.h"

#include "platform/IniText.h"
#include "platform/OutputFile.h"
#include "platform/text/Utf.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkin::Settings {

namespace fs = std::filesystem;

namespace {

// Which version of the file was read: a file put in place of another is a new one.
struct Signature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long seconds = 0;
    long nanoseconds = 0;
    bool operator==(const Signature&) const = default;
};

std::optional<Signature> signature(const fs::path& file, mode_t* type = nullptr)
{
    struct stat s {};
    if (::stat(file.c_str(), &s) != 0)
        return std::nullopt;
    if (type)
        *type = s.st_mode & S_IFMT;
    return Signature{s.st_dev, s.st_ino, s.st_size, s.st_mtim.tv_sec, s.st_mtim.tv_nsec};
}

// The values of the version last read or written here. QSettings keeps each file it
// parsed and parses it again only when its size or time in milliseconds changed, so a
// file written here twice within a millisecond at the same size would read as the
// older one; this version, known by its inode too, is taken as it is.
struct Known {
    fs::path file;
    Signature version;
    QMap<QString, QVariant> values;
};

std::mutex knownMutex;
std::optional<Known> known;

void remember(const fs::path& file, const QMap<QString, QVariant>& values)
{
    const auto version = signature(file);
    std::lock_guard lock(knownMutex);
    if (version)
        known = Known{file, *version, values};
    else
        known.reset();
}

// The file's values, read without writing anything; why it could not be read, if so (a
// missing file holds nothing yet; a folder in its place holds nothing, and a write names it).
QMap<QString, QVariant> read(const fs::path& file, std::string& unreadable)
{
    mode_t type = 0;
    const auto version = signature(file, &type);
    if (!version) {
        if (errno != ENOENT && errno != ENOTDIR)
            unreadable = std::strerror(errno);
        return {};
    }
    // A pipe or a device in its place is never opened (a pipe would wait for a writer).
    if (type != S_IFREG && type != S_IFDIR) {
        unreadable = "it is not a regular file";
        return {};
    }
    {
        std::lock_guard lock(knownMutex);
        if (known && known->file == file && known->version == *version)
            return known->values;
    }
    std::error_code ec;
    if (fs::is_directory(file, ec))
        return {};
    // QSettings takes a file's name as text alone: a path that is not UTF-8 is read
    // through the link to a descriptor opened on it here.
    QString name = QString::fromStdString(file.string());
    int held = -1;
    if (!decodeUtf8Strict(file.string())) {
        held = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat opened {};
        if (held < 0 || ::fstat(held, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            unreadable = held < 0 ? std::strerror(errno) : "it is not a regular file";
            if (held >= 0)
                ::close(held);
            return {};
        }
        name = QStringLiteral("/proc/self/fd/%1").arg(held);
    }
    QMap<QString, QVariant> values;
    {
        QSettings reader(name, QSettings::IniFormat);
        if (reader.status() == QSettings::AccessError) {
            QFile attempt(name);
            unreadable = attempt.open(QIODevice::ReadOnly) ? "access refused" : attempt.errorString().toStdString();
        } else {
            for (const QString& key : reader.allKeys())
                values.insert(key, reader.value(key));
        }
    }
    if (held >= 0)
        ::close(held);
    if (!unreadable.empty())
        return {};
    std::lock_guard lock(knownMutex);
    known = Known{file, *version, values};
    return values;
}

// A failed write is said once for each cause, not at every window that closes.
void report(const fs::path& file, const std::string& reason)
{
    static std::mutex mutex;
    static std::string reported;
    std::lock_guard lock(mutex);
    if (reason == reported)
        return;
    reported = reason;
    std::fprintf(stderr, "Settings not saved: cannot write %s (%s)\n", file.c_str(), reason.c_str());
    std::fflush(stderr);
}

} // namespace

Store::Store(fs::path file) : file_(std::move(file))
{
    read_ = read(file_, unreadable_);
    values_ = read_;
}

Store::~Store()
{
    write();
}

QString Store::full(const QString& key) const
{
    return group_.isEmpty() ? key : group_ + u'/' + key;
}

QVariant Store::value(const QString& key, const QVariant& fallback) const
{
    return values_.value(full(key), fallback);
}

bool Store::contains(const QString& key) const
{
    return values_.contains(full(key));
}

void Store::setValue(const QString& key, const QVariant& value)
{
    values_.insert(full(key), value);
}

void Store::remove(const QString& key)
{
    const QString name = full(key);
    const QString below = name + u'/';
    for (auto it = values_.begin(); it != values_.end();)
        it = it.key() == name || it.key().startsWith(below) ? values_.erase(it) : std::next(it);
}

void Store::beginGroup(const QString& group)
{
    group_ = full(group);
}

void Store::endGroup()
{
    const qsizetype slash = group_.lastIndexOf(u'/');
    group_ = slash < 0 ? QString() : group_.left(slash);
}

QStringList Store::childKeys() const
{
    const QString prefix = group_.isEmpty() ? QString() : group_ + u'/';
    QStringList keys;
    for (auto it = values_.lowerBound(prefix); it != values_.end() && it.key().startsWith(prefix); ++it)
        if (!it.key().mid(prefix.size()).contains(u'/'))
            keys.append(it.key().mid(prefix.size()));
    return keys;
}

std::optional<std::string> Store::write()
{
    const QByteArray text = IniText::text(values_);
    if (text == IniText::text(read_))
        return std::nullopt;
    std::optional<std::string> failure;
    if (!unreadable_.empty()) {
        // What could not be read is not replaced by the little that was set.
        failure = "it could not be read: " + unreadable_;
    } else {
        std::error_code ignored;
        fs::create_directories(file_.parent_path(), ignored);
        failure = OutputFile::writeWhole(file_, std::string_view(text.constData(), size_t(text.size())));
    }
    if (failure) {
        report(file_, *failure);
        // Said once: the change is dropped, and the file keeps what it held.
        values_ = read_;
        return failure;
    }
    read_ = values_;
    remember(file_, values_);
    return std::nullopt;
}

std::unique_ptr<Store> open()
{
    // The folder as the system names it, its bytes kept (a name need not be UTF-8; Qt's text would not keep it).
    fs::path folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        folder = config;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        folder = fs::path(home) / ".config";
    else
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
    return std::make_unique<Store>(folder / "Velkin" / "Velkin.ini");
}

} // namespace velkin::Settings
