#pragma once
// Help ▸ About Velkin: the version, and where updates come from.
#include <QString>

class QWidget;

namespace velkin::AboutBox {

// The box's text: the version line, what Velkin is, and where updates come from.
QString text();
void show(QWidget* parent);

} // namespace velkin::AboutBox
