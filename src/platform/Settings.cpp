#include "platform/Settings.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace velkin::Settings {

namespace fs = std::filesystem;

namespace {

// QSettings writes its file through a buffered temporary file whose last flush the
// system may cut short without an error (a full disk, a file-size limit), and then puts
// the cut-down file in place of the whole one. So each use works on a scratch copy
// beside the file, and the copy takes the file's place only once it reads back as
// everything that was set; otherwise the file stays as it was.
class CheckedSettings final : public QSettings {
public:
    // Without a whole copy (a full disk, an unreadable file) nothing set can be kept.
    CheckedSettings(const QString& scratch, QString file, QByteArray before, bool keepable)
        : QSettings(scratch, QSettings::IniFormat), file_(std::move(file)), before_(std::move(before)),
          keepable_(keepable)
    {
    }

    ~CheckedSettings() override
    {
        sync();
        const QString scratch = fileName();
        QFile written(scratch);
        const bool changed = !written.open(QIODevice::ReadOnly) || written.readAll() != before_;
        written.close();
        std::error_code ignored;
        if (keepable_ && changed && status() == QSettings::NoError && readsBackWhole())
            fs::rename(fs::path(scratch.toStdString()), fs::path(file_.toStdString()), ignored);
        fs::remove(fs::path(scratch.toStdString()), ignored);
    }

private:
    // Values read back from the file are text where they were set as numbers or flags.
    static bool same(const QVariant& set, const QVariant& read)
    {
        return set == read || (set.canConvert<QString>() && read.canConvert<QString>() && set.toString() == read.toString());
    }

    bool readsBackWhole()
    {
        QSettings back(fileName(), QSettings::IniFormat);
        QStringList keys = allKeys();
        QStringList readKeys = back.allKeys();
        std::sort(keys.begin(), keys.end());
        std::sort(readKeys.begin(), readKeys.end());
        if (keys != readKeys)
            return false;
        return std::all_of(keys.begin(), keys.end(), [&](const QString& key) { return same(value(key), back.value(key)); });
    }

    QString file_;
    QByteArray before_;
    bool keepable_;
};

// A copy of the file's bytes beside it, and whether it is whole.
std::pair<QString, bool> scratchCopy(const QString& file, const QByteArray& bytes)
{
    std::error_code ignored;
    fs::create_directories(fs::path(file.toStdString()).parent_path(), ignored);
    QTemporaryFile scratch(file + QStringLiteral(".XXXXXX"));
    scratch.setAutoRemove(false);
    if (!scratch.open())
        return {file + QStringLiteral(".unwritable"), false};
    const bool whole = scratch.write(bytes) == bytes.size() && scratch.flush() && scratch.size() == bytes.size();
    scratch.close();
    return {scratch.fileName(), whole};
}

} // namespace

std::unique_ptr<QSettings> open()
{
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/Velkin/Velkin.ini");
    QByteArray before;
    QFile current(file);
    const bool readable =
        !current.exists() || (current.open(QIODevice::ReadOnly) && (before = current.readAll(), current.error() == QFile::NoError));
    current.close();
    auto [scratch, whole] = scratchCopy(file, before);
    return std::make_unique<CheckedSettings>(scratch, file, std::move(before), readable && whole);
}

} // namespace velkin::Settings
