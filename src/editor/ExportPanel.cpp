#include "editor/ExportPanel.h"

#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"
#include "platform/text/Utf.h"
#include "platform/view/SavePanel.h"

#include <QMessageBox>

namespace velkin::ExportPanel {

namespace fs = std::filesystem;

namespace {

std::string baseName(const std::optional<fs::path>& document)
{
    if (!document || document->filename().empty())
        return "Untitled";
    return document->stem().string();
}

QString nameFilter(ExportFormat format)
{
    switch (format.value()) {
    case ExportFormat::pdf: return QStringLiteral("PDF (*.pdf)");
    case ExportFormat::html: return QStringLiteral("HTML (*.html *.htm)");
    case ExportFormat::rtf: return QStringLiteral("Rich Text (*.rtf)");
    }
    return {};
}

} // namespace

std::string proposedFileName(ExportFormat format, const std::optional<fs::path>& document)
{
    return baseName(document) + "." + format.fileExtension();
}

MarkdownHTML::Options presentedOptions(const std::optional<fs::path>& document, MarkdownFontFamily family)
{
    MarkdownHTML::Options options;
    options.title = u16(baseName(document));
    options.family = family;
    if (document)
        options.baseURL = Url::fileURL(document->string());
    options.embedsImages = true;
    return options;
}

void present(ExportFormat format, U16View markdown, const std::optional<fs::path>& document,
             MarkdownFontFamily family, QWidget* window)
{
    // The text is copied before the dialog runs its own event loop: the export
    // writes what was asked for whatever happens to the caller's text meanwhile.
    const U16String text(markdown);
    SavePanel panel(window, toQString(LocalizedStrings::text(u"Export")), QString::fromLatin1(format.fileExtension()));
    panel.setNameFilter(nameFilter(format));
    panel.setLabelText(QFileDialog::Accept, toQString(LocalizedStrings::text(u"Export")));
    if (document)
        panel.setDirectory(QString::fromStdString(document->parent_path().string()));
    panel.selectFile(QString::fromStdString(proposedFileName(format, document)));
    panel.setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    // Never over the document's own file, whatever name or link leads to it.
    const std::string source = document ? document->string() : std::string();
    panel.setRefusal([source](const fs::path& to) -> std::optional<QString> {
        if (const auto refusal = Export::outputRefusal(source, to.string()))
            return QString::fromStdString(*refusal);
        return std::nullopt;
    }, toQString(LocalizedStrings::text(u"exportErrorTitle")));
    const std::optional<fs::path> chosen = panel.run();
    if (!chosen)
        return;
    const fs::path destination = *chosen;
    std::string notice;
    if (const auto failure = Export::write(text, destination, format, presentedOptions(document, family), &notice)) {
        showError(*failure);
    } else if (!notice.empty()) {
        // Written, with something left out: the user hears of it.
        QMessageBox note(QMessageBox::Information, toQString(LocalizedStrings::text(u"Export")),
                         QString::fromStdString(notice));
        note.exec();
    }
}

void showError(const std::string& message)
{
    QMessageBox alert(QMessageBox::Warning, toQString(LocalizedStrings::text(u"exportErrorTitle")), QString());
    alert.setText(toQString(LocalizedStrings::text(u"exportErrorTitle")));
    alert.setInformativeText(QString::fromStdString(message));
    alert.exec();
}

} // namespace velkin::ExportPanel
