#include "selftest/SelfTestContext.h"

#include "platform/DataPaths.h"
#include "platform/FileRead.h"
#include "platform/text/Utf.h"

#include <QUuid>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velkin::SelfTestFiles {

namespace fs = std::filesystem;

namespace {

std::optional<U16String> readUtf8(const fs::path& path)
{
    return FileRead::utf8Text(path);
}

} // namespace

bool isBundled() { return DataPaths::isInstalled(); }

std::optional<U16String> loadTestFile()
{
    if (auto folder = samplesDirectory())
        return readUtf8(*folder / "demo.md");
    return std::nullopt;
}

std::optional<fs::path> samplesDirectory()
{
    for (const fs::path& folder : DataPaths::folderCandidates("Samples", DataPaths::Order::workingDirectoryFirst)) {
        std::error_code ec;
        if (fs::is_regular_file(folder / "demo.md", ec) && readUtf8(folder / "demo.md"))
            return folder;
    }
    return std::nullopt;
}

std::vector<fs::path> localizationDirectories()
{
    for (const fs::path& folder : DataPaths::folderCandidates("Localization")) {
        std::vector<fs::path> found;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().extension() == ".lproj")
                found.push_back(it->path());
        if (!found.empty()) {
            std::sort(found.begin(), found.end(),
                      [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
            return found;
        }
    }
    return {};
}

fs::path temporaryPath(const std::string& prefix, const std::string& extension)
{
    const std::string uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    std::string name = prefix + uuid;
    if (!extension.empty())
        name += "." + extension;
    return fs::temp_directory_path() / name;
}

} // namespace velkin::SelfTestFiles
