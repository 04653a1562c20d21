#include "editor/EmojiCompletionPicker.h"

#include "platform/attributed/Color.h"
#include "platform/attributed/Font.h"

#include <QGuiApplication>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace velkin {

namespace {

constexpr Qt::WindowFlags panelFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint;
constexpr int emojiRole = Qt::UserRole + 1;

// Light or dark from the application's palette. The list itself is see-through (its
// own palette's colours are transparent), so it cannot tell.
Appearance currentAppearance()
{
    return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5 ? Appearance::Dark
                                                                                : Appearance::Light;
}

// The floating window: a rounded, shadowed surface in the menu's colour.
class PickerPanel : public QWidget {
public:
    PickerPanel() : QWidget(nullptr, panelFlags)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TranslucentBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        painter.fillPath(shape, QGuiApplication::palette().color(QPalette::Window));
        painter.setPen(Color::separator().toQColor(currentAppearance()));
        painter.drawPath(shape);
    }
};

// One row: the emoji, then its name between colons; the selected row on an
// accent-coloured rounded highlight, as a focused list draws it.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const Appearance appearance = currentAppearance();
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (selected) {
            QPainterPath highlight;
            highlight.addRoundedRect(QRectF(option.rect).adjusted(3, 1, -3, -1), 5, 5);
            painter->fillPath(highlight, Color::controlAccent().toQColor(appearance));
        }
        const QRectF row = QRectF(option.rect).adjusted(8, 0, -8, 0);
        const QString emoji = index.data(emojiRole).toString();
        const QFont emojiFont = Font::system(15).toQFont(true);
        painter->setFont(emojiFont);
        painter->setPen(Color::label().toQColor(appearance));
        const double emojiWidth = QFontMetricsF(emojiFont).horizontalAdvance(emoji);
        painter->drawText(QRectF(row.left(), row.top(), emojiWidth + 1, row.height()), Qt::AlignVCenter | Qt::AlignLeft,
                          emoji);
        const QFont nameFont = Font::system(12).toQFont();
        painter->setFont(nameFont);
        painter->setPen(selected ? Color::white().toQColor(appearance) : Color::label().toQColor(appearance));
        const QRectF nameRect(row.left() + emojiWidth + 8, row.top(), std::max(0.0, row.width() - emojiWidth - 8),
                              row.height());
        const QString name = QFontMetricsF(nameFont).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                                                nameRect.width());
        painter->drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft, name);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {EmojiCompletionPicker::columnWidth, EmojiCompletionPicker::rowHeight};
    }
};

QString asQString(U16View text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

} // namespace

EmojiCompletionPicker::EmojiCompletionPicker() = default;

EmojiCompletionPicker::~EmojiCompletionPicker()
{
    delete panel_.data();
}

void EmojiCompletionPicker::build()
{
    auto* panel = new PickerPanel();
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    table_ = new QListWidget(panel);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->setFrameShape(QFrame::NoFrame);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setUniformItemSizes(true);
    table_->setItemDelegate(new RowDelegate(table_));
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->viewport()->setAutoFillBackground(false);
    table_->setStyleSheet(QStringLiteral("QListWidget { background: transparent; }"));
    column->addWidget(table_);
    QObject::connect(table_, &QListWidget::itemClicked, panel, [this](QListWidgetItem* item) {
        const int row = table_->row(item);
        if (row < 0)
            return;
        select(row);
        chooseSelected();
    });
    // Like a floating panel, the list steps aside while another application is active.
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, panel, [this](Qt::ApplicationState state) {
        if (!panel_ || !panel_->parentWidget())
            return;
        if (state == Qt::ApplicationActive && !matches_.empty())
            panel_->show();
        else if (state != Qt::ApplicationActive)
            panel_->hide();
    });
    panel_ = panel;
}

bool EmojiCompletionPicker::show(U16View query, const QRect& under, QWidget* window)
{
    if (!window) {
        hide();
        return false;
    }
    std::vector<EmojiShortcode::Candidate> candidates = EmojiShortcode::candidates(query, limit);
    if (candidates.empty()) {
        hide();
        return false;
    }
    if (!panel_)
        build();
    if (candidates != matches_) {
        matches_ = std::move(candidates);
        table_->clear();
        for (const auto& candidate : matches_) {
            auto* item = new QListWidgetItem(QStringLiteral(":") + asQString(candidate.name) + QStringLiteral(":"));
            item->setData(emojiRole, asQString(candidate.emoji));
            table_->addItem(item);
        }
        select(0);
        steered_ = false;
    } else {
        matches_ = std::move(candidates);
    }
    const int height = 8 + std::min(int(matches_.size()), visibleRows) * rowHeight;
    if (panel_->parentWidget() != window) {
        panel_->hide();
        panel_->setParent(window, panelFlags);
    }
    panel_->setGeometry(frame(height, under));
    panel_->show();
    panel_->raise();
    return true;
}

void EmojiCompletionPicker::hide()
{
    if (!panel_ || (!panel_->isVisible() && !panel_->parentWidget()))
        return;
    panel_->hide();
    panel_->setParent(nullptr, panelFlags);
    matches_.clear();
    steered_ = false;
}

void EmojiCompletionPicker::select(int row)
{
    if (!table_ || row < 0 || row >= table_->count())
        return;
    table_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    table_->scrollToItem(table_->item(row));
}

void EmojiCompletionPicker::moveSelection(int offset)
{
    if (matches_.empty())
        return;
    const int row = std::clamp(selectedRow() + offset, 0, int(matches_.size()) - 1);
    select(row);
    steered_ = true;
}

void EmojiCompletionPicker::chooseSelected()
{
    const int row = selectedRow();
    if (row < 0 || row >= int(matches_.size()))
        return;
    const U16String name = matches_[size_t(row)].name;
    hide();
    if (onChoose)
        onChoose(name);
}

bool EmojiCompletionPicker::isVisible() const
{
    return panel_ && panel_->isVisible();
}

int EmojiCompletionPicker::selectedRow() const
{
    if (!table_ || matches_.empty())
        return -1;
    const QList<QListWidgetItem*> selected = table_->selectedItems();
    return selected.isEmpty() ? -1 : table_->row(selected.front());
}

QWidget* EmojiCompletionPicker::panel() const
{
    return panel_.data();
}

QRect EmojiCompletionPicker::frame(int height, const QRect& caret)
{
    std::optional<QRect> visible;
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().intersects(caret)) {
            visible = screen->availableGeometry();
            break;
        }
    if (!visible)
        if (QScreen* screen = QGuiApplication::primaryScreen())
            visible = screen->availableGeometry();
    return frame(height, caret, visible);
}

QRect EmojiCompletionPicker::frame(int height, const QRect& caret, const std::optional<QRect>& visible)
{
    int x = caret.left();
    int y = caret.top() + caret.height() + 3;
    if (!visible)
        return {x, y, width, height};
    if (y + height > visible->top() + visible->height())
        y = caret.top() - 3 - height;
    x = std::min(std::max(x, visible->left()), visible->left() + visible->width() - width);
    return {x, y, width, height};
}

} // namespace velkin
