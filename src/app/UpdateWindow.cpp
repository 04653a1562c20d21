#include "app/UpdateWindow.h"

#include "app/DesktopIdentity.h"
#include "app/UpdateDownload.h"
#include "app/UpdateSignature.h"
#include "app/UpdateText.h"
#include "export/MarkdownHTML.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace velkin {

namespace {

// Release notes come from the network: they never load anything, not even a
// picture, and only secure links open (in the browser).
class NotesView : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

bool looksLikeHTML(const QString& text)
{
    return text.trimmed().startsWith(u'<');
}

} // namespace

UpdateWindow::UpdateWindow(QWidget* parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(UpdateText::text(u"Software Update"));
    setWindowIcon(DesktopIdentity::icon());
    downloadFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    publicKey = UpdateSignature::builtInPublicKey();
    reveal = &UpdateDownload::showInFileManager;

    headline_ = new QLabel;
    QFont bold = headline_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    headline_->setFont(bold);
    headline_->setWordWrap(true);
    details_ = new QLabel;
    details_->setWordWrap(true);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notes_ = new NotesView;
    notes_->setOpenLinks(false);
    notes_->setMinimumHeight(180);
    connect(notes_, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        if (url.scheme() == u"https")
            QDesktopServices::openUrl(url);
    });
    progress_ = new QProgressBar;
    progress_->setTextVisible(false);
    download_ = new QPushButton(UpdateText::text(u"Download"));
    close_ = new QPushButton(UpdateText::text(u"Close"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(download_, QDialogButtonBox::AcceptRole);
    buttons->addButton(close_, QDialogButtonBox::RejectRole);
    connect(download_, &QPushButton::clicked, this, &UpdateWindow::startDownload);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);

    auto* icon = new QLabel;
    icon->setPixmap(DesktopIdentity::icon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QVBoxLayout;
    text->addWidget(headline_);
    text->addWidget(details_);
    text->addWidget(notes_, 1);
    text->addWidget(progress_);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    setMinimumWidth(480);
    resize(520, 200);
}

void UpdateWindow::say(const QString& headline, const QString& details)
{
    headline_->setText(headline);
    details_->setText(details);
}

QString UpdateWindow::headline() const { return headline_->text(); }
QString UpdateWindow::details() const { return details_->text(); }
QString UpdateWindow::releaseNotesHTML() const { return notes_->isVisible() ? notes_->toHtml() : QString(); }

void UpdateWindow::showChecking()
{
    say(UpdateText::text(u"Checking for updates\u2026"), {});
    notes_->hide();
    download_->hide();
    progress_->setRange(0, 0);
    progress_->show();
    show();
    raise();
    activateWindow();
}

void UpdateWindow::showOutcome(const SoftwareUpdater::Outcome& outcome)
{
    using Kind = SoftwareUpdater::Outcome::Kind;
    outcome_ = outcome;
    progress_->hide();
    notes_->hide();
    download_->hide();
    const UpdateFeed::Item& item = outcome.item;
    switch (outcome.kind) {
    case Kind::Failed:
        say(UpdateText::text(u"Velkin could not check for updates."), outcome.error);
        break;
    case Kind::UpToDate:
        say(UpdateText::text(u"Velkin is up to date."),
            UpdateText::text(u"Version %@ is the newest version available.",
                             {fromQString(SoftwareUpdater::currentVersion())}));
        break;
    case Kind::NewerVersion: {
        const QString date = item.published.isValid()
                                 ? QLocale().toString(item.published.date(), QLocale::LongFormat)
                                 : QString();
        say(UpdateText::text(u"A new version of Velkin is available."),
            date.isEmpty()
                ? UpdateText::text(u"Version %@ is available; you have %@.",
                                   {fromQString(item.displayVersion()), fromQString(SoftwareUpdater::currentVersion())})
                : UpdateText::text(u"Version %@ of %@ is available; you have %@.",
                                   {fromQString(item.displayVersion()), fromQString(date),
                                    fromQString(SoftwareUpdater::currentVersion())}));
        if (!item.description.isEmpty()) {
            if (looksLikeHTML(item.description)) {
                notes_->setPlainText(item.description);
            } else {
                MarkdownHTML::Options options;
                options.embedsImages = false;
                notes_->setHtml(toQString(MarkdownHTML::body(fromQString(item.description), options)));
            }
            notes_->show();
        } else if (item.releaseNotesLink.isValid() && item.releaseNotesLink.scheme() == u"https") {
            notes_->setHtml(QStringLiteral("<a href=\"%1\">%2</a>")
                                .arg(item.releaseNotesLink.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                     UpdateText::text(u"Release Notes").toHtmlEscaped()));
            notes_->setMaximumHeight(60);
            notes_->show();
        }
        download_->setEnabled(true);
        download_->show();
        break;
    }
    }
    adjustSize();
    resize(std::max(width(), 520), height());
    show();
    raise();
    activateWindow();
}

void UpdateWindow::startDownload()
{
    if (running_)
        return;
    download_->setEnabled(false);
    progress_->setRange(0, 0);
    progress_->show();
    say(UpdateText::text(u"Downloading\u2026"), details_->text());
    running_ = new UpdateDownload(outcome_.item.enclosure, downloadFolder, publicKey, this);
    connect(running_, &UpdateDownload::progress, this, [this](qint64 received, qint64 total) {
        if (total > 0) {
            progress_->setRange(0, 1000);
            progress_->setValue(int(received * 1000 / total));
        }
    });
    connect(running_, &UpdateDownload::finished, this, [this](const QString& file, const QString& error) {
        running_->deleteLater();
        progress_->hide();
        if (!error.isEmpty()) {
            say(UpdateText::text(u"The download failed."), error);
            download_->setEnabled(true);
            return;
        }
        say(UpdateText::text(u"Downloaded \u201c%@\u201d.", {fromQString(QFileInfo(file).fileName())}),
            UpdateText::text(u"Install it with your package manager."));
        if (reveal)
            reveal(file);
    });
    running_->start();
}

} // namespace velkin
