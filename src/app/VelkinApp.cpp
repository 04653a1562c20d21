#include "app/VelkinApp.h"

#include "app/DocumentWindow.h"
#include "app/MarkdownDocument.h"
#include "app/OpenFromURL.h"
#include "editor/MarkdownEditor.h"
#include "app/VelkinCommands.h"
#include "app/WindowCascade.h"
#include "help/HelpWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include <algorithm>

namespace velkin {

namespace fs = std::filesystem;

namespace {

// Two paths name one file when they resolve to it (links and ".." included).
bool sameFile(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return ec ? fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal() : same;
}

void reportOpenFailure(const QString& message)
{
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Velkin"),
                      QStringLiteral("The document couldn\u2019t be opened."));
    alert.setInformativeText(message);
    alert.exec();
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
        if (!VelkinApp::shared().openDocument(fs::path(url.path()), &error))
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
        else
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
    std::string reason;
    std::optional<MarkdownDocument> document = MarkdownDocument::read(file, &reason);
    if (!document) {
        if (error)
            *error = QString::fromStdString(reason);
        return nullptr;
    }
    return show(new DocumentWindow(std::move(*document), fs::absolute(file).lexically_normal()));
}

void VelkinApp::showOpenDialog(QWidget* parent)
{
    const QStringList files = QFileDialog::getOpenFileNames(
        parent, QStringLiteral("Open"), QString(),
        QStringLiteral("Markdown (*.md *.markdown *.mdown *.markdn *.mdtext);;Text (*.txt *.text);;All files (*)"));
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
    for (DocumentWindow* other : documentWindows())
        if (other != window)
            taken.push_back(other->geometry().topLeft());
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect wanted = window->geometry();
    const QPoint at = WindowCascade::position(wanted.topLeft(), wanted.size(), taken,
                                              screen ? screen->availableGeometry() : QRect());
    if (at != wanted.topLeft())
        window->setGeometry(QRect(at, wanted.size()));
    windows_.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace velkin
