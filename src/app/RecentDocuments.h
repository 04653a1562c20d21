#pragma once
// Documents the user has worked on, kept in the application's settings
// (Velkin/Velkin.ini under the user's configuration folder): the files of the
// File menu's Open Recent list, most recent first, and each document file's
// zoom and font family, restored when it is opened again.
#include "platform/attributed/MarkdownFontFamily.h"

#include <QStringList>

#include <filesystem>
#include <optional>

namespace velkin::RecentDocuments {

// How many files the Open Recent list keeps.
constexpr int maximumCount = 10;

// How the list keeps a file: its path as text where it is UTF-8, else as a file
// address whose escapes keep every byte of it (a name need not be UTF-8).
QString entry(const std::filesystem::path& file);
// The file an entry of the list names.
std::filesystem::path file(const QString& entry);

// `list` with `file` moved (or added) to the front, at most `maximum` long.
QStringList noted(QStringList list, const QString& file, int maximum = maximumCount);

// The recent files' entries, most recent first.
QStringList files();
// Puts a file just opened or saved at the front of the list.
void note(const std::filesystem::path& file);
// Takes an entry off the list (one that no longer exists).
void remove(const QString& entry);
// Empties the list.
void clear();

// A document file's window state.
struct WindowState {
    double zoom = 1.0;
    MarkdownFontFamily fontFamily = MarkdownFontFamily::sansSerif;
    bool operator==(const WindowState&) const = default;
};
// The state saved for a file, none when nothing (or nothing readable) was saved.
// A saved zoom outside 0.6 to 3.0 is brought inside.
std::optional<WindowState> windowState(const std::filesystem::path& file);
void saveWindowState(const std::filesystem::path& file, const WindowState& state);

} // namespace velkin::RecentDocuments
