#pragma once
// Where the data folders Velkin reads at run time (Help/, Samples/, Localization/) live.
// An installed program reads them only from where it is installed, relative to its
// executable (<prefix>/bin/velkin beside <prefix>/share/velkin); the source tree
// recorded at build time serves only a program run from its build tree.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkin::DataPaths {

// The source tree the program was built from: for tests and benchmarks run from
// the build tree. The program's own look-ups go through findFolder.
const std::filesystem::path& sourceRoot();
// The installed data folder, <prefix>/share/velkin beside the executable's
// <prefix>/bin, when it exists.
std::optional<std::filesystem::path> installedDataDirectory();
// True when the program runs from an installed copy (its data folder exists beside it).
bool isInstalled();

// Which of the two places a program run from its build tree tries first.
enum class Order { sourceRootFirst, workingDirectoryFirst };
// The places a data folder named `name` may be, in the order to try them: for an
// installed program its installed data folder alone; otherwise under the source
// root and in the working directory.
std::vector<std::filesystem::path> folderCandidates(const std::string& name, Order order = Order::sourceRootFirst);
// The first of those that exists.
std::optional<std::filesystem::path> findFolder(const std::string& name, Order order = Order::sourceRootFirst);

} // namespace velkin::DataPaths
