#include "help/view/HelpWindow.h"

#include "help/HelpBook.h"
#include "help/HelpNavigator.h"
#include "help/HelpStrings.h"
#include "help/view/HelpView.h"
#include "platform/view/WindowFrame.h"
#include "platform/text/QtString.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace velkin::HelpWindow {

namespace {

// The help window: Ctrl+[ and Ctrl+], Alt+Left and Alt+Right move through the history; closing hides it.
class HelpMainWindow : public QMainWindow {
public:
    explicit HelpMainWindow(HelpNavigator& navigator) : navigator_(navigator)
    {
        // Ctrl+[ and Ctrl+] (only Ctrl: with Shift, Alt or Meta held as well the keys
        // are left alone), and Alt+Left and Alt+Right as in the desktop's browsers.
        for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_BracketLeft), QKeySequence(Qt::ALT | Qt::Key_Left)})
            connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { navigator_.goBack(); });
        for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_BracketRight), QKeySequence(Qt::ALT | Qt::Key_Right)})
            connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { navigator_.goForward(); });
        frameSaver_.setSingleShot(true);
        frameSaver_.setInterval(300);
        connect(&frameSaver_, &QTimer::timeout, this, [this] { WindowFrame::save(this, frameName); });
    }

    bool configured = false;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (configured)
            WindowFrame::save(this, frameName);
        event->accept();  // hidden, not destroyed
    }
    void moveEvent(QMoveEvent* event) override
    {
        QMainWindow::moveEvent(event);
        if (configured && isVisible())
            frameSaver_.start();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QMainWindow::resizeEvent(event);
        if (configured && isVisible())
            frameSaver_.start();
    }

private:
    HelpNavigator& navigator_;
    QTimer frameSaver_;
};

struct State {
    std::unique_ptr<HelpNavigator> navigator;
    QPointer<HelpMainWindow> window;
    QPointer<HelpView> view;
    std::function<void(QMainWindow*)> menuBuilder;
};

State& state()
{
    static State s;
    return s;
}

void bringForward(QMainWindow* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void presentUnavailable()
{
    QMessageBox alert(QMessageBox::Warning, toQString(HelpStrings::unavailableTitle()),
                      toQString(HelpStrings::unavailableTitle()), QMessageBox::NoButton);
    alert.setInformativeText(toQString(HelpStrings::unavailableMessage()));
    alert.addButton(toQString(HelpStrings::text(HelpStrings::ok)), QMessageBox::AcceptRole);
    alert.exec();
}

} // namespace

void setMenuBuilder(std::function<void(QMainWindow*)> builder)
{
    State& s = state();
    const bool hadMenus = static_cast<bool>(s.menuBuilder);
    s.menuBuilder = std::move(builder);
    // A window built before there were menus gets them now.
    if (s.window && !hadMenus && s.menuBuilder)
        s.menuBuilder(s.window);
}

QMainWindow* window()
{
    return state().window;
}

HelpNavigator* navigator()
{
    return state().window ? state().navigator.get() : nullptr;
}

HelpView* view()
{
    return state().view;
}

void show()
{
    State& s = state();
    if (s.window) {
        bringForward(s.window);
        return;
    }
    std::optional<HelpBook> book = HelpBook::load();
    if (!book) {
        presentUnavailable();
        return;
    }
    s.navigator = std::make_unique<HelpNavigator>(std::move(*book));
    auto* window = new HelpMainWindow(*s.navigator);
    window->setObjectName(QStringLiteral("helpWindow"));
    auto* view = new HelpView(*s.navigator, window);
    window->setCentralWidget(view);
    auto* toolbar = new QToolBar(window);
    toolbar->setObjectName(QStringLiteral("helpNavigation"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->addWidget(view->backButton());
    toolbar->addWidget(view->forwardButton());
    window->addToolBar(Qt::TopToolBarArea, toolbar);
    if (s.menuBuilder)
        s.menuBuilder(window);
    window->setWindowTitle(toQString(HelpStrings::text(HelpStrings::windowTitle)));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setMinimumSize(HelpView::minimumWidth, HelpView::minimumHeight);
    if (!WindowFrame::restore(window, frameName)) {
        // The content area gets the default size; the bars come on top of it.
        const int bars = (window->menuWidget() ? window->menuWidget()->sizeHint().height() : 0)
                         + toolbar->sizeHint().height();
        window->resize(contentWidth, contentHeight + bars);
        // Centred, the title bar included (a window's position is its frame's).
        const int titleBar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window->move(screen->availableGeometry().center()
                         - QPoint(window->width() / 2, (window->height() + titleBar) / 2));
    }
    window->configured = true;
    s.window = window;
    s.view = view;
    bringForward(window);
}

} // namespace velkin::HelpWindow
