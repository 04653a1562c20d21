#pragma once
// The window of one document: its content (editor and toolbar), its menus, its
// file, saving with a prompt for unsaved changes, and a frame that opens where
// the last document window was left ("VelkinDocumentWindow").
//
// The file is watched: when another program changes it, an unmodified document
// reloads (caret and scroll kept), and a modified one is never saved over the
// newer file without asking. A file that is deleted or moved keeps the window's
// text, which then counts as unsaved, and the next save asks where to save.
#include "app/DocumentFile.h"
#include "app/ContentView.h"
#include "app/MarkdownDocument.h"
#include "app/SavedText.h"

#include <QMainWindow>
#include <QTimer>

#include <filesystem>
#include <optional>

namespace velkin {

class VelkinCommands;

class DocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* frameName = "VelkinDocumentWindow";
    // The content area of a new window without a saved frame.
    static constexpr int defaultContentWidth = 700;
    static constexpr int defaultContentHeight = 860;

    // A window on a document; `file` is where it was read from, none for a new
    // one; `reading` what was read there (the document's own bytes when not given).
    DocumentWindow(MarkdownDocument document, std::optional<std::filesystem::path> file,
                   std::optional<MarkdownDocument::Reading> reading = std::nullopt, QWidget* parent = nullptr);
    ~DocumentWindow() override;

    ContentView* contentView() const { return content_; }
    VelkinCommands* commands() const { return commands_; }
    const std::optional<std::filesystem::path>& fileURL() const { return file_; }
    // The document as it is now, with every edit.
    MarkdownDocument document() const;
    // Whether closing the window would lose text: it differs from what was read
    // or last saved, or the file it came from is gone.
    bool isDocumentEdited() const;
    // Whether the text differs from what was read or last saved. Exact, yet
    // it compares only what the edits since reached.
    bool isTextEdited() const;
    // Whether the window's file was deleted or moved away while open.
    bool isFileMissing() const { return fileMissing_; }
    // Whether the text was repaired from bytes that were not UTF-8 and not saved since.
    bool isRepaired() const { return repaired_; }
    // The watch on the window's file.
    DocumentFile& diskFile() { return disk_; }

    // Writes the document to its file, or asks for one when it has none. True when saved.
    bool save();
    // Asks for a file and writes the document there. True when saved.
    bool saveAs();
    // Writes the document to a file and makes it the window's file; false (with
    // `error` filled in) when it cannot be written.
    bool writeTo(const std::filesystem::path& file, QString* error = nullptr);

    // The window's name: the file's name, or "Untitled".
    QString displayName() const;

    // Whether Revert to Saved applies: the text is edited and its file is there.
    bool canRevert() const;
    // Asks, then puts back the text last saved. True when reverted.
    bool revertToSaved();
    // Reads the file again into the window through the editor's rebuild (the
    // caret stays where it was, clipped to the new length; the scroll position
    // stays). False, with `error` filled in, when the file cannot be read.
    bool reload(QString* error = nullptr);

    // The content height a new window gets on a screen with `available` points
    // of height when the window's title bar, menus and toolbar take `chrome`.
    static int defaultHeight(int available, int chrome);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void textDidChange(const std::optional<ContentView::Edit>& edit);
    void updateTitle();
    void updateNotice();
    void configureFrame();
    bool maySaveChanges();
    void changedOnDisk(DocumentFile::DiskState state);
    // Asks what to do about a file changed by another program; true to write over it.
    bool mayOverwriteNewerFile();
    // Asks before a repaired text replaces the file's original bytes.
    bool mayReplaceOriginalBytes();
    // Whether a new file can be made in a folder (tried, not read from its permissions).
    static bool folderTakesFiles(const std::filesystem::path& folder);
    // Says that the document's folder can't be written to and offers Save As; true when saved.
    bool offerSaveAs(const std::filesystem::path& folder);
    void saveWindowState() const;

    ContentView* content_ = nullptr;
    VelkinCommands* commands_ = nullptr;
    std::optional<std::filesystem::path> file_;
    DocumentFile disk_;
    // What was read or last saved; mutable as it learns which stretches are equal.
    mutable SavedText saved_;
    bool fileMissing_ = false;
    bool repaired_ = false;
    // The file began with a byte-order mark: kept out of the text, written back on save.
    bool byteOrderMark_ = false;
    QTimer frameSaver_;
    bool configured_ = false;
};

} // namespace velkin
