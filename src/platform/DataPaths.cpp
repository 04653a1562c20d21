#include "platform/DataPaths.h"

namespace velkin::DataPaths {

namespace fs = std::filesystem;

const fs::path& sourceRoot()
{
    static const fs::path root(VELKIN_SOURCE_ROOT);
    return root;
}

std::optional<fs::path> installedDataDirectory()
{
    // The executable itself, not the application object: command-line modes may run
    // before there is one, and a symbolic link to the program leads to where it is.
    static const std::optional<fs::path> data = []() -> std::optional<fs::path> {
        std::error_code ec;
        const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
        if (ec)
            return std::nullopt;
        const fs::path beside = executable.parent_path().parent_path() / "share" / "velkin";
        if (!fs::is_directory(beside, ec))
            return std::nullopt;
        return beside;
    }();
    return data;
}

bool isInstalled()
{
    return installedDataDirectory().has_value();
}

std::vector<fs::path> folderCandidates(const std::string& name, Order order)
{
    if (auto installed = installedDataDirectory())
        return {*installed / name};
    if (order == Order::workingDirectoryFirst)
        return {fs::path(name), sourceRoot() / name};
    return {sourceRoot() / name, fs::path(name)};
}

std::optional<fs::path> findFolder(const std::string& name, Order order)
{
    for (const fs::path& folder : folderCandidates(name, order)) {
        std::error_code ec;
        if (fs::is_directory(folder, ec))
            return folder;
    }
    return std::nullopt;
}

} // namespace velkin::DataPaths
