#include "app/ContentView.h"

#include "app/EditorAction.h"
#include "app/TableSizePicker.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "platform/layout/LayoutManager.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/symbols/SymbolIcon.h"
#include "platform/text/QtString.h"

#include <QFrame>
#include <QLabel>
#include <QScrollBar>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velkin {

namespace {

QString localized(const char16_t* key)
{
    return toQString(LocalizedStrings::text(key));
}

QWidget* spacer(QWidget* parent)
{
    auto* space = new QWidget(parent);
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return space;
}

} // namespace

ContentView::ContentView(U16String text, TextChanged textChanged, QWidget* parent, double zoom,
                         MarkdownFontFamily family)
    : QWidget(parent), text_(std::move(text)), textChanged_(std::move(textChanged)), zoom_(zoom), family_(family)
{
    setMinimumSize(minimumContentWidth, minimumContentHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("documentNotice"));
    notice_->setWordWrap(true);
    notice_->setContentsMargins(12, 6, 12, 6);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setAutoFillBackground(true);
    notice_->setBackgroundRole(QPalette::ToolTipBase);
    notice_->setForegroundRole(QPalette::ToolTipText);
    notice_->hide();
    layout->addWidget(notice_);
    editor_ = new MarkdownEditorView(editorValue(), this);
    layout->addWidget(editor_);
    setFocusProxy(editor_);
    buildToolbar();
}

ContentView::~ContentView() = default;

MarkdownEditor ContentView::editorValue()
{
    MarkdownEditor editor;
    // The document's text, bound: the editor writes every change back through it.
    editor.text = TextBinding{[this] { return text_.string(); },
                              [this](const U16String& text) {
                                  // The editor writes its whole text back once after it
                                  // starts: only what differs is replaced, told as an edit.
                                  const size_t oldLength = text_.size();
                                  const std::optional<Range> replaced = text_.replaceDiffering(text);
                                  if (replaced && textChanged_)
                                      textChanged_(Edit{oldLength, *replaced});
                              }};
    editor.text.replace = [this](Range range, U16View text) {
        const size_t oldLength = text_.size();
        text_.replace(range, text);
        if (textChanged_)
            textChanged_(Edit{oldLength, range});
    };
    editor.text.revision = [this] { return text_.revision(); };
    editor.zoom = zoom_;
    editor.fontFamily = family_;
    // A long document shows its first screen at once and is styled on in idle time.
    editor.stepwiseFrom = 1 << 16;
    return editor;
}

DocumentStats ContentView::documentStats() const
{
    if (!stats_ || stats_->first != text_.revision())
        stats_.emplace(text_.revision(), DocumentStats(text_.string()));
    return stats_->second;
}

MarkdownTextView* ContentView::textView() const
{
    return editor_->textView();
}

void ContentView::replaceText(U16String text)
{
    QScrollBar* bar = textView() ? textView()->verticalScrollBar() : nullptr;
    const int scroll = bar ? bar->value() : 0;
    text_.assign(std::move(text));
    editor_->setEditor(editorValue());
    if (bar)
        bar->setValue(scroll);
}

void ContentView::setNotice(const QString& notice)
{
    notice_->setText(notice);
    notice_->setVisible(!notice.isEmpty());
}

QString ContentView::notice() const
{
    return notice_->isHidden() ? QString() : notice_->text();
}

void ContentView::setEditorZoom(double zoom)
{
    if (zoom == zoom_)
        return;
    // The paragraph at the top of the view stays there, the way into it scaled with the text.
    MarkdownTextView* view = textView();
    const double inset = view->textContainerInset().height();
    LayoutManager::Anchor top = view->layoutManager()->anchorAt(view->verticalScrollBar()->value() - inset);
    top.offset *= zoom / zoom_;
    zoom_ = zoom;
    editor_->setEditor(editorValue());
    const double y = view->layoutManager()->anchorY(top) + view->textContainerInset().height();
    view->verticalScrollBar()->setValue(int(std::lround(y)));
    if (stateChanged_)
        stateChanged_();
}

void ContentView::setEditorFontFamily(MarkdownFontFamily family)
{
    if (family == family_)
        return;
    family_ = family;
    editor_->setEditor(editorValue());
    if (stateChanged_)
        stateChanged_();
}

void ContentView::send(const char* action, int tag)
{
    EditorAction::sendInWindow(window(), action, tag);
}

void ContentView::buildToolbar()
{
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("formattingToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(18, 18));
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar_->addWidget(spacer(toolbar_));

    // 1: the heading menu.
    auto* heading = new QToolButton(toolbar_);
    heading->setObjectName(QStringLiteral("headingLevel"));
    heading->setText(QStringLiteral("H"));
    QFont font = heading->font();
    font.setPixelSize(16);
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    heading->setToolTip(localized(u"Heading level"));
    heading->setAccessibleName(localized(u"Heading level"));
    heading->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(heading);
    menu->setObjectName(QStringLiteral("headingMenu"));
    connect(menu->addAction(localized(u"Body Text")), &QAction::triggered, this, [this] { send("mdApplyHeading", 0); });
    menu->addSeparator();
    for (int level = 1; level <= 6; ++level) {
        const QString title = toQString(LocalizedStrings::format(LocalizedStrings::text(u"Heading %lld"), {level}));
        connect(menu->addAction(title), &QAction::triggered, this, [this, level] { send("mdApplyHeading", level); });
    }
    heading->setMenu(menu);
    toolbar_->addWidget(heading);

    // 2 to 9: plain buttons.
    struct Button {
        const char* symbol;
        const char16_t* help;
        const char* action;
    };
    const Button buttons[] = {
        {"bold", u"Bold", "mdBold"},
        {"italic", u"Italic", "mdItalic"},
        {"underline", u"Underline", "mdUnderline"},
        {"strikethrough", u"Strikethrough", "mdStrikethrough"},
        {"chevron.left.forwardslash.chevron.right", u"Inline code", "mdCode"},
        {"link", u"Link", "mdLink"},
        {"photo", u"Insert Image", "mdImage"},
        {"minus", u"Horizontal Rule", "mdInsertHorizontalRule"},
    };
    for (const Button& b : buttons) {
        auto* button = new QToolButton(toolbar_);
        button->setObjectName(QString::fromLatin1(b.action));
        button->setIcon(SymbolIcon::make(b.symbol));
        button->setToolTip(localized(b.help));
        button->setAccessibleName(localized(b.help));
        const char* action = b.action;
        connect(button, &QToolButton::clicked, this, [this, action] { send(action, 0); });
        toolbar_->addWidget(button);
    }

    // 10: the table button and its size picker.
    tableButton_ = new QToolButton(toolbar_);
    tableButton_->setObjectName(QStringLiteral("insertTable"));
    tableButton_->setIcon(SymbolIcon::make("tablecells"));
    tableButton_->setToolTip(localized(u"Insert Table"));
    tableButton_->setAccessibleName(localized(u"Insert Table"));
    connect(tableButton_, &QToolButton::clicked, this, &ContentView::showTablePicker);
    toolbar_->addWidget(tableButton_);
    toolbar_->addWidget(spacer(toolbar_));
}

bool ContentView::isTablePickerShown() const
{
    return popup_ && popup_->isVisible();
}

void ContentView::showTablePicker()
{
    // A fresh picker each time, so nothing is picked when it opens.
    delete popup_;
    auto* frame = new QFrame(this, Qt::Popup);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAutoFillBackground(true);
    popup_ = frame;
    auto* layout = new QVBoxLayout(popup_);
    layout->setContentsMargins(1, 1, 1, 1);
    picker_ = new TableSizePicker([this](int rows, int columns) { picked(rows, columns); }, pickerSide, pickerGap,
                                  pickerCorner, pickerColumns, pickerRows, popup_);
    layout->addWidget(picker_);
    popup_->adjustSize();
    // Below the button, its arrow side against the button's bottom edge.
    const QPoint below = tableButton_->mapToGlobal(QPoint(tableButton_->width() / 2, tableButton_->height()));
    popup_->move(below - QPoint(popup_->width() / 2, 0));
    popup_->show();
}

void ContentView::picked(int rows, int columns)
{
    if (popup_)
        popup_->hide();
    send("mdInsertTableSized", tableTag(rows, columns));
}

} // namespace velkin
