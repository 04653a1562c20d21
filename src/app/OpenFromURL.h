#pragma once
// Opening a Markdown document that lives at a web address: the address is asked
// for in a small dialog (or given by a clicked link), the document is downloaded
// (or read, for a file address), saved under a fresh folder of the temporary
// directory and opened in a new document window. Every failure is shown in one
// warning alert.
#include "platform/text/Range.h"

#include <QString>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace velkin::OpenFromURL {

// A download gives up after this long without any data arriving...
inline constexpr int transferTimeoutMilliseconds = 30'000;
// ...and when the document grows beyond this size.
inline constexpr qint64 maximumBytes = 64LL << 20;

// Asks for an address in a modal dialog; an accepted one starts `open`, any
// other shows the invalid-address alert. Cancel does nothing.
void present(QWidget* parent = nullptr);

// The typed text as an address: trimmed, with an http, https or file scheme in
// any letter case; nothing otherwise.
std::optional<QUrl> acceptedAddress(const QString& typed);

// What a download gave: the text (ill-formed UTF-8 repaired), or the message
// to show.
struct Download {
    std::optional<U16String> text;
    QString error;
};
// Fetches or reads the address; `done` runs on the main thread once, later.
void download(const QUrl& address, std::function<void(Download)> done);

// Downloads the address and opens the copy as a document; reports failures itself.
void open(const QUrl& address);

// The file name a downloaded address is saved under: its last path component
// decoded ("Downloaded" when there is none), with ".md" added unless it already
// has a Markdown or text extension.
std::string temporaryFileName(const QUrl& address);
// Writes the text as UTF-8 under a fresh folder of the temporary directory;
// nothing (and `error` filled in) when it cannot.
std::optional<std::filesystem::path> writeTemporaryFile(U16View text, const QUrl& from, QString* error = nullptr);

// Shows a failure in the warning alert with the open-from-address title.
void showError(const QString& message);

} // namespace velkin::OpenFromURL
