#include "app/VelkinApp.h"

#include "app/DocumentWindow.h"
#include "app/MarkdownDocument.h"
#include "app/OpenFromURL.h"
#include "app/DesktopAppearance.h"
#include "app/DesktopIdentity.h"
#include "app/SingleInstance.h"
#include "app/RecentDocuments.h"
#include "editor/MarkdownEditor.h"
#include "app/VelkinCommands.h"
#include "app/WindowCascade.h"
#include "help/view/HelpWindow.h"
#include "platform/FilePath.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"
#include "platform/text/Utf.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>

namespace velkin {

namespace fs = std::filesystem;

namespace {

// Two paths name one file when the system resolves them to it (links and ".."
// included); a file that is gone is known by the path its window kept.
bool sameFile(const fs::path& a, const fs::path& b)
{
    return FilePath::sameFile(a, b) || FilePath::resolvedFolder(a) == FilePath::resolvedFolder(b);
}

QString localized(const char16_t* key, const QString& name)
{
    return toQString(LocalizedStrings::format(LocalizedStrings::text(key), {fromQString(name)}));
}

void reportOpenFailure(const QString& message, QWidget* parent = nullptr)
{
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Velkin"),
                      toQString(LocalizedStrings::text(u"openErrorTitle")), QMessageBox::Ok, parent);
    alert.setInformativeText(message);
    alert.exec();
}

// Asks before a file that looks binary opens as text.
bool mayOpenBinary(const fs::path& file)
{
    const QString name = QString::fromStdString(file.filename().string());
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velkin"), localized(u"binaryFilePrompt", name),
                    QMessageBox::NoButton);
    box.setInformativeText(toQString(LocalizedStrings::text(u"binaryFilePromptDetail")));
    QPushButton* open = box.addButton(toQString(LocalizedStrings::text(u"buttonOpen", u"&Open")), QMessageBox::AcceptRole);
    QPushButton* cancel =
        box.addButton(toQString(LocalizedStrings::text(u"buttonCancel", u"&Cancel")), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == open;
}

} // namespace

VelkinApp::VelkinApp() : QObject(QCoreApplication::instance())
{
    // The help window carries the same menus as the document windows.
    HelpWindow::setMenuBuilder([](QMainWindow* window) { new VelkinCommands(window); });
    // A link to a Markdown document opens it: a local file as it is, anything else as a downloaded copy.
    MarkdownEditor::documentOpener() = [](const Url& url) {
        if (!url.isFileURL()) {
            OpenFromURL::open(QUrl(QString::fromStdString(url.absoluteString())));
            return;
        }
        QString error;
        if (!VelkinApp::shared().openDocument(fs::path(url.path()), &error) && !error.isEmpty())
            reportOpenFailure(error);
    };
}

VelkinApp& VelkinApp::shared()
{
    static QPointer<VelkinApp> app;
    if (!app)
        app = new VelkinApp;
    return *app;
}

int VelkinApp::run(const std::vector<std::string>& files)
{
    if (SingleInstance::handOver(files))
        return 0;
    SingleInstance::listen([this](const std::vector<std::string>& launched) {
        if (openFiles(launched) == 0 && launched.empty())
            newDocument();
    });
    DesktopIdentity::apply();
    DesktopAppearance::follow();
    QApplication::setQuitOnLastWindowClosed(true);
    if (openFiles(files) == 0 && documentWindows().empty())
        newDocument();
    return QApplication::exec();
}

int VelkinApp::openFiles(const std::vector<std::string>& files)
{
    int opened = 0;
    for (const std::string& file : files) {
        QString error;
        if (openDocument(fs::path(file), &error))
            ++opened;
        else if (!error.isEmpty())
            reportOpenFailure(error);
    }
    return opened;
}

DocumentWindow* VelkinApp::newDocument()
{
    return show(new DocumentWindow(MarkdownDocument{}, std::nullopt));
}

DocumentWindow* VelkinApp::openDocument(const fs::path& file, QString* error)
{
    if (DocumentWindow* open = windowFor(file)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    // Measured before anything is read, and asked about from its first 8 KB alone.
    if (const std::optional<std::string> refusal = MarkdownDocument::tooLargeForWindow(file)) {
        if (error)
            *error = QString::fromStdString(*refusal);
        return nullptr;
    }
    if (MarkdownDocument::fileLooksBinary(file) && !mayOpenBinary(file)) {
        if (error)
            error->clear();
        return nullptr;
    }
    // Memory that runs out all the same refuses this file, never the other windows' work.
    try {
        std::string reason;
        MarkdownDocument::Reading reading;
        std::optional<MarkdownDocument> document = MarkdownDocument::read(file, &reason, &reading);
        if (!document) {
            if (error)
                *error = QString::fromStdString(reason);
            return nullptr;
        }
        // The window keeps the file it shows: its folder as the system resolved it.
        const fs::path absolute = FilePath::resolvedFolder(file);
        RecentDocuments::note(absolute);
        return show(new DocumentWindow(std::move(*document), absolute, std::move(reading)));
    } catch (const std::bad_alloc&) {
        if (error)
            *error = toQString(LocalizedStrings::format(LocalizedStrings::text(u"openErrorMessage"),
                                                        {u16(file.filename().string()), U16String(u"not enough memory")}));
        return nullptr;
    }
}

DocumentWindow* VelkinApp::openRecent(const QString& entry, QWidget* parent)
{
    const fs::path path = RecentDocuments::file(entry);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        RecentDocuments::remove(entry);
        reportOpenFailure(localized(u"recentFileMissing", QString::fromStdString(path.filename().string())), parent);
        return nullptr;
    }
    QString error;
    DocumentWindow* window = openDocument(path, &error);
    if (!window && !error.isEmpty())
        reportOpenFailure(error, parent);
    return window;
}

void VelkinApp::showOpenDialog(QWidget* parent)
{
    const QStringList files = QFileDialog::getOpenFileNames(
        parent, toQString(LocalizedStrings::text(u"Open")), QString(),
        toQString(LocalizedStrings::text(u"filterMarkdown")) + QStringLiteral(" (*.md *.markdown *.mdown *.markdn *.mdtext);;")
            + toQString(LocalizedStrings::text(u"filterText")) + QStringLiteral(" (*.txt *.text);;")
            + toQString(LocalizedStrings::text(u"filterAll")) + QStringLiteral(" (*)"));
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(file.toStdString());
    openFiles(paths);
}

bool VelkinApp::closeAll()
{
    for (DocumentWindow* window : documentWindows())
        if (!window->close())
            return false;
    return true;
}

void VelkinApp::quit()
{
    if (!closeAll())
        return;
    // Other windows (help) have nothing to save.
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

std::vector<DocumentWindow*> VelkinApp::documentWindows() const
{
    std::vector<DocumentWindow*> open;
    for (const QPointer<DocumentWindow>& window : windows_)
        if (window && window->isVisible())
            open.push_back(window);
    return open;
}

DocumentWindow* VelkinApp::windowFor(const fs::path& file) const
{
    for (DocumentWindow* window : documentWindows())
        if (window->fileURL() && sameFile(*window->fileURL(), file))
            return window;
    return nullptr;
}

DocumentWindow* VelkinApp::show(DocumentWindow* window)
{
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const auto& w) { return w.isNull(); }),
                   windows_.end());
    // A window that would open right over another one is cascaded from it.
    // Content areas are compared: a window not yet shown has no frame to measure.
    std::vector<QPoint> taken;
    QMargins frame;  // what the window manager adds around a content area, from a window it framed
    for (DocumentWindow* other : documentWindows())
        if (other != window) {
            taken.push_back(other->geometry().topLeft());
            const QRect outer = other->frameGeometry(), inner = other->geometry();
            frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                             outer.bottom() - inner.bottom());
        }
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect wanted = window->geometry();
    const QPoint at = WindowCascade::position(wanted.topLeft(), wanted.size(), taken,
                                              screen ? screen->availableGeometry() - frame : QRect());
    if (at != wanted.topLeft())
        window->setGeometry(QRect(at, wanted.size()));
    windows_.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace velkin
