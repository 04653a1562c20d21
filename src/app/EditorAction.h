#pragma once
// Editor actions travel like a desktop's action messages: from the focused
// widget of the active window up through its parents, to the first object that
// answers them. An action is an invokable method named after the command
// ("mdBold", "mdApplyHeading", "performTextFinderAction") taking the sender's
// tag, the command's one argument, as an int.
#include <QObject>

class QWidget;

namespace velkin::EditorAction {

// Sends the action to the focused widget of the active window (the window
// itself when nothing in it has focus). True when something answered; an
// action nobody answers is dropped.
bool send(const char* action, int tag = 0);
// Sends the action to the focused widget of `window` (the window itself when
// nothing in it has focus), whether or not that window is active.
bool sendInWindow(QWidget* window, const char* action, int tag = 0);
// Sends the action to `first`, then to its parents in turn.
bool sendTo(QObject* first, const char* action, int tag = 0);
// Whether `object` answers the action itself.
bool answers(const QObject* object, const char* action);

} // namespace velkin::EditorAction
