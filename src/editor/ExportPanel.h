#pragma once
// Exporting from a document window: the save dialog, the options it implies,
// and the alert that shows a failure.
#include "export/Export.h"

class QWidget;

namespace velkin::ExportPanel {

// The export of a document window: asks for a destination in a save dialog
// (window-modal on `window` when one is given) and writes the format there;
// a failure is shown in an alert. `document` is the document's file, none when
// it was never saved.
void present(ExportFormat format, U16View markdown, const std::optional<std::filesystem::path>& document,
             MarkdownFontFamily family, QWidget* window);
// The file name the save dialog proposes: the document's name less its
// extension ("Untitled" without a document), a dot and the format's extension.
std::string proposedFileName(ExportFormat format, const std::optional<std::filesystem::path>& document);
// The options of an export from a window to a chosen destination.
MarkdownHTML::Options presentedOptions(const std::optional<std::filesystem::path>& document,
                                       MarkdownFontFamily family);
// Shows an export failure in a warning alert and returns when it is dismissed.
void showError(const std::string& message);

} // namespace velkin::ExportPanel
