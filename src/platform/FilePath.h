#pragma once
// Paths the user gave, taken as the system takes them. A path is bytes and is
// never tidied by its letters: "lnk/.." is the folder above the one the link
// leads to, not the folder "lnk" stands in, and only the system can tell that.
#include <QUrl>

#include <filesystem>
#include <string>
#include <vector>

namespace velkin::FilePath {

// The path with its folder as the system resolves it (links and ".." followed),
// its last name as given (a link there stays the link); the path made absolute
// from the working folder, and otherwise as given, when the folder cannot be
// resolved (it is gone, or too long for one system call).
std::filesystem::path resolvedFolder(const std::filesystem::path& path);

// The path of a local file's address as bytes: its escapes of bytes that are no
// UTF-8 kept as those bytes (QUrl::toLocalFile() would turn them into U+FFFD).
std::filesystem::path ofLocalURL(const QUrl& url);

// The local files a list of addresses (text/uri-list, as dropped or copied) names, in
// its order, each as bytes: read from the list's own bytes, as QMimeData::urls() turns
// escapes of bytes that are no UTF-8 into U+FFFD.
std::vector<std::filesystem::path> localFiles(const QByteArray& uriList);

// The name a message gives the file at `path`: its last name, that of a folder too when
// the path ends in slashes ("notes/" is "notes"); the path itself when it has no name ("/").
std::string shownName(const std::filesystem::path& path);

// Whether two paths lead to the same existing file (its device and inode).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace velkin::FilePath
