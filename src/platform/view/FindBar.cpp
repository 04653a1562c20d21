#include "platform/view/FindBar.h"

#include "platform/strings/LocalizedStrings.h"
#include "platform/view/MenuChord.h"
#include "platform/view/TextView.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace velkin {

namespace {

QString localized(const char16_t* key, const char16_t* english)
{
    return QString::fromStdU16String(LocalizedStrings::text(key, english));
}

// Keys the bar answers itself, ahead of any menu shortcut.
bool isBarKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

} // namespace

FindBar::FindBar(TextView& view) : QWidget(&view), view_(view)
{
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);

    findField_ = new QLineEdit(this);
    findField_->setObjectName(QStringLiteral("findField"));
    findField_->setPlaceholderText(localized(u"Find", u"Find"));
    findField_->setClearButtonEnabled(true);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("findCount"));
    count_->setForegroundRole(QPalette::PlaceholderText);
    auto* previous = new QToolButton(this);
    previous->setObjectName(QStringLiteral("findPrevious"));
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(localized(u"Find Previous", u"Find Previous"));
    auto* next = new QToolButton(this);
    next->setObjectName(QStringLiteral("findNext"));
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(localized(u"Find Next", u"Find Next"));
    auto* done = new QToolButton(this);
    done->setObjectName(QStringLiteral("findDone"));
    done->setText(localized(u"Done", u"Done"));
    // Buttons take no focus: a click leaves the caret in the field.
    for (QToolButton* button : {previous, next, done})
        button->setFocusPolicy(Qt::NoFocus);

    replaceField_ = new QLineEdit(this);
    replaceField_->setObjectName(QStringLiteral("replaceField"));
    replaceField_->setPlaceholderText(localized(u"Replace", u"Replace"));
    replaceField_->setClearButtonEnabled(true);
    auto* replace = new QToolButton(this);
    replace->setObjectName(QStringLiteral("replaceButton"));
    replace->setText(localized(u"Replace", u"Replace"));
    auto* replaceAll = new QToolButton(this);
    replaceAll->setObjectName(QStringLiteral("replaceAllButton"));
    replaceAll->setText(localized(u"Replace All", u"Replace All"));
    for (QToolButton* button : {replace, replaceAll})
        button->setFocusPolicy(Qt::NoFocus);

    grid->addWidget(findField_, 0, 0);
    grid->addWidget(count_, 0, 1);
    grid->addWidget(previous, 0, 2);
    grid->addWidget(next, 0, 3);
    grid->addWidget(done, 0, 4);
    grid->addWidget(replaceField_, 1, 0);
    auto* replaceButtons = new QWidget(this);
    auto* buttonRow = new QHBoxLayout(replaceButtons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(4);
    buttonRow->addWidget(replace);
    buttonRow->addWidget(replaceAll);
    grid->addWidget(replaceButtons, 1, 1, 1, 4);
    grid->setColumnStretch(0, 1);
    replaceRow_ = replaceButtons;
    replaceField_->hide();
    replaceButtons->hide();
    findField_->installEventFilter(this);
    replaceField_->installEventFilter(this);

    connect(findField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        view_.findIncrementally(text.toStdU16String());
    });
    connect(previous, &QToolButton::clicked, this, [this] { view_.findNextMatch(false); });
    connect(next, &QToolButton::clicked, this, [this] { view_.findNextMatch(true); });
    connect(done, &QToolButton::clicked, this, [this] { view_.closeFindBar(); });
    connect(replace, &QToolButton::clicked, this,
            [this] { view_.replaceFoundMatch(replaceField_->text().toStdU16String()); });
    connect(replaceAll, &QToolButton::clicked, this,
            [this] { view_.replaceAllMatches(replaceField_->text().toStdU16String()); });
}

void FindBar::setReplaceShown(bool shown)
{
    if (replaceShown_ == shown)
        return;
    replaceShown_ = shown;
    replaceField_->setVisible(shown);
    replaceRow_->setVisible(shown);
    if (!shown && replaceField_->hasFocus())
        findField_->setFocus();
}

void FindBar::setCount(int current, int total, bool searching)
{
    QString text;
    if (searching && total == 0)
        text = localized(u"findNoMatch", u"Not found");
    else if (searching && current > 0)
        text = QString::fromStdU16String(LocalizedStrings::format(
            LocalizedStrings::text(u"findMatchPosition", u"%1$lld of %2$lld"), {current, total}));
    else if (searching)
        text = QString::fromStdU16String(
            LocalizedStrings::format(LocalizedStrings::text(u"findMatchCount", u"%lld found"), {total}));
    count_->setText(text);
}

bool FindBar::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && isBarKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    // Keys the fields leave alone arrive here; the bar takes every one of them, so
    // that none goes on to the text view below.
    event->accept();
    const bool inReplace = replaceField_->hasFocus();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (inReplace)
            view_.replaceFoundMatch(replaceField_->text().toStdU16String());
        else
            view_.findNextMatch(!(event->modifiers() & Qt::ShiftModifier));
        break;
    case Qt::Key_Escape:
        view_.closeFindBar();
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        break;
    default:
        break;
    }
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == findField_ || watched == replaceField_) && event->type() == QEvent::KeyPress)
        return MenuChord::isHeldByMenu(*static_cast<QKeyEvent*>(event), *window());
    // A click that no widget takes goes up to the first parent that takes focus on a
    // click, unless one on the way has it: the view would take it from a field when a
    // button of the bar is clicked. The bar stands for the field that has the keys.
    if ((watched == findField_ || watched == replaceField_) && event->type() == QEvent::FocusIn)
        setFocusProxy(static_cast<QWidget*>(watched));
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
        if (!isHidden())
            view_.layoutFindBar();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool FindBar::focusNextPrevChild(bool)
{
    // Tab moves between the two fields and never leaves the bar.
    if (!replaceShown_)
        return true;
    QLineEdit* to = findField_->hasFocus() ? replaceField_ : findField_;
    to->setFocus(Qt::TabFocusReason);
    to->selectAll();
    return true;
}

} // namespace velkin
