#include "app/UpdateWindow.h"

#include "app/DesktopIdentity.h"
#include "app/UpdateDownload.h"
#include "app/UpdateSignature.h"
#include "app/UpdateText.h"
#include "export/MarkdownHTML.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
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
    // The network library's own account, smaller and quieter below the user's words.
    detail_ = new QLabel;
    detail_->setWordWrap(true);
    detail_->setTextFormat(Qt::PlainText);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail_->setForegroundRole(QPalette::PlaceholderText);
    QFont small = detail_->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    detail_->setFont(small);
    detail_->hide();
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
    tryAgain_ = new QPushButton(UpdateText::text(u"Try Again"));
    tryAgain_->hide();
    close_ = new QPushButton(UpdateText::text(u"Close"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(download_, QDialogButtonBox::AcceptRole);
    buttons->addButton(tryAgain_, QDialogButtonBox::AcceptRole);
    buttons->addButton(close_, QDialogButtonBox::RejectRole);
    connect(download_, &QPushButton::clicked, this, &UpdateWindow::startDownload);
    connect(tryAgain_, &QPushButton::clicked, this, &UpdateWindow::tryAgain);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);

    auto* icon = new QLabel;
    icon->setPixmap(DesktopIdentity::icon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QVBoxLayout;
    text->addWidget(headline_);
    text->addWidget(details_);
    text->addWidget(detail_);
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

void UpdateWindow::say(const QString& headline, const QString& details, const QString& detail)
{
    headline_->setText(headline);
    details_->setText(details);
    detail_->setText(detail);
    detail_->setVisible(!detail.isEmpty());
}

QString UpdateWindow::headline() const { return headline_->text(); }
QString UpdateWindow::details() const { return details_->text(); }
QString UpdateWindow::technicalDetail() const { return detail_->text(); }
QString UpdateWindow::releaseNotesHTML() const { return notes_->isVisible() ? notes_->toHtml() : QString(); }

void UpdateWindow::showChecking()
{
    checking_ = true;
    say(UpdateText::text(u"Checking for updates\u2026"), {});
    notes_->hide();
    download_->hide();
    tryAgain_->hide();
    progress_->setRange(0, 0);
    progress_->show();
    show();
    raise();
    activateWindow();
}

void UpdateWindow::showOutcome(const SoftwareUpdater::Outcome& outcome)
{
    using Kind = SoftwareUpdater::Outcome::Kind;
    checking_ = false;
    outcome_ = outcome;
    progress_->hide();
    notes_->hide();
    download_->hide();
    tryAgain_->hide();
    const UpdateFeed::Item& item = outcome.item;
    switch (outcome.kind) {
    case Kind::Failed:
        say(UpdateText::text(u"Velkin could not check for updates."), outcome.error, outcome.detail);
        tryAgain_->show();
        tryAgain_->setDefault(true);
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
        // Without a key nothing downloaded could be verified: no download is offered.
        if (publicKey.isEmpty()) {
            details_->setText(details_->text() + QStringLiteral("\n\n")
                              + UpdateText::text(u"This copy of Velkin can\u2019t verify downloads, so it offers none: "
                                                 u"get the new version from your package manager."));
        } else {
            download_->setEnabled(true);
            download_->show();
        }
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
    connect(running_, &UpdateDownload::finished, this,
            [this](const QString& file, const QString& error, const QString& detail) {
        running_->deleteLater();
        progress_->hide();
        if (!error.isEmpty()) {
            say(UpdateText::text(u"The download failed."), error, detail);
            download_->setEnabled(true);
            return;
        }
        const QFileInfo saved(file);
        say(UpdateText::text(u"Downloaded \u201c%@\u201d.", {fromQString(saved.fileName())}),
            UpdateText::text(u"It is in the folder %@. Install it with your package manager.",
                             {fromQString(QDir::toNativeSeparators(saved.absolutePath()))}));
        if (reveal)
            reveal(file);
    });
    running_->start();
}

} // namespace velkin
