#pragma once
// Window frames saved under a name, so that a window of that kind opens where
// the last one was left. They are the only settings Velkin keeps.
#include <QByteArray>

class QWidget;

namespace velkin::WindowFrame {

// Puts the window at the frame saved under `name`; false when none was saved.
bool restore(QWidget* window, const char* name);
// Saves the window's frame under `name`.
void save(const QWidget* window, const char* name);
// The saved frame, empty when none was saved.
QByteArray saved(const char* name);
// Forgets the frame saved under `name`.
void forget(const char* name);

} // namespace velkin::WindowFrame
