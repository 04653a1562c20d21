#include "app/DocumentWindow.h"

#include "app/ContentView.h"
#include "app/RecentDocuments.h"
#include "app/VelkinCommands.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "platform/FilePath.h"
#include "platform/OutputFile.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/view/SavePanel.h"
#include "platform/view/WindowFrame.h"
#include "platform/text/QtString.h"
#include "platform/text/Utf.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolBar>

#include <algorithm>
#include <cstdlib>

#include <unistd.h>

namespace velkin {

namespace fs = std::filesystem;

namespace {

QString localized(const char16_t* key)
{
    return toQString(LocalizedStrings::text(key));
}

// A format of the string tables with the document's name in it.
QString localized(const char16_t* key, const QString& name)
{
    return toQString(LocalizedStrings::format(LocalizedStrings::text(key), {fromQString(name)}));
}

// A dialog button's title with its access key; `english` when no table has the key.
QString button(const char16_t* key, const char16_t* english)
{
    return toQString(LocalizedStrings::text(key, english));
}

QString cancelTitle()
{
    return button(u"buttonCancel", u"&Cancel");
}

// An alert with buttons titled `buttons`, the last of them the answer to Escape;
// the default is the last too unless `defaultIndex` says otherwise. Returns the
// index of the button pressed.
size_t ask(QWidget* parent, const QString& title, const QString& text, const QString& informative,
           const std::vector<QString>& buttons, std::optional<size_t> defaultIndex = std::nullopt)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(informative);
    std::vector<QPushButton*> added;
    for (const QString& label : buttons)
        added.push_back(box.addButton(label, &label == &buttons.back() ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    box.setDefaultButton(added[defaultIndex.value_or(added.size() - 1)]);
    box.setEscapeButton(added.back());
    box.exec();
    const auto pressed = std::find(added.begin(), added.end(), box.clickedButton());
    return pressed == added.end() ? added.size() - 1 : size_t(pressed - added.begin());
}

} // namespace

DocumentWindow::DocumentWindow(MarkdownDocument document, std::optional<fs::path> file,
                               std::optional<MarkdownDocument::Reading> reading, QWidget* parent)
    : QMainWindow(parent), file_(std::move(file)), saved_(document.text)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const std::string bytes = reading ? reading->bytes : document.data();
    repaired_ = reading && reading->repaired;
    byteOrderMark_ = document.byteOrderMark;
    const std::optional<RecentDocuments::WindowState> saved = file_ ? RecentDocuments::windowState(*file_) : std::nullopt;
    content_ = new ContentView(
        std::move(document.text),
        [this](const std::optional<ContentView::Edit>& edit) { textDidChange(edit); }, this,
        saved ? saved->zoom : 1.0, saved ? saved->fontFamily : MarkdownFontFamily::sansSerif);
    setCentralWidget(content_);
    addToolBar(Qt::TopToolBarArea, content_->toolbar());
    commands_ = new VelkinCommands(this);
    if (file_)
        disk_.setFile(*file_, bytes);
    content_->setStateChanged([this] { saveWindowState(); });
    connect(&disk_, &DocumentFile::changedOnDisk, this, &DocumentWindow::changedOnDisk);
    updateTitle();
    updateNotice();

    // Moves and resizes are saved once they settle, not at every step of a drag.
    frameSaver_.setSingleShot(true);
    frameSaver_.setInterval(300);
    connect(&frameSaver_, &QTimer::timeout, this, [this] { WindowFrame::save(this, frameName); });
    configureFrame();
}

DocumentWindow::~DocumentWindow() = default;

MarkdownDocument DocumentWindow::document() const
{
    return MarkdownDocument{content_->text(), byteOrderMark_};
}

bool DocumentWindow::isDocumentEdited() const
{
    return isTextEdited() || fileMissing_;
}

bool DocumentWindow::isTextEdited() const
{
    return saved_.differs(content_->documentText());
}

QString DocumentWindow::displayName() const
{
    return file_ ? QString::fromStdString(file_->filename().string()) : localized(u"Untitled");
}

void DocumentWindow::textDidChange(const std::optional<ContentView::Edit>& edit)
{
    if (edit)
        saved_.replaced(edit->oldLength, edit->range);
    else
        saved_.replacedAll();
    setWindowModified(isDocumentEdited());
}

void DocumentWindow::updateNotice()
{
    content_->setNotice(repaired_ ? localized(u"repairedTextNotice", displayName()) : QString());
}

void DocumentWindow::saveWindowState() const
{
    if (file_)
        RecentDocuments::saveWindowState(*file_, {content_->editorZoom(), content_->editorFontFamily()});
}

void DocumentWindow::changedOnDisk(DocumentFile::DiskState state)
{
    switch (state) {
    case DocumentFile::DiskState::same:
        fileMissing_ = false;
        break;
    case DocumentFile::DiskState::missing:
        fileMissing_ = true;
        break;
    case DocumentFile::DiskState::changed:
        fileMissing_ = false;
        // Edits are never thrown away here: a modified document asks when it is saved.
        if (!isTextEdited())
            reload();
        break;
    }
    updateTitle();
}

bool DocumentWindow::reload(QString* error)
{
    if (!file_)
        return false;
    std::string reason;
    MarkdownDocument::Reading reading;
    // A file grown past what the memory at hand takes is refused before it is read.
    std::optional<std::string> refusal = MarkdownDocument::tooLargeForWindow(*file_);
    std::optional<MarkdownDocument> document =
        refusal ? std::nullopt : MarkdownDocument::read(*file_, &reason, &reading);
    if (refusal)
        reason = std::move(*refusal);
    if (!document) {
        if (error)
            *error = QString::fromStdString(reason);
        return false;
    }
    saved_.save(document->text);
    content_->replaceText(std::move(document->text));
    disk_.setFile(*file_, reading.bytes);
    fileMissing_ = false;
    repaired_ = reading.repaired;
    byteOrderMark_ = document->byteOrderMark;
    updateTitle();
    updateNotice();
    return true;
}

bool DocumentWindow::canRevert() const
{
    std::error_code ec;
    return file_ && isTextEdited() && !fileMissing_ && fs::exists(*file_, ec);
}

bool DocumentWindow::revertToSaved()
{
    if (!canRevert())
        return false;
    if (ask(this, displayName(), localized(u"revertPrompt", displayName()), localized(u"revertPromptDetail"),
            {button(u"buttonRevert", u"&Revert"), cancelTitle()}, 0)
        != 0)
        return false;
    QString error;
    if (reload(&error))
        return true;
    QMessageBox::warning(this, displayName(), error);
    return false;
}

bool DocumentWindow::mayOverwriteNewerFile()
{
    const size_t answer = ask(this, displayName(), localized(u"fileChangedPrompt", displayName()),
                              localized(u"fileChangedPromptDetail"),
                              {button(u"buttonOverwrite", u"&Overwrite"), button(u"buttonReloadEllipsis", u"&Reload\u2026"), cancelTitle()});
    if (answer == 0)
        return true;
    if (answer == 1) {
        if (ask(this, displayName(), localized(u"reloadPrompt", displayName()), localized(u"reloadPromptDetail"),
                {button(u"buttonReload", u"&Reload"), cancelTitle()})
            == 0) {
            QString error;
            if (!reload(&error))
                QMessageBox::warning(this, displayName(), error);
        }
    }
    return false;
}

bool DocumentWindow::mayReplaceOriginalBytes()
{
    return ask(this, displayName(), localized(u"repairedSavePrompt", displayName()),
               localized(u"repairedSavePromptDetail"), {button(u"buttonReplace", u"&Replace"), cancelTitle()})
           == 0;
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(displayName() + QStringLiteral("[*]"));
    setWindowFilePath(file_ ? QString::fromStdString(file_->string()) : QString());
    setProperty(MarkdownTextView::documentPathProperty, QByteArray::fromStdString(file_ ? file_->string() : std::string()));
    setWindowModified(isDocumentEdited());
}

bool DocumentWindow::writeTo(const fs::path& file, QString* error)
{
    // Encoded straight from the window's text: a long document is not copied first.
    const std::string bytes = MarkdownDocument::encode(content_->text(), byteOrderMark_);
    if (const auto failure = OutputFile::writeWhole(file, bytes)) {
        if (error)
            *error = toQString(LocalizedStrings::format(
                LocalizedStrings::text(u"saveErrorMessage"),
                {fromQString(QString::fromStdString(file.filename().string())), u16(*failure)}));
        return false;
    }
    const fs::path written = FilePath::resolvedFolder(file);
    const bool moved = file_ != written;
    file_ = written;
    saved_.save(content_->text());
    disk_.setFile(*file_, bytes);
    fileMissing_ = false;
    repaired_ = false;
    RecentDocuments::note(*file_);
    saveWindowState();
    updateTitle();
    updateNotice();
    // Pictures written relative to the document now resolve against its new folder.
    if (moved)
        content_->editor()->documentURLChanged();
    return true;
}

bool DocumentWindow::save()
{
    if (!file_)
        return saveAs();
    // Never over a file that another program wrote since, and never silently
    // somewhere the document no longer is.
    switch (disk_.check()) {
    case DocumentFile::DiskState::missing:
        fileMissing_ = true;
        updateTitle();
        return saveAs();
    case DocumentFile::DiskState::changed:
        if (!mayOverwriteNewerFile())
            return false;
        break;
    case DocumentFile::DiskState::same:
        break;
    }
    if (repaired_ && !mayReplaceOriginalBytes())
        return false;
    QString error;
    if (writeTo(*file_, &error))
        return true;
    // Saving writes a new file beside the old one: a folder that takes no new file
    // stops it however writable the file is. Then the way on is another folder.
    if (!folderTakesFiles(file_->parent_path()))
        return offerSaveAs(file_->parent_path());
    QMessageBox::warning(this, displayName(), error);
    return false;
}

bool DocumentWindow::folderTakesFiles(const fs::path& folder)
{
    // Tried with the folder's name as bytes (a name need not be UTF-8).
    std::string probe = (folder / ".velkin-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool DocumentWindow::offerSaveAs(const fs::path& folder)
{
    const QString message = toQString(LocalizedStrings::format(
        LocalizedStrings::text(u"folderNotWritableMessage"), {fromQString(displayName()), u16(folder.string())}));
    if (ask(this, displayName(), message, localized(u"folderNotWritableDetail"),
            {button(u"buttonSaveAs", u"&Save As\u2026"), cancelTitle()}, 0)
        != 0)
        return false;
    return saveAs();
}

bool DocumentWindow::saveAs()
{
    SavePanel panel(this, localized(u"Save As"), QStringLiteral("md"));
    panel.setNameFilters({localized(u"filterMarkdown") + QStringLiteral(" (*.md)"),
                          localized(u"filterText") + QStringLiteral(" (*.txt)")});
    if (file_)
        panel.setDirectory(QString::fromStdString(file_->parent_path().string()));
    panel.selectFile(file_ ? QString::fromStdString(file_->filename().string()) : localized(u"Untitled") + QStringLiteral(".md"));
    const std::optional<fs::path> chosen = panel.run();
    if (!chosen)
        return false;
    QString error;
    if (writeTo(*chosen, &error))
        return true;
    QMessageBox::warning(this, displayName(), error);
    return false;
}

bool DocumentWindow::maySaveChanges()
{
    if (!isDocumentEdited())
        return true;
    QMessageBox prompt(QMessageBox::Warning, displayName(), localized(u"saveChangesPrompt", displayName()),
                       QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    prompt.setInformativeText(localized(u"saveChangesPromptDetail"));
    prompt.button(QMessageBox::Save)->setText(button(u"buttonSave", u"&Save"));
    prompt.button(QMessageBox::Discard)->setText(button(u"buttonDontSave", u"&Don\u2019t Save"));
    prompt.button(QMessageBox::Cancel)->setText(cancelTitle());
    prompt.setDefaultButton(QMessageBox::Save);
    prompt.setEscapeButton(QMessageBox::Cancel);
    switch (prompt.exec()) {
    case QMessageBox::Save: return save();
    case QMessageBox::Discard: return true;
    default: return false;
    }
}

void DocumentWindow::closeEvent(QCloseEvent* event)
{
    if (!maySaveChanges()) {
        event->ignore();
        return;
    }
    if (configured_)
        WindowFrame::save(this, frameName);
    frameSaver_.stop();
    event->accept();
}

void DocumentWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (configured_ && isVisible())
        frameSaver_.start();
}

void DocumentWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (configured_ && isVisible())
        frameSaver_.start();
}

int DocumentWindow::defaultHeight(int available, int chrome)
{
    return std::min(available - chrome, defaultContentHeight);
}

void DocumentWindow::configureFrame()
{
    if (!WindowFrame::restore(this, frameName)) {
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, defaultContentHeight);
        // Title bar, menu bar and toolbar: what the window adds to its content area.
        const int bars = menuBar()->sizeHint().height() + content_->toolbar()->sizeHint().height();
        const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
        const int content = std::max(content_->minimumHeight(), defaultHeight(available.height(), titleBar + bars));
        resize(defaultContentWidth, content + bars);
        // Centred on the screen, the title bar included (a window's position is its frame's).
        move(available.center() - QPoint(width() / 2, (height() + titleBar) / 2));
    }
    configured_ = true;
}

} // namespace velkin
