#pragma once
// The menu bar of every Velkin window: the standard File, Edit, View and Help
// menus with Velkin's own items, and the Insert and Format menus. Items that
// change the text send editor actions to the window's focused widget; items of
// the application call its services. Everything the menus know of the window
// comes from the values it publishes (FocusedValuePublisher): a window that publishes
// none has its document commands disabled.
#include <QObject>

#include <vector>

class QAction;
class QMainWindow;
class QMenu;

namespace velkin {

class FocusedValuePublisher;

class VelkinCommands : public QObject {
public:
    // Builds the menus into the window's menu bar.
    explicit VelkinCommands(QMainWindow* host);

    // Reads the window's values again: enabling, the statistics line, the zoom
    // items and the font check mark. The statistics count the whole text, so the
    // menus that do not show them leave them out (`statistics` false).
    void refresh(bool statistics = true);

    // The window's values, or null.
    FocusedValuePublisher* values() const;

    // One step larger: the hundredfold of zoom + 0.1 rounded (halves away from
    // zero), over 100, at most 3.0.
    static double zoomedIn(double zoom);
    // One step smaller: the same with - 0.1, at least 0.6.
    static double zoomedOut(double zoom);

    // The menus, by their place in the menu bar (for checks of their contents).
    QMenu* fileMenu() const { return file_; }
    QMenu* editMenu() const { return edit_; }
    QMenu* viewMenu() const { return view_; }
    QMenu* helpMenu() const { return help_; }
    QMenu* insertMenu() const { return insert_; }
    QMenu* formatMenu() const { return format_; }
    QMenu* exportMenu() const { return export_; }
    QMenu* fontMenu() const { return font_; }
    QMenu* recentMenu() const { return recent_; }
    QAction* revertItem() const { return revert_; }
    // The View menu's statistics line (shown only while the window has values).
    QAction* statisticsItem() const { return statistics_; }
    // Help ▸ Check for Updates…, enabled while the updater can check.
    QAction* checkForUpdatesItem() const { return checkForUpdates_; }

private:
    QAction* item(QMenu* menu, const QString& title, const char* name);
    QAction* editorItem(QMenu* menu, const QString& title, const char* action, int tag, const char* name);
    void buildFile();
    // Fills Open Recent from the settings: one item per file, then "Clear Menu".
    void buildRecent();
    void buildEdit();
    void buildView();
    void buildInsert();
    void buildFormat();
    void buildHelp();
    // Enables the Edit menu's items by what the focused text can do now.
    void refreshEdit();
    void sendEditorAction(const char* action, int tag);

    QMainWindow* host_;
    QMenu* file_ = nullptr;
    QMenu* edit_ = nullptr;
    QMenu* view_ = nullptr;
    QMenu* insert_ = nullptr;
    QMenu* format_ = nullptr;
    QMenu* help_ = nullptr;
    QMenu* export_ = nullptr;
    QMenu* font_ = nullptr;
    QMenu* recent_ = nullptr;
    QAction* revert_ = nullptr;
    QAction* statistics_ = nullptr;
    QAction* checkForUpdates_ = nullptr;
    // Items enabled only while the window publishes its values.
    std::vector<QAction*> documentItems_;
    std::vector<QAction*> zoomItems_;
    std::vector<QAction*> fontItems_;
    std::vector<QAction*> fileItems_;
    // Undo, Redo, Cut, Copy, Paste, Select All.
    std::vector<QAction*> editItems_;
};

} // namespace velkin
