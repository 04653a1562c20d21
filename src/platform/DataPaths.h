#pragma once
// Where the data folders Velkin reads at run time (Help/, Samples/, Localization/) live.
#include <filesystem>
#include <optional>

namespace velkin::DataPaths {

// The source tree the program was built from.
const std::filesystem::path& sourceRoot();
// The installed data folder (<prefix>/share/velkin) when it exists.
std::optional<std::filesystem::path> installedDataDirectory();
// True when the program runs from an installed copy (its data folder exists beside it).
bool isInstalled();
// The first existing folder named `name`: installed data folder, source root, working directory.
std::optional<std::filesystem::path> findFolder(const std::string& name);

} // namespace velkin::DataPaths
