#pragma once
// The panel that asks where to write a file (Save As, Export). A name typed
// without an extension gets the panel's; the question before replacing a file
// that exists is asked about that name, the one that will be written, and in
// our own words. The desktop's own question about the name as typed is left
// out, since it may be about another file.
#include <QFileDialog>

#include <filesystem>
#include <functional>
#include <optional>

namespace velkin {

class SavePanel : public QFileDialog {
public:
    // A reason not to write the file at all, shown in a warning titled with the
    // panel's refusal title, or nothing.
    using Refusal = std::function<std::optional<QString>(const std::filesystem::path& file)>;

    // `extension` without its dot; the file name proposed is selected in the panel.
    SavePanel(QWidget* parent, const QString& title, const QString& extension);

    void setRefusal(Refusal refusal, const QString& title);
    // Shows the panel until a file is chosen that may be written (one that exists
    // only after the question) or the panel is cancelled: the file, or nothing.
    std::optional<std::filesystem::path> run();

    // The file a chosen name stands for: the name with `extension` after a dot
    // when the name has none.
    static std::filesystem::path withExtension(const QString& chosen, const QString& extension);

protected:
    // A file chosen in the panel's own widgets is refused or questioned before it
    // closes, so that a No leaves the panel open on the name typed.
    void accept() override;

private:
    bool showsOwnWidgets() const;
    // The refusal, then the question before replacing an existing file; true when
    // the file may be written.
    bool mayWrite(const std::filesystem::path& file);

    QString extension_;
    Refusal refusal_;
    QString refusalTitle_;
    // The file the panel's own question has cleared.
    std::optional<std::filesystem::path> cleared_;
};

} // namespace velkin
