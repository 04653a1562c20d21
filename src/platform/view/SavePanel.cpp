#include "platform/view/SavePanel.h"

#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace velkin {

namespace fs = std::filesystem;

namespace {

QString localized(const char16_t* key, const char16_t* english, const QString& argument)
{
    return toQString(LocalizedStrings::format(LocalizedStrings::text(key, english), {fromQString(argument)}));
}

QString nameOf(const fs::path& path)
{
    return QString::fromStdString(path.filename().string());
}

} // namespace

SavePanel::SavePanel(QWidget* parent, const QString& title, const QString& extension)
    : QFileDialog(parent, title), extension_(extension)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    // The desktop's question would be about the name as typed, before the extension.
    setOption(QFileDialog::DontConfirmOverwrite, true);
}

void SavePanel::setRefusal(Refusal refusal, const QString& title)
{
    refusal_ = std::move(refusal);
    refusalTitle_ = title;
}

fs::path SavePanel::withExtension(const QString& chosen, const QString& extension)
{
    QString path = chosen;
    // "notes." already has the dot the extension goes after.
    if (!extension.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += (path.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")) + extension;
    return fs::path(path.toStdString());
}

bool SavePanel::showsOwnWidgets() const
{
    // A desktop's panel shows none of ours: there the question comes after it closed.
    const auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return name && name->isVisible();
}

bool SavePanel::mayWrite(const fs::path& file)
{
    std::error_code error;
    // A folder in the way is said to be one before anything else is asked.
    if (fs::is_directory(fs::status(file, error))) {
        QMessageBox alert(QMessageBox::Warning, windowTitle(),
                          localized(u"folderInTheWayMessage", u"\u201C%@\u201D is a folder. Choose another name.", nameOf(file)),
                          QMessageBox::Ok, this);
        alert.exec();
        return false;
    }
    if (refusal_) {
        if (const std::optional<QString> reason = refusal_(file)) {
            QMessageBox alert(QMessageBox::Warning, refusalTitle_, refusalTitle_, QMessageBox::Ok, this);
            alert.setInformativeText(*reason);
            alert.exec();
            return false;
        }
    }
    if (!fs::exists(fs::symlink_status(file, error)))
        return true;
    QMessageBox question(QMessageBox::Warning, windowTitle(),
                         localized(u"replaceFilePrompt", u"\u201C%@\u201D already exists. Do you want to replace it?",
                                   nameOf(file)),
                         QMessageBox::NoButton, this);
    question.setInformativeText(localized(
        u"replaceFilePromptDetail", u"A file with the same name already exists in \u201C%@\u201D. Replacing it overwrites its contents.",
        nameOf(file.parent_path())));
    QPushButton* replace =
        question.addButton(toQString(LocalizedStrings::text(u"buttonReplace", u"&Replace")), QMessageBox::AcceptRole);
    QPushButton* cancel =
        question.addButton(toQString(LocalizedStrings::text(u"buttonCancel", u"&Cancel")), QMessageBox::RejectRole);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == replace;
}

void SavePanel::accept()
{
    if (!showsOwnWidgets()) {
        QFileDialog::accept();
        return;
    }
    // The name field holds the name to save under: a file of the list selected before
    // another name was put in the field does not stand for it (a folder opens, as ever).
    const QString typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
    const QStringList selected = selectedFiles();
    if (!typed.isEmpty() && selected.size() == 1 && !QFileInfo(selected.front()).isDir()
        && QFileInfo(selected.front()).fileName() != typed)
        for (const char* name : {"listView", "treeView"})
            if (auto* files = findChild<QAbstractItemView*>(QLatin1String(name)); files && files->selectionModel())
                files->selectionModel()->clearSelection();
    const QStringList files = selectedFiles();
    // A folder opens in the panel; the panel itself deals with what is no file name.
    if (files.isEmpty() || QFileInfo(files.front()).isDir()) {
        QFileDialog::accept();
        return;
    }
    const fs::path file = withExtension(files.front(), extension_);
    if (!mayWrite(file))
        return;
    cleared_ = file;
    QFileDialog::accept();
}

std::optional<fs::path> SavePanel::run()
{
    for (;;) {
        cleared_.reset();
        if (exec() != QDialog::Accepted || selectedFiles().isEmpty())
            return std::nullopt;
        const fs::path file = withExtension(selectedFiles().front(), extension_);
        // A desktop's panel closed without our question: it is asked now, and a No shows the panel again.
        if (cleared_ == file || mayWrite(file))
            return file;
        selectFile(QString::fromStdString(file.string()));
    }
}

} // namespace velkin
