#pragma once
// Editor actions travel like a desktop's action messages: from the focused
// widget of the active window up through its parents, to the first object that
// answers them. An action has a name ("mdBold", "mdApplyHeading",
// "performTextFinderAction", "undo") and one argument, the sender's tag.
//
// An object answers an action through a handler registered for its name (a
// handler tries its own kind of receiver and says whether it took the action),
// else through an invokable method of that name taking the tag as an int, or
// taking nothing.
#include <QObject>

#include <functional>
#include <string>

class QWidget;

namespace velkin::EditorAction {

// Runs the action on `receiver` when it is the handler's kind; true when it did.
using Handler = std::function<bool(QObject* receiver, int tag)>;

// Adds a handler for an action; handlers are tried in the order they were added.
void addHandler(const std::string& action, Handler handler);

// Sends the action to the focused widget of the active window (the window
// itself when nothing in it has focus). True when something answered; an
// action nobody answers is dropped.
bool send(const char* action, int tag = 0);
// Sends the action to the focused widget of `window` (the window itself when
// nothing in it has focus), whether or not that window is active.
bool sendInWindow(QWidget* window, const char* action, int tag = 0);
// Sends the action to `first`, then to its parents in turn.
bool sendTo(QObject* first, const char* action, int tag = 0);
// Whether `object` answers the action through an invokable method.
bool answers(const QObject* object, const char* action);

} // namespace velkin::EditorAction
