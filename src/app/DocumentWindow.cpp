#include "app/DocumentWindow.h"

#include "app/ContentView.h"
#include "app/VelkinCommands.h"
#include "platform/view/WindowFrame.h"
#include "platform/text/QtString.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>
#include <QToolBar>

#include <algorithm>

namespace velkin {

namespace fs = std::filesystem;

DocumentWindow::DocumentWindow(MarkdownDocument document, std::optional<fs::path> file, QWidget* parent)
    : QMainWindow(parent), file_(std::move(file)), savedText_(document.text)
{
    setAttribute(Qt::WA_DeleteOnClose);
    content_ = new ContentView(std::move(document.text), [this] { textDidChange(); }, this);
    setCentralWidget(content_);
    addToolBar(Qt::TopToolBarArea, content_->toolbar());
    commands_ = new VelkinCommands(this);
    updateTitle();

    // Moves and resizes are saved once they settle, not at every step of a drag.
    frameSaver_.setSingleShot(true);
    frameSaver_.setInterval(300);
    connect(&frameSaver_, &QTimer::timeout, this, [this] { WindowFrame::save(this, frameName); });
    configureFrame();
}

DocumentWindow::~DocumentWindow() = default;

MarkdownDocument DocumentWindow::document() const
{
    return MarkdownDocument{content_->text()};
}

bool DocumentWindow::isDocumentEdited() const
{
    return content_->text() != savedText_;
}

QString DocumentWindow::displayName() const
{
    return file_ ? QString::fromStdString(file_->filename().string()) : QStringLiteral("Untitled");
}

void DocumentWindow::textDidChange()
{
    setWindowModified(isDocumentEdited());
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(displayName() + QStringLiteral("[*]"));
    setWindowFilePath(file_ ? QString::fromStdString(file_->string()) : QString());
    setWindowModified(isDocumentEdited());
}

bool DocumentWindow::writeTo(const fs::path& file, QString* error)
{
    const std::string bytes = document().data();
    QSaveFile out(QString::fromStdString(file.string()));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())
        || !out.commit()) {
        if (error)
            *error = QStringLiteral("The document \u201C%1\u201D couldn\u2019t be saved: %2.")
                         .arg(QString::fromStdString(file.filename().string()), out.errorString());
        return false;
    }
    file_ = fs::absolute(file).lexically_normal();
    savedText_ = content_->text();
    updateTitle();
    return true;
}

bool DocumentWindow::save()
{
    if (!file_)
        return saveAs();
    QString error;
    if (writeTo(*file_, &error))
        return true;
    QMessageBox::warning(this, displayName(), error);
    return false;
}

bool DocumentWindow::saveAs()
{
    const QString proposed = file_ ? QString::fromStdString(file_->string()) : QStringLiteral("Untitled.md");
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), proposed,
                                                        QStringLiteral("Markdown (*.md);;Text (*.txt)"));
    if (chosen.isEmpty())
        return false;
    QString path = chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".md");
    QString error;
    if (writeTo(fs::path(path.toStdString()), &error))
        return true;
    QMessageBox::warning(this, displayName(), error);
    return false;
}

bool DocumentWindow::maySaveChanges()
{
    if (!isDocumentEdited())
        return true;
    QMessageBox prompt(QMessageBox::Warning, displayName(),
                       QStringLiteral("Do you want to save the changes you made to \u201C%1\u201D?").arg(displayName()),
                       QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    prompt.setInformativeText(QStringLiteral("Your changes will be lost if you don\u2019t save them."));
    prompt.setDefaultButton(QMessageBox::Save);
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
