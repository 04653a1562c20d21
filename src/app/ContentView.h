#pragma once
// The content of a document window: the editor over the document's text, the
// window's zoom and font family, and the formatting toolbar. It publishes the
// window's values to the menus.
#include "app/FocusedValuePublisher.h"
#include "platform/text/Range.h"

#include <QWidget>

#include <functional>

class QLabel;
class QToolBar;
class QToolButton;

namespace velkin {

struct MarkdownEditor;
class MarkdownEditorView;
class MarkdownTextView;
class TableSizePicker;

class ContentView : public QWidget, public FocusedValuePublisher {
public:
    static constexpr int minimumContentWidth = 520;
    static constexpr int minimumContentHeight = 320;
    // The table picker's grid.
    static constexpr double pickerSide = 16, pickerGap = 4, pickerCorner = 3;
    static constexpr int pickerColumns = 8, pickerRows = 10;

    // The content of a window over `text`; `textChanged` runs after every edit.
    // `zoom` and `family` are the editor's from the start (a document's saved ones):
    // setting them later would build the editor's text again.
    ContentView(U16String text, std::function<void()> textChanged, QWidget* parent = nullptr, double zoom = 1.0,
                MarkdownFontFamily family = MarkdownFontFamily::sansSerif);
    ~ContentView() override;

    // The document's text with every edit.
    const U16String& text() const { return text_; }
    // A text from outside the editor (a reload or a revert): the editor rebuilds
    // its storage, the caret keeps its place clipped to the new length, and the
    // view keeps its scroll position.
    void replaceText(U16String text);
    // A line above the text that tells something about the document; hidden when empty.
    void setNotice(const QString& notice);
    QString notice() const;
    // Runs after the zoom or the font family changed.
    void setStateChanged(std::function<void()> changed) { stateChanged_ = std::move(changed); }
    MarkdownEditorView* editor() const { return editor_; }
    // The editor's text view, where the window's editor actions go.
    MarkdownTextView* textView() const;
    // The formatting toolbar; the window places it.
    QToolBar* toolbar() const { return toolbar_; }

    double editorZoom() const override { return zoom_; }
    void setEditorZoom(double zoom) override;
    MarkdownFontFamily editorFontFamily() const override { return family_; }
    void setEditorFontFamily(MarkdownFontFamily family) override;
    DocumentStats documentStats() const override { return DocumentStats(text_); }

    // The table size popup of the toolbar's table button.
    bool isTablePickerShown() const;
    void showTablePicker();
    TableSizePicker* tablePicker() const { return picker_; }
    // The tag of a picked table size: columns × 1000 + rows.
    static int tableTag(int rows, int columns) { return columns * 1000 + rows; }

private:
    // The editor's description: the bound text, the zoom, the family.
    MarkdownEditor editorValue();
    void buildToolbar();
    void send(const char* action, int tag);
    void picked(int rows, int columns);

    U16String text_;
    std::function<void()> textChanged_;
    std::function<void()> stateChanged_;
    QLabel* notice_ = nullptr;
    double zoom_ = 1.0;
    MarkdownFontFamily family_ = MarkdownFontFamily::sansSerif;
    MarkdownEditorView* editor_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QToolButton* tableButton_ = nullptr;
    QWidget* popup_ = nullptr;
    TableSizePicker* picker_ = nullptr;
};

} // namespace velkin
