#pragma once
// The content of the help window: a sidebar with the search field over either
// the book's contents or the search results, and the page (or a notice that it
// is missing) beside it; Back and Forward buttons for the window's toolbar. It
// shows what its navigator holds and changes it only through its operations.
#include "help/HelpNavigator.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QSplitter;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkin {

class HelpPageView;

class HelpView : public QWidget {
public:
    static constexpr int minimumWidth = 640;
    static constexpr int minimumHeight = 400;
    static constexpr int sidebarMinimumWidth = 220;
    static constexpr int sidebarIdealWidth = 260;
    static constexpr int sidebarMaximumWidth = 360;

    explicit HelpView(HelpNavigator& navigator, QWidget* parent = nullptr);
    ~HelpView() override;

    HelpNavigator& navigator() const { return navigator_; }

    // Shows the navigator's state now (changes are otherwise shown one event-loop turn later).
    void refresh();

    // The parts, for the window and for checks.
    QToolButton* backButton() const { return back_; }
    QToolButton* forwardButton() const { return forward_; }
    QLineEdit* searchField() const { return search_; }
    QTreeWidget* contentsList() const { return contents_; }
    QTreeWidget* resultsList() const { return results_; }
    QWidget* noResultsView() const { return noResults_; }
    QWidget* pageMissingView() const { return missing_; }
    // The page shown, or null when the navigator's page is missing.
    HelpPageView* pageView() const { return page_; }
    // The sidebar part shown now: the contents, the results or the no-results view.
    QWidget* sidebarContent() const;

protected:
    // Down in the search field goes on to the list below it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleRefresh();
    void buildSidebar(QSplitter* split);
    void buildDetail(QSplitter* split);
    void fillContents();
    void fillResults();
    void selectShownPage(QTreeWidget* list);
    void choose(QTreeWidget* list, QTreeWidgetItem* item);
    // Gives the keyboard to the list the sidebar shows, on its selected row or else its first page.
    bool focusList();
    void showPage();

    HelpNavigator& navigator_;
    int observer_ = 0;
    bool refreshScheduled_ = false;
    bool updating_ = false;

    QLineEdit* search_ = nullptr;
    QStackedWidget* sidebar_ = nullptr;
    QTreeWidget* contents_ = nullptr;
    QTreeWidget* results_ = nullptr;
    QWidget* noResults_ = nullptr;
    QLabel* noResultsLabel_ = nullptr;
    QStackedWidget* detail_ = nullptr;
    QWidget* missing_ = nullptr;
    HelpPageView* page_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    // What the results list shows, so that unchanged results are not rebuilt.
    std::vector<HelpSearchResult> shownResults_;
};

} // namespace velkin
