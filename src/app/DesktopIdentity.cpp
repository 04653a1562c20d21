#include "app/DesktopIdentity.h"

#include "platform/DataPaths.h"

#include <QFile>
#include <QGuiApplication>

namespace velkin::DesktopIdentity {

namespace fs = std::filesystem;

QIcon icon()
{
    QIcon themed = QIcon::fromTheme(QString::fromLatin1(applicationId));
    if (!themed.isNull())
        return themed;
    QIcon sized;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const std::string name = std::string(applicationId) + ".png";
        const std::string square = std::to_string(size) + "x" + std::to_string(size);
        std::vector<fs::path> candidates;
        // Installed under any prefix: <prefix>/share/velkin beside <prefix>/share/icons;
        // run from the build tree: the icons the package is made from.
        if (auto data = DataPaths::installedDataDirectory())
            candidates.push_back(data->parent_path() / "icons" / "hicolor" / square / "apps" / name);
        else if (auto icons = DataPaths::findFolder("packaging/icons"))
            candidates.push_back(*icons / (std::string(applicationId) + "-" + std::to_string(size) + ".png"));
        for (const fs::path& candidate : candidates) {
            const QString file = QFile::decodeName(candidate.c_str());
            if (QFile::exists(file)) {
                sized.addFile(file, QSize(size, size));
                break;
            }
        }
    }
    return sized;
}

void apply()
{
    QGuiApplication::setDesktopFileName(QString::fromLatin1(applicationId));
    const QIcon windows = icon();
    if (!windows.isNull())
        QGuiApplication::setWindowIcon(windows);
}

} // namespace velkin::DesktopIdentity
