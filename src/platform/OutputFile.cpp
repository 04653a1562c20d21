#include "platform/OutputFile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/resource.h>
#include <sys/statvfs.h>

namespace velkin {

namespace fs = std::filesystem;

namespace {

// A file that remembers a write the system cut short. A large write goes to
// the system at once, and one that ends at a size limit or on a full disk
// part-way comes back short with no error set: a writer that stops there
// (Qt's PDF engine stops writing at its first short write, without a word)
// would leave a file that only looks whole.
template <typename File>
class Checked final : public File {
public:
    using File::File;
    bool cutShort = false;

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        const qint64 written = File::writeData(data, length);
        if (written != length)
            cutShort = true;
        return written;
    }
};

bool cutShort(const QFileDevice* file)
{
    if (const auto* save = dynamic_cast<const Checked<QSaveFile>*>(file))
        return save->cutShort;
    if (const auto* direct = dynamic_cast<const Checked<QFile>*>(file))
        return direct->cutShort;
    return false;
}

} // namespace

OutputFile::OutputFile(const fs::path& destination) : destination_(destination) {}

OutputFile::~OutputFile()
{
    // An uncommitted temporary file is removed with its QSaveFile.
    if (auto* save = dynamic_cast<QSaveFile*>(file_.get()))
        save->cancelWriting();
}

std::optional<std::string> OutputFile::open()
{
    std::error_code ec;
    const fs::file_status status = fs::status(destination_, ec);
    if (fs::is_directory(status))
        return "a folder has that name";
    const QString name = QString::fromStdString(destination_.string());
    direct_ = fs::exists(status) && !fs::is_regular_file(status);
    if (direct_)
        file_ = std::make_unique<Checked<QFile>>(name);
    else
        file_ = std::make_unique<Checked<QSaveFile>>(name);
    if (!file_->open(QIODevice::WriteOnly | (direct_ ? QIODevice::Unbuffered : QIODevice::NotOpen)))
        return file_->errorString().toStdString();
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
    if (direct_) {
        const bool flushed = file_->flush();
        file_->close();
        if (cutShort(file_.get()))
            return refusal();
        if (!flushed || file_->error() != QFileDevice::NoError)
            return refusal();
        return std::nullopt;
    }
    auto* save = static_cast<QSaveFile*>(file_.get());
    // A write the system cut short (a size limit, a full disk) can leave Qt
    // without an error: the file must hold every byte written to it.
    const qint64 written = save->pos();
    if (cutShort(save) || (save->error() == QFileDevice::NoError && (!save->flush() || save->size() < written)))
        return refusal();
    if (save->error() != QFileDevice::NoError || !save->commit())
        return refusal();
    return std::nullopt;
}

std::string OutputFile::refusal() const
{
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
    const fs::path folder = destination_.has_parent_path() ? destination_.parent_path() : fs::path(".");
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
