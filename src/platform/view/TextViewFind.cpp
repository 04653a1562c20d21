// The text view's find bar: a search field above the text, with previous, next and done.
#include "platform/view/TextView.h"

#include "platform/strings/LocalizedStrings.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>

namespace velkin {

namespace {

QString asQString(U16View text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

} // namespace

void TextView::setUsesFindBar(bool uses)
{
    usesFindBar_ = uses;
    if (!uses && findBar_) {
        findBar_->hide();
        layoutFindBar();
    }
}

bool TextView::isFindBarVisible() const
{
    return findBar_ && !findBar_->isHidden();
}

void TextView::setFindString(U16View text)
{
    findString_ = U16String(text);
    if (findField_ && findField_->text() != asQString(text))
        findField_->setText(asQString(text));
}

void TextView::layoutFindBar()
{
    const int height = isFindBarVisible() ? findBar_->sizeHint().height() : 0;
    setViewportMargins(0, height, 0, 0);
    if (findBar_ && height > 0)
        findBar_->setGeometry(0, 0, width(), height);
}

bool TextView::validateFindAction(int action) const
{
    if (!usesFindBar_)
        return false;
    switch (FindAction(action)) {
    case FindAction::showFindInterface:
    case FindAction::nextMatch:
    case FindAction::previousMatch:
        return true;
    case FindAction::setSearchString:
        return selection_.length > 0;
    }
    return false;
}

bool TextView::performFindAction(int action)
{
    if (!usesFindBar_)
        return false;
    switch (FindAction(action)) {
    case FindAction::showFindInterface: {
        if (!findBar_) {
            findBar_ = new QWidget(this);
            findBar_->setAutoFillBackground(true);
            auto* row = new QHBoxLayout(findBar_);
            row->setContentsMargins(6, 4, 6, 4);
            findField_ = new QLineEdit(findBar_);
            findField_->setPlaceholderText(QString::fromStdU16String(LocalizedStrings::text(u"Find")));
            findField_->setClearButtonEnabled(true);
            findField_->setText(asQString(findString_));
            auto* previous = new QToolButton(findBar_);
            previous->setArrowType(Qt::LeftArrow);
            auto* next = new QToolButton(findBar_);
            next->setArrowType(Qt::RightArrow);
            auto* done = new QToolButton(findBar_);
            done->setText(QString::fromStdU16String(LocalizedStrings::text(u"Done")));
            row->addWidget(findField_, 1);
            row->addWidget(previous);
            row->addWidget(next);
            row->addWidget(done);
            // Incremental: each edit searches again from the start of the selection.
            QObject::connect(findField_, &QLineEdit::textEdited, this, [this](const QString& text) {
                findString_ = text.toStdU16String();
                const Range at = selection_;
                setSelection({at.location, 0}, false);
                if (!findString_.empty())
                    findNext(true);
            });
            QObject::connect(findField_, &QLineEdit::returnPressed, this, [this] {
                findNext(!(QApplication::keyboardModifiers() & Qt::ShiftModifier));
            });
            QObject::connect(previous, &QToolButton::clicked, this, [this] { findNext(false); });
            QObject::connect(next, &QToolButton::clicked, this, [this] { findNext(true); });
            auto close = [this] {
                findBar_->hide();
                layoutFindBar();
                setFocus();
            };
            QObject::connect(done, &QToolButton::clicked, this, close);
            auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), findField_, nullptr, nullptr, Qt::WidgetShortcut);
            QObject::connect(escape, &QShortcut::activated, this, close);
        }
        findBar_->show();
        layoutFindBar();
        findField_->setFocus();
        findField_->selectAll();
        return true;
    }
    case FindAction::nextMatch:
        findNext(true);
        return true;
    case FindAction::previousMatch:
        findNext(false);
        return true;
    case FindAction::setSearchString:
        if (selection_.length > 0)
            setFindString(substring(storage_->string(), selection_));
        return true;
    }
    return false;
}

void TextView::findNext(bool forward)
{
    if (findString_.empty())
        return;
    const QString haystack = asQString(storage_->string());
    const QString needle = asQString(findString_);
    qsizetype at;
    if (forward) {
        at = haystack.indexOf(needle, selection_.end(), Qt::CaseInsensitive);
        if (at < 0)
            at = haystack.indexOf(needle, 0, Qt::CaseInsensitive);
    } else {
        at = selection_.location > 0 ? haystack.lastIndexOf(needle, selection_.location - 1, Qt::CaseInsensitive) : -1;
        if (at < 0)
            at = haystack.lastIndexOf(needle, -1, Qt::CaseInsensitive);
    }
    if (at < 0) {
        QApplication::beep();
        return;
    }
    const Range found{int(at), int(needle.size())};
    anchor_ = found.location;
    setSelection(found, false);
    scrollRangeToVisible(found);
}

} // namespace velkin
