#include "app/AboutBox.h"

#include "app/DesktopIdentity.h"
#include "app/UpdateText.h"
#include "app/Updater.h"

#include <QMessageBox>

namespace velkin::AboutBox {

QString text()
{
    SoftwareUpdater& updater = Updater::controller().updater();
    const bool feed = updater.feedURL().isValid() && !updater.feedURL().isEmpty();
    return UpdateText::text(u"Velkin %@", {fromQString(SoftwareUpdater::currentVersion())}) + QStringLiteral("\n\n")
           + UpdateText::text(u"A Markdown editor that styles the source as you type.") + QStringLiteral("\n\n")
           + (feed ? UpdateText::text(u"Help \u25B8 Check for Updates\u2026 looks for a newer version.")
                   : UpdateText::text(u"Updates come from your package manager."));
}

void show(QWidget* parent)
{
    QMessageBox box(parent);
    box.setWindowTitle(UpdateText::text(u"About Velkin"));
    box.setIconPixmap(DesktopIdentity::icon().pixmap(64, 64));
    box.setText(text());
    box.exec();
}

} // namespace velkin::AboutBox
