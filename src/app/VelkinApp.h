#pragma once
// The application: one document window per document. It creates new and
// opened documents, brings forward a document that is already open, runs the
// event loop and ends it after the last window has closed.
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <string>
#include <vector>

class QWidget;

namespace velkin {

class DocumentWindow;

class VelkinApp : public QObject {
public:
    // The application object, made on first use; it lives until the process ends.
    static VelkinApp& shared();

    // Opens the files (a new document when none is given), then runs the event
    // loop until the last window closes. Returns the loop's status.
    int run(const std::vector<std::string>& files);
    // Opens each file in its window; a file that cannot be opened is reported
    // in an alert. Returns how many opened.
    int openFiles(const std::vector<std::string>& files);

    // A new, empty document in a new window, shown.
    DocumentWindow* newDocument();
    // The document in a file: its window brought forward when it is open already,
    // else a new window. Null (and `error` filled in) when the file cannot be read;
    // null with no error when it looks binary and the user chose not to open it.
    DocumentWindow* openDocument(const std::filesystem::path& file, QString* error = nullptr);
    // Opens the file of an entry of the Open Recent list; one that no longer
    // exists is reported and taken off the list.
    DocumentWindow* openRecent(const QString& entry, QWidget* parent = nullptr);
    // Asks for Markdown files to open.
    void showOpenDialog(QWidget* parent);
    // Closes every window, each asking about its unsaved changes; stops at a Cancel.
    bool closeAll();
    // Closes every window and, when all closed, ends the event loop.
    void quit();

    // The open document windows, oldest first.
    std::vector<DocumentWindow*> documentWindows() const;
    // The window of a file, or null.
    DocumentWindow* windowFor(const std::filesystem::path& file) const;

private:
    VelkinApp();
    DocumentWindow* show(DocumentWindow* window);

    std::vector<QPointer<DocumentWindow>> windows_;
};

} // namespace velkin
