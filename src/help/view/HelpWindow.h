#pragma once
// The application's one help window: built on first use from the help book,
// brought forward afterwards, hidden (never destroyed) when closed, so that its
// page, history and search stay as they were left. Its frame is saved under
// "VelkinHelpWindow"; Ctrl+[ and Ctrl+] (or Alt+Left and Alt+Right) go back
// and forward.
#include <functional>

class QMainWindow;

namespace velkin {

class HelpNavigator;
class HelpView;

namespace HelpWindow {

inline constexpr const char* frameName = "VelkinHelpWindow";
inline constexpr int contentWidth = 1020;
inline constexpr int contentHeight = 720;

// Shows the help window, building it first when there is none; without a help
// book an alert says so, and nothing is kept.
void show();

// Gives the help window its menu bar (the application's menus), now when it
// exists already and has none, else when it is built.
void setMenuBuilder(std::function<void(QMainWindow*)> builder);

// The window once built, its navigator and its view; null before.
QMainWindow* window();
HelpNavigator* navigator();
HelpView* view();

} // namespace HelpWindow

} // namespace velkin
