#include "app/VelkinCommands.h"

#include "app/AboutBox.h"
#include "app/DocumentWindow.h"
#include "app/EditorAction.h"
#include "app/FocusedValuePublisher.h"
#include "app/OpenFromURL.h"
#include "app/RecentDocuments.h"
#include "app/Updater.h"
#include "app/VelkinApp.h"
#include "export/Export.h"
#include "help/view/HelpWindow.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"
#include "platform/undo/UndoManager.h"
#include "platform/view/TextView.h"

#include <QActionGroup>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

#include <cmath>

namespace velkin {

namespace {

QString localized(const char16_t* key)
{
    return toQString(LocalizedStrings::text(key));
}

// Every item of a menu and of its submenus, the submenus' own items included.
void collectItems(QMenu* menu, std::vector<QAction*>& into)
{
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        into.push_back(action);
        if (action->menu())
            collectItems(action->menu(), into);
    }
}

// A menu's or a menu item's title with its access key; `english` when no table has the key.
QString menuTitle(const char16_t* key, const char16_t* english)
{
    return toQString(LocalizedStrings::text(key, english));
}

QString heading(int level)
{
    return toQString(LocalizedStrings::format(LocalizedStrings::text(u"itemHeadingLevel", u"Heading &%lld"), {level}));
}

// The Edit menu's standard items reach text views through handlers; other
// widgets (line edits) answer them with their own slots.
void addTextViewHandlers()
{
    static const bool added = [] {
        const std::pair<const char*, void (*)(TextView&)> commands[] = {
            {"undo", [](TextView& v) { v.undo(); }},           {"redo", [](TextView& v) { v.redo(); }},
            {"cut", [](TextView& v) { v.cut(); }},             {"copy", [](TextView& v) { v.copy(); }},
            {"paste", [](TextView& v) { v.paste(); }},         {"selectAll", [](TextView& v) { v.selectAll(); }},
        };
        for (const auto& [name, run] : commands)
            EditorAction::addHandler(name, [run = run](QObject* receiver, int) {
                auto* view = qobject_cast<TextView*>(receiver);
                if (!view)
                    return false;
                run(*view);
                return true;
            });
        return true;
    }();
    (void)added;
}

} // namespace

VelkinCommands::VelkinCommands(QMainWindow* host) : QObject(host), host_(host)
{
    addTextViewHandlers();
    buildFile();
    buildEdit();
    buildView();
    buildInsert();
    buildFormat();
    buildHelp();
    for (QMenu* menu : {file_, edit_, view_, insert_, format_, help_})
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { refresh(menu == view_); });
    connect(edit_, &QMenu::aboutToShow, this, &VelkinCommands::refreshEdit);
    // Closed, the items are enabled again: their keys reach the focused text, which decides.
    connect(edit_, &QMenu::aboutToHide, this, [this] {
        for (QAction* entry : editItems_)
            entry->setEnabled(true);
    });
    refresh();
    // F10 opens the first menu, as everywhere on this desktop.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), host_, nullptr, nullptr, Qt::WindowShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] {
        QMenuBar* bar = host_->menuBar();
        bar->setFocus(Qt::ShortcutFocusReason);
        bar->setActiveAction(file_->menuAction());
    });
}

FocusedValuePublisher* VelkinCommands::values() const
{
    return FocusedValuePublisher::of(host_);
}

double VelkinCommands::zoomedIn(double zoom)
{
    const double v = std::round((zoom + 0.1) * 100) / 100;
    return v > 3.0 ? 3.0 : v;
}

double VelkinCommands::zoomedOut(double zoom)
{
    const double v = std::round((zoom + (-0.1)) * 100) / 100;
    return v <= 0.6 ? 0.6 : v;
}

QAction* VelkinCommands::item(QMenu* menu, const QString& title, const char* name)
{
    QAction* action = menu->addAction(title);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QAction* VelkinCommands::editorItem(QMenu* menu, const QString& title, const char* action, int tag, const char* name)
{
    QAction* entry = item(menu, title, name);
    connect(entry, &QAction::triggered, this, [this, action, tag] { sendEditorAction(action, tag); });
    return entry;
}

void VelkinCommands::sendEditorAction(const char* action, int tag)
{
    // The menu bar belongs to its window: actions start at that window's focused widget.
    EditorAction::sendInWindow(host_, action, tag);
}

void VelkinCommands::buildFile()
{
    file_ = host_->menuBar()->addMenu(menuTitle(u"menuFile", u"&File"));
    QAction* newItem = item(file_, localized(u"fileNew"), "newDocument");
    newItem->setShortcut(QKeySequence::New);
    connect(newItem, &QAction::triggered, this, [] { VelkinApp::shared().newDocument(); });
    QAction* open = item(file_, localized(u"fileOpen"), "openDocument");
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] { VelkinApp::shared().showOpenDialog(host_); });
    recent_ = file_->addMenu(localized(u"Open Recent"));
    recent_->setObjectName(QStringLiteral("recentMenu"));
    connect(recent_, &QMenu::aboutToShow, this, &VelkinCommands::buildRecent);
    buildRecent();
    QAction* openURL = item(file_, localized(u"Open from URL\u2026"), "openFromURL");
    openURL->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(openURL, &QAction::triggered, this, [this] { OpenFromURL::present(host_); });
    file_->addSeparator();

    QAction* close = item(file_, localized(u"fileClose"), "closeWindow");
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, host_, &QWidget::close);
    QAction* save = item(file_, localized(u"fileSave"), "saveDocument");
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] {
        if (auto* window = qobject_cast<DocumentWindow*>(host_))
            window->save();
    });
    QAction* saveAs = item(file_, localized(u"fileSaveAs"), "saveDocumentAs");
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(saveAs, &QAction::triggered, this, [this] {
        if (auto* window = qobject_cast<DocumentWindow*>(host_))
            window->saveAs();
    });
    revert_ = item(file_, localized(u"Revert to Saved"), "revertDocument");
    connect(revert_, &QAction::triggered, this, [this] {
        if (auto* window = qobject_cast<DocumentWindow*>(host_))
            window->revertToSaved();
    });
    fileItems_ = {save, saveAs};

    export_ = file_->addMenu(localized(u"Export"));
    export_->setObjectName(QStringLiteral("exportMenu"));
    const QString titles[] = {menuTitle(u"itemExportPDF", u"&PDF\u2026"),
                              menuTitle(u"itemExportHTML", u"&HTML (Single File)\u2026"),
                              menuTitle(u"itemExportRTF", u"&Rich Text (RTF)\u2026")};
    const char* names[] = {"exportPDF", "exportHTML", "exportRTF"};
    for (ExportFormat::Value format : ExportFormat::allCases())
        editorItem(export_, titles[format], "mdExport", format, names[format]);
    documentItems_.push_back(export_->menuAction());
    collectItems(export_, documentItems_);
    file_->addSeparator();
    QAction* quit = item(file_, localized(u"fileQuit"), "quit");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, [] { VelkinApp::shared().quit(); });
}

void VelkinCommands::buildRecent()
{
    recent_->clear();
    const QStringList files = RecentDocuments::files();
    int number = 0;
    for (const QString& file : files) {
        const std::filesystem::path path = RecentDocuments::file(file);
        QString name = QString::fromStdString(path.filename().string());
        // Two files of one name are told apart by their folders.
        const auto sameName = std::count_if(files.begin(), files.end(), [&](const QString& f) {
            return RecentDocuments::file(f).filename() == path.filename();
        });
        if (sameName > 1)
            name += QStringLiteral(" \u2014 ") + QString::fromStdString(path.parent_path().string());
        ++number;
        const QString digits = QString::number(number);
        // The number is the item's mnemonic: its last digit, so 10 is "1&0".
        const QString label = digits.left(digits.size() - 1) + QLatin1Char('&') + digits.right(1) + QLatin1Char(' ')
                              + QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* entry = recent_->addAction(label);
        entry->setObjectName(QStringLiteral("recent%1").arg(number));
        entry->setToolTip(QString::fromStdString(path.string()));
        entry->setStatusTip(QString::fromStdString(path.string()));
        connect(entry, &QAction::triggered, this, [this, file] { VelkinApp::shared().openRecent(file, host_); });
    }
    if (!files.isEmpty())
        recent_->addSeparator();
    QAction* clear = item(recent_, localized(u"Clear Menu"), "clearRecent");
    clear->setEnabled(!files.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        RecentDocuments::clear();
        buildRecent();
    });
}

void VelkinCommands::buildEdit()
{
    edit_ = host_->menuBar()->addMenu(menuTitle(u"menuEdit", u"&Edit"));
    struct Standard {
        const char* title;
        const char* action;
        QKeySequence::StandardKey key;
    };
    const Standard standard[] = {
        {"&Undo", "undo", QKeySequence::Undo},   {"&Redo", "redo", QKeySequence::Redo},
        {nullptr, nullptr, QKeySequence::UnknownKey},
        {"Cu&t", "cut", QKeySequence::Cut},      {"&Copy", "copy", QKeySequence::Copy},
        {"&Paste", "paste", QKeySequence::Paste}, {"Select &All", "selectAll", QKeySequence::SelectAll},
    };
    for (const Standard& s : standard) {
        if (!s.title) {
            edit_->addSeparator();
            continue;
        }
        QAction* entry = editorItem(edit_, QString::fromUtf8(s.title), s.action, 0, s.action);
        entry->setShortcut(s.key);
        editItems_.push_back(entry);
    }
    // Redo answers Ctrl+Y as well as Ctrl+Shift+Z, as on the rest of this desktop.
    editItems_[1]->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    edit_->addSeparator();
    QMenu* find = edit_->addMenu(localized(u"Find"));
    find->setObjectName(QStringLiteral("findMenu"));
    struct Finder {
        const char16_t* title;
        int tag;
        QKeySequence key;
        const char* name;
    };
    const Finder finders[] = {
        {u"Find\u2026", 1, QKeySequence(Qt::CTRL | Qt::Key_F), "findShow"},
        {u"Find Next", 2, QKeySequence(Qt::CTRL | Qt::Key_G), "findNext"},
        {u"Find Previous", 3, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G), "findPrevious"},
        {u"Use Selection for Find", 7, QKeySequence(Qt::CTRL | Qt::Key_E), "findUseSelection"},
    };
    for (const Finder& f : finders)
        editorItem(find, localized(f.title), "performTextFinderAction", f.tag, f.name)->setShortcut(f.key);
}

void VelkinCommands::buildView()
{
    view_ = host_->menuBar()->addMenu(menuTitle(u"menuView", u"&View"));
    statistics_ = item(view_, QString(), "documentStats");
    statistics_->setEnabled(false);
    view_->addSeparator();

    QAction* zoomIn = item(view_, localized(u"Zoom In"), "zoomIn");
    // Ctrl++ and, for keyboards where "+" needs Shift, Ctrl+=.
    // The keypad's plus and minus count too.
    zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
                          QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Plus))});
    connect(zoomIn, &QAction::triggered, this, [this] {
        if (FocusedValuePublisher* v = values())
            v->setEditorZoom(zoomedIn(v->editorZoom()));
    });
    QAction* zoomOut = item(view_, localized(u"Zoom Out"), "zoomOut");
    zoomOut->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Minus),
                           QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Minus))});
    connect(zoomOut, &QAction::triggered, this, [this] {
        if (FocusedValuePublisher* v = values())
            v->setEditorZoom(zoomedOut(v->editorZoom()));
    });
    QAction* actualSize = item(view_, localized(u"Actual Size"), "actualSize");
    actualSize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(actualSize, &QAction::triggered, this, [this] {
        if (FocusedValuePublisher* v = values())
            v->setEditorZoom(1.0);
    });
    zoomItems_ = {zoomIn, zoomOut, actualSize};
    view_->addSeparator();

    font_ = view_->addMenu(localized(u"Font"));
    font_->setObjectName(QStringLiteral("fontMenu"));
    auto* group = new QActionGroup(font_);
    group->setExclusive(true);
    for (MarkdownFontFamily family : FontFamily::allCases) {
        QAction* option = item(font_, QString::fromLatin1(FontFamily::title(family)), FontFamily::rawValue(family));
        option->setCheckable(true);
        group->addAction(option);
        connect(option, &QAction::triggered, this, [this, family] {
            if (FocusedValuePublisher* v = values())
                v->setEditorFontFamily(family);
            refresh();
        });
        fontItems_.push_back(option);
    }
}

void VelkinCommands::buildInsert()
{
    insert_ = host_->menuBar()->addMenu(menuTitle(u"menuInsert", u"&Insert"));
    insert_->setObjectName(QStringLiteral("insertMenu"));
    editorItem(insert_, menuTitle(u"itemLink", u"&Link"), "mdLink", 0, "mdLink")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    editorItem(insert_, menuTitle(u"itemImage", u"&Image"), "mdImage", 0, "mdImage")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    editorItem(insert_, menuTitle(u"itemInsertTable", u"&Table"), "mdInsertTable", 0, "mdInsertTable");
    editorItem(insert_, menuTitle(u"itemHorizontalRule", u"&Horizontal Rule"), "mdInsertHorizontalRule", 0, "mdInsertHorizontalRule");
    collectItems(insert_, documentItems_);
}

void VelkinCommands::buildFormat()
{
    format_ = host_->menuBar()->addMenu(menuTitle(u"menuFormat", u"F&ormat"));
    format_->setObjectName(QStringLiteral("formatMenu"));
    editorItem(format_, menuTitle(u"itemBold", u"&Bold"), "mdBold", 0, "mdBold")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    editorItem(format_, menuTitle(u"itemItalic", u"&Italic"), "mdItalic", 0, "mdItalic")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    editorItem(format_, menuTitle(u"itemUnderline", u"&Underline"), "mdUnderline", 0, "mdUnderline")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    editorItem(format_, menuTitle(u"itemStrikethrough", u"&Strikethrough"), "mdStrikethrough", 0, "mdStrikethrough")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    editorItem(format_, menuTitle(u"itemInlineCode", u"Inline &code"), "mdCode", 0, "mdCode");
    format_->addSeparator();
    // Ctrl is the command key here, so the second modifier of these two is Alt.
    editorItem(format_, menuTitle(u"itemSubscript", u"Subsc&ript"), "mdSubscript", 0, "mdSubscript")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Minus));
    editorItem(format_, menuTitle(u"itemSuperscript", u"Su&perscript"), "mdSuperscript", 0, "mdSuperscript")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Plus));
    format_->addSeparator();

    QMenu* headingMenu = format_->addMenu(menuTitle(u"itemHeading", u"&Heading"));
    headingMenu->setObjectName(QStringLiteral("headingMenu"));
    editorItem(headingMenu, menuTitle(u"itemBodyText", u"&Body Text"), "mdApplyHeading", 0, "heading0");
    headingMenu->addSeparator();
    static const char* levelNames[] = {"heading1", "heading2", "heading3", "heading4", "heading5", "heading6"};
    for (int level = 1; level <= 6; ++level)
        editorItem(headingMenu, heading(level), "mdApplyHeading", level, levelNames[level - 1])
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + level)));
    format_->addSeparator();

    QMenu* table = format_->addMenu(menuTitle(u"itemFormatTable", u"&Table"));
    table->setObjectName(QStringLiteral("tableMenu"));
    editorItem(table, menuTitle(u"itemAddRow", u"&Add Row"), "mdTableAddRow", 0, "mdTableAddRow");
    editorItem(table, menuTitle(u"itemAddColumn", u"Add &Column"), "mdTableAddColumn", 0, "mdTableAddColumn");
    table->addSeparator();
    QMenu* alignment = table->addMenu(menuTitle(u"itemColumnAlignment", u"C&olumn Alignment"));
    alignment->setObjectName(QStringLiteral("alignmentMenu"));
    editorItem(alignment, menuTitle(u"itemLeft", u"&Left"), "mdTableAlign", 0, "alignLeft");
    editorItem(alignment, menuTitle(u"itemCenter", u"&Center"), "mdTableAlign", 1, "alignCenter");
    editorItem(alignment, menuTitle(u"itemRight", u"&Right"), "mdTableAlign", 2, "alignRight");
    collectItems(format_, documentItems_);
}

void VelkinCommands::buildHelp()
{
    help_ = host_->menuBar()->addMenu(menuTitle(u"menuHelp", u"&Help"));
    QAction* helpItem = item(help_, toQString(LocalizedStrings::text(u"Velkin Help", u"Velkin Help")), "velkinHelp");
    helpItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Question));
    connect(helpItem, &QAction::triggered, this, [] { HelpWindow::show(); });
    help_->addSeparator();
    // Building the menus makes the update controller, whose updater starts with it.
    UpdateController& updates = Updater::controller();
    checkForUpdates_ = item(help_, localized(u"Check for Updates\u2026"), "checkForUpdates");
    connect(checkForUpdates_, &QAction::triggered, this, [] { Updater::controller().checkForUpdates(); });
    connect(&updates.updater(), &SoftwareUpdater::canCheckChanged, checkForUpdates_, &QAction::setEnabled);
    QAction* about = item(help_, localized(u"About Velkin"), "aboutVelkin");
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] { AboutBox::show(host_); });
}

void VelkinCommands::refreshEdit()
{
    bool undo = false, redo = false, cut = false, copy = false, paste = false, all = false;
    for (QWidget* w = host_->focusWidget(); w; w = w->parentWidget()) {
        if (auto* view = qobject_cast<TextView*>(w)) {
            const bool editable = view->isEditable();
            const UndoManager* history = editable && view->allowsUndo() ? view->undoManager() : nullptr;
            const bool selected = view->selectedRange().length > 0;
            undo = history && history->canUndo();
            redo = history && history->canRedo();
            cut = editable && selected;
            copy = selected;
            paste = editable;
            all = true;
            break;
        }
        if (auto* field = qobject_cast<QLineEdit*>(w)) {
            const bool secret = field->echoMode() != QLineEdit::Normal;
            undo = field->isUndoAvailable();
            redo = field->isRedoAvailable();
            cut = !field->isReadOnly() && field->hasSelectedText() && !secret;
            copy = field->hasSelectedText() && !secret;
            paste = !field->isReadOnly();
            all = true;
            break;
        }
    }
    const bool enabled[] = {undo, redo, cut, copy, paste, all};
    for (size_t i = 0; i < editItems_.size(); ++i)
        editItems_[i]->setEnabled(enabled[i]);
}

void VelkinCommands::refresh(bool statistics)
{
    checkForUpdates_->setEnabled(Updater::controller().updater().canCheckForUpdates());
    FocusedValuePublisher* v = values();
    const bool present = v != nullptr;
    for (QAction* action : documentItems_)
        action->setEnabled(present);
    for (QAction* action : zoomItems_)
        action->setEnabled(present);
    for (QAction* action : fileItems_)
        action->setEnabled(present);
    auto* window = qobject_cast<DocumentWindow*>(host_);
    revert_->setEnabled(window && window->canRevert());
    font_->menuAction()->setEnabled(present);
    for (QAction* option : fontItems_)
        option->setEnabled(present);
    statistics_->setVisible(present);
    if (present) {
        if (statistics)
            statistics_->setText(toQString(v->documentStats().menuTitle()));
        const MarkdownFontFamily family = v->editorFontFamily();
        for (size_t i = 0; i < fontItems_.size(); ++i)
            fontItems_[i]->setChecked(FontFamily::allCases[i] == family);
    } else {
        for (QAction* option : fontItems_)
            option->setChecked(false);
    }
}

} // namespace velkin
