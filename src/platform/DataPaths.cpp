#include "platform/DataPaths.h"

#include <QCoreApplication>

namespace velkin::DataPaths {

namespace fs = std::filesystem;

const fs::path& sourceRoot()
{
    static const fs::path root(VELKIN_SOURCE_ROOT);
    return root;
}

std::optional<fs::path> installedDataDirectory()
{
    // Installed layout: <prefix>/bin/velkin beside <prefix>/share/velkin.
    std::error_code ec;
    if (QCoreApplication::instance()) {
        const fs::path beside = fs::path(QCoreApplication::applicationDirPath().toStdString()) / ".." / "share" / "velkin";
        if (fs::is_directory(beside, ec))
            return fs::weakly_canonical(beside, ec);
    }
    const fs::path configured(VELKIN_DATA_DIR);
    if (fs::is_directory(configured, ec) && QCoreApplication::instance()
        && fs::path(QCoreApplication::applicationDirPath().toStdString()) == configured.parent_path().parent_path() / "bin")
        return configured;
    return std::nullopt;
}

bool isInstalled()
{
    static const bool installed = installedDataDirectory().has_value();
    return installed;
}

std::optional<fs::path> findFolder(const std::string& name)
{
    std::error_code ec;
    if (auto installed = installedDataDirectory())
        if (fs::is_directory(*installed / name, ec))
            return *installed / name;
    if (fs::is_directory(sourceRoot() / name, ec))
        return sourceRoot() / name;
    if (fs::is_directory(fs::path(name), ec))
        return fs::path(name);
    return std::nullopt;
}

} // namespace velkin::DataPaths
