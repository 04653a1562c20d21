#include "help/view/HelpView.h"

#include "help/view/HelpPageView.h"
#include "help/HelpStrings.h"
#include "platform/symbols/SymbolIcon.h"
#include "platform/text/QtString.h"
#include "platform/view/MenuChord.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velkin {

namespace {

// Where a row of a list leads: a page id, or nothing for section headings.
constexpr int pageRole = Qt::UserRole;
// A search result's snippet, drawn under its title.
constexpr int snippetRole = Qt::UserRole + 1;

// Draws the sidebar's rows: section headings small and grey with room above
// them, pages with some air, search results as a title over a snippet of at
// most two lines.
class SidebarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int padding = 8;

    static bool isHeading(const QModelIndex& index) { return !index.data(pageRole).isValid(); }

    static QFont headingFont(QFont font)
    {
        font.setBold(true);
        font.setPixelSize(11);
        return font;
    }
    static QFont titleFont(QFont font)
    {
        font.setWeight(QFont::Medium);
        return font;
    }
    static QFont snippetFont(QFont font)
    {
        font.setPixelSize(11);
        return font;
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const auto* view = qobject_cast<const QAbstractItemView*>(parent());
        const int width = std::max(80, view ? view->viewport()->width() : option.rect.width());
        if (isHeading(index))
            return QSize(width, QFontMetrics(headingFont(option.font)).height() + 14);
        const QString snippet = index.data(snippetRole).toString();
        int height = QFontMetrics(titleFont(option.font)).height() + 8;
        if (!snippet.isEmpty())
            height += 2 + snippetHeight(option.font, snippet, width - 2 * padding);
        return QSize(width, height);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        painter->save();
        const QRect box = option.rect.adjusted(padding, 0, -padding, 0);
        if (isHeading(index)) {
            painter->setFont(headingFont(option.font));
            painter->setPen(option.palette.color(QPalette::Disabled, QPalette::WindowText));
            painter->drawText(box.adjusted(0, 0, 0, -3), Qt::AlignLeft | Qt::AlignBottom, opt.text);
            painter->restore();
            return;
        }
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect.adjusted(4, 1, -4, -1), option.palette.brush(QPalette::Highlight));
        const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        int x = box.left();
        if (!opt.icon.isNull()) {
            const int side = 16;
            opt.icon.paint(painter, QRect(x, option.rect.top() + 4, side, side), Qt::AlignCenter,
                           selected ? QIcon::Selected : QIcon::Normal);
            x += side + 6;
        }
        const QString snippet = index.data(snippetRole).toString();
        const QFont title = snippet.isNull() ? option.font : titleFont(option.font);
        const QFontMetrics titleMetrics(title);
        painter->setFont(title);
        painter->setPen(text);
        const QRect titleRect(x, option.rect.top() + 4, box.right() - x, titleMetrics.height());
        painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                          titleMetrics.elidedText(opt.text, Qt::ElideRight, titleRect.width()));
        if (!snippet.isEmpty()) {
            const QFont small = snippetFont(option.font);
            painter->setFont(small);
            QColor secondary = text;
            secondary.setAlphaF(selected ? 0.85f : 0.6f);
            painter->setPen(secondary);
            const QRect snippetRect(box.left(), titleRect.bottom() + 3, box.width(),
                                    snippetHeight(option.font, snippet, box.width()));
            painter->drawText(snippetRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, snippet);
        }
        painter->restore();
    }

private:
    // Up to two lines of the snippet at the given width.
    static int snippetHeight(const QFont& base, const QString& snippet, int width)
    {
        const QFontMetrics metrics(snippetFont(base));
        const QRect needed = metrics.boundingRect(QRect(0, 0, std::max(1, width), 10000), Qt::TextWordWrap, snippet);
        return std::min(needed.height(), 2 * metrics.lineSpacing());
    }
};

QString text(const HelpText& entry)
{
    return toQString(HelpStrings::text(entry));
}

QTreeWidget* makeList(QWidget* parent, const char* name)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setIndentation(0);
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformRowHeights(false);
    list->setIconSize(QSize(16, 16));
    list->setItemDelegate(new SidebarDelegate(list));
    // Rows of results change height with the sidebar's width.
    list->header()->setStretchLastSection(true);
    return list;
}

QTreeWidgetItem* sectionHeading(QTreeWidget* list, const QString& title)
{
    auto* heading = new QTreeWidgetItem(list, QStringList(title));
    heading->setFlags(Qt::ItemIsEnabled);
    return heading;
}

} // namespace

HelpView::HelpView(HelpNavigator& navigator, QWidget* parent) : QWidget(parent), navigator_(navigator)
{
    setMinimumSize(minimumWidth, minimumHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    buildSidebar(split);
    buildDetail(split);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({sidebarIdealWidth, 1000});
    layout->addWidget(split);

    back_ = new QToolButton(this);
    back_->setObjectName(QStringLiteral("back"));
    back_->setIcon(SymbolIcon::make("chevron.backward"));
    back_->setToolTip(text(HelpStrings::back));
    back_->setAccessibleName(text(HelpStrings::back));
    connect(back_, &QToolButton::clicked, this, [this] { navigator_.goBack(); });
    forward_ = new QToolButton(this);
    forward_->setObjectName(QStringLiteral("forward"));
    forward_->setIcon(SymbolIcon::make("chevron.forward"));
    forward_->setToolTip(text(HelpStrings::forward));
    forward_->setAccessibleName(text(HelpStrings::forward));
    connect(forward_, &QToolButton::clicked, this, [this] { navigator_.goForward(); });

    // The navigator tells before it changes: the view looks once it has.
    observer_ = navigator_.addObserver([this] { scheduleRefresh(); });
    fillContents();
    refresh();
}

HelpView::~HelpView()
{
    navigator_.removeObserver(observer_);
}

void HelpView::buildSidebar(QSplitter* split)
{
    auto* sidebar = new QWidget(split);
    sidebar->setMinimumWidth(sidebarMinimumWidth);
    sidebar->setMaximumWidth(sidebarMaximumWidth);
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    search_ = new QLineEdit(sidebar);
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(text(HelpStrings::searchPrompt));
    search_->setClearButtonEnabled(true);
    auto* searchRow = new QVBoxLayout;
    searchRow->setContentsMargins(10, 8, 10, 6);
    searchRow->addWidget(search_);
    column->addLayout(searchRow);
    // Every change of the field searches at once.
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& typed) {
        if (!updating_)
            navigator_.setQuery(fromQString(typed));
    });
    search_->installEventFilter(this);

    sidebar_ = new QStackedWidget(sidebar);
    contents_ = makeList(sidebar_, "contents");
    results_ = makeList(sidebar_, "results");
    noResults_ = new QWidget(sidebar_);
    noResults_->setObjectName(QStringLiteral("noResults"));
    auto* empty = new QVBoxLayout(noResults_);
    noResultsLabel_ = new QLabel(noResults_);
    noResultsLabel_->setAlignment(Qt::AlignCenter);
    noResultsLabel_->setWordWrap(true);
    noResultsLabel_->setTextFormat(Qt::PlainText);
    empty->addStretch();
    empty->addWidget(noResultsLabel_);
    empty->addStretch();
    sidebar_->addWidget(contents_);
    sidebar_->addWidget(results_);
    sidebar_->addWidget(noResults_);
    column->addWidget(sidebar_);

    for (QTreeWidget* list : {contents_, results_}) {
        connect(list, &QTreeWidget::itemSelectionChanged, this, [this, list] {
            if (!updating_ && !list->selectedItems().isEmpty())
                choose(list, list->selectedItems().front());
        });
        // A click on the row already selected chooses it again.
        connect(list, &QTreeWidget::itemClicked, this, [this, list](QTreeWidgetItem* item) { choose(list, item); });
        // Return on a row opens it and gives the keyboard to the page.
        connect(list, &QTreeWidget::itemActivated, this, [this, list](QTreeWidgetItem* item) {
            choose(list, item);
            refresh();
            if (page_)
                page_->setFocus(Qt::OtherFocusReason);
        });
    }
}

void HelpView::buildDetail(QSplitter* split)
{
    detail_ = new QStackedWidget(split);
    missing_ = new QWidget(detail_);
    missing_->setObjectName(QStringLiteral("pageMissing"));
    auto* layout = new QVBoxLayout(missing_);
    auto* symbol = new QLabel(missing_);
    symbol->setPixmap(SymbolIcon::make("questionmark.circle").pixmap(QSize(44, 44)));
    symbol->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(toQString(HelpStrings::pageMissingTitle()), missing_);
    title->setAlignment(Qt::AlignCenter);
    QFont font = title->font();
    font.setBold(true);
    font.setPixelSize(17);
    title->setFont(font);
    layout->addStretch();
    layout->addWidget(symbol);
    layout->addWidget(title);
    layout->addStretch();
    detail_->addWidget(missing_);
}

void HelpView::fillContents()
{
    contents_->clear();
    auto* top = new QTreeWidgetItem(contents_, QStringList(text(HelpStrings::contentsRow)));
    top->setIcon(0, SymbolIcon::make("list.bullet"));
    top->setData(0, pageRole, QStringLiteral("index"));
    const HelpBook& book = navigator_.book();
    for (const HelpSection& section : book.sections) {
        if (!section.title.empty())
            sectionHeading(contents_, toQString(section.title));
        for (const HelpEntry& entry : section.entries) {
            auto* row = new QTreeWidgetItem(contents_, QStringList(toQString(entry.title)));
            row->setData(0, pageRole, toQString(entry.pageID));
            if (!entry.summary.empty())
                row->setToolTip(0, toQString(entry.summary));
        }
    }
}

void HelpView::fillResults()
{
    if (navigator_.results() == shownResults_ && results_->topLevelItemCount() > 0)
        return;
    shownResults_ = navigator_.results();
    results_->clear();
    sectionHeading(results_, toQString(HelpStrings::resultsCount(static_cast<long long>(shownResults_.size()))));
    for (const HelpSearchResult& result : shownResults_) {
        auto* row = new QTreeWidgetItem(results_, QStringList(toQString(result.title)));
        row->setData(0, pageRole, toQString(result.pageID));
        // An empty snippet is an empty string: the row shows its title alone.
        row->setData(0, snippetRole, result.snippet.empty() ? QStringLiteral("") : toQString(result.snippet));
        if (!result.snippet.empty())
            row->setToolTip(0, toQString(result.snippet));
    }
}

QWidget* HelpView::sidebarContent() const
{
    return sidebar_->currentWidget();
}

void HelpView::scheduleRefresh()
{
    if (refreshScheduled_)
        return;
    refreshScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshScheduled_)
            refresh();
    });
}

void HelpView::refresh()
{
    refreshScheduled_ = false;
    updating_ = true;
    back_->setEnabled(navigator_.canGoBack());
    forward_->setEnabled(navigator_.canGoForward());

    const QString query = toQString(navigator_.query());
    if (search_->text() != query)
        search_->setText(query);
    if (navigator_.query().empty()) {
        sidebar_->setCurrentWidget(contents_);
        selectShownPage(contents_);
    } else if (!navigator_.results().empty()) {
        fillResults();
        sidebar_->setCurrentWidget(results_);
        selectShownPage(results_);
    } else {
        noResultsLabel_->setText(toQString(HelpStrings::noResults(navigator_.query())));
        sidebar_->setCurrentWidget(noResults_);
    }
    showPage();
    updating_ = false;
}

void HelpView::selectShownPage(QTreeWidget* list)
{
    const QString shown = toQString(navigator_.pageID());
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->data(0, pageRole).toString() == shown) {
            row->setSelected(true);
            list->setCurrentItem(row);
            break;
        }
    }
}

bool HelpView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier && focusList())
            return true;
        if (MenuChord::isHeldByMenu(*key, *window()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool HelpView::focusList()
{
    auto* list = qobject_cast<QTreeWidget*>(sidebar_->currentWidget());
    if (!list)
        return false;
    QTreeWidgetItem* row = list->selectedItems().isEmpty() ? nullptr : list->selectedItems().front();
    for (int i = 0; !row && i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->data(0, pageRole).isValid())
            row = list->topLevelItem(i);
    if (!row)
        return false;
    list->setFocus(Qt::OtherFocusReason);
    list->setCurrentItem(row);
    row->setSelected(true);
    return true;
}

void HelpView::choose(QTreeWidget* list, QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QVariant value = item->data(0, pageRole);
    if (!value.isValid())
        return;
    const U16String id = fromQString(value.toString());
    if (list == contents_) {
        navigator_.open(id, std::nullopt);
        return;
    }
    for (const HelpSearchResult& result : navigator_.results())
        if (result.pageID == id) {
            navigator_.open(id, result.anchor);
            return;
        }
}

void HelpView::showPage()
{
    const HelpBook& book = navigator_.book();
    const HelpPage* page = book.page(navigator_.pageID());
    if (!page) {
        if (page_) {
            detail_->removeWidget(page_);
            page_->deleteLater();
            page_ = nullptr;
        }
        detail_->setCurrentWidget(missing_);
        return;
    }
    const auto follow = [this](const U16String& link) { return navigator_.follow(link); };
    if (page_ && page_->pageID() == page->id) {
        page_->update(navigator_.anchor(), follow);
        return;
    }
    // A new page gets a new view; the old one goes once its events are done.
    if (page_) {
        detail_->removeWidget(page_);
        page_->deleteLater();
    }
    page_ = new HelpPageView(*page, navigator_.anchor(), book.baseURL, follow, detail_);
    detail_->addWidget(page_);
    detail_->setCurrentWidget(page_);
}

} // namespace velkin
