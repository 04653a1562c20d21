#pragma once
// The window of one document: its content (editor and toolbar), its menus, its
// file, saving with a prompt for unsaved changes, and a frame that opens where
// the last document window was left ("VelkinDocumentWindow").
#include "app/MarkdownDocument.h"

#include <QMainWindow>
#include <QTimer>

#include <filesystem>
#include <optional>

namespace velkin {

class ContentView;
class VelkinCommands;

class DocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* frameName = "VelkinDocumentWindow";
    // The content area of a new window without a saved frame.
    static constexpr int defaultContentWidth = 700;
    static constexpr int defaultContentHeight = 860;

    // A window on a document; `file` is where it was read from, none for a new one.
    DocumentWindow(MarkdownDocument document, std::optional<std::filesystem::path> file, QWidget* parent = nullptr);
    ~DocumentWindow() override;

    ContentView* contentView() const { return content_; }
    VelkinCommands* commands() const { return commands_; }
    const std::optional<std::filesystem::path>& fileURL() const { return file_; }
    // The document as it is now, with every edit.
    MarkdownDocument document() const;
    // Whether the text differs from what was read or last saved.
    bool isDocumentEdited() const;

    // Writes the document to its file, or asks for one when it has none. True when saved.
    bool save();
    // Asks for a file and writes the document there. True when saved.
    bool saveAs();
    // Writes the document to a file and makes it the window's file; false (with
    // `error` filled in) when it cannot be written.
    bool writeTo(const std::filesystem::path& file, QString* error = nullptr);

    // The window's name: the file's name, or "Untitled".
    QString displayName() const;

    // The content height a new window gets on a screen with `available` points
    // of height when the window's title bar, menus and toolbar take `chrome`.
    static int defaultHeight(int available, int chrome);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void textDidChange();
    void updateTitle();
    void configureFrame();
    bool maySaveChanges();

    ContentView* content_ = nullptr;
    VelkinCommands* commands_ = nullptr;
    std::optional<std::filesystem::path> file_;
    U16String savedText_;
    QTimer frameSaver_;
    bool configured_ = false;
};

} // namespace velkin
