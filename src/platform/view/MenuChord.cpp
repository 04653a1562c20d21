#include "platform/view/MenuChord.h"

#include <QAction>
#include <QKeyEvent>
#include <QWidget>

namespace velkin::MenuChord {

bool isHeldByMenu(const QKeyEvent& key, const QWidget& window)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    if (!(mods & Qt::ControlModifier) || !(mods & Qt::AltModifier) || key.text().isEmpty())
        return false;
    // "+" needs Shift on many keyboards, and its shortcut is written without it.
    const QKeySequence typed(QKeyCombination(mods, Qt::Key(key.key())));
    const QKeySequence unshifted(QKeyCombination(mods & ~Qt::ShiftModifier, Qt::Key(key.key())));
    for (const QAction* action : window.findChildren<QAction*>())
        for (const QKeySequence& shortcut : action->shortcuts())
            if (shortcut == typed || shortcut == unshifted)
                return true;
    return false;
}

} // namespace velkin::MenuChord
