#pragma once
// The bar a text view shows above its text to find (and, for editable text,
// replace) text: a search field with the match count, previous, next and done,
// and a replace row. Every key typed into the bar stays in the bar: none of
// them reaches the text view, so nothing typed there can edit the document.
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace velkin {

class TextView;

class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(TextView& view);

    QLineEdit* findField() const { return findField_; }
    QLineEdit* replaceField() const { return replaceField_; }
    QLabel* countLabel() const { return count_; }
    // The replace row shows only for text that can be edited.
    void setReplaceShown(bool shown);
    bool isReplaceShown() const { return replaceShown_; }
    // "3 of 12", "12 found", "Not found", or nothing without a search string.
    void setCount(int current, int total, bool searching);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    // Follows the view's vertical scroll bar, which must not cover the buttons;
    // keeps a menu item's Control+Alt key from typing into the fields; keeps the
    // keys in the field that has them when a button is clicked.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TextView& view_;
    QLineEdit* findField_ = nullptr;
    QLineEdit* replaceField_ = nullptr;
    QLabel* count_ = nullptr;
    QWidget* replaceRow_ = nullptr;
    bool replaceShown_ = false;
};

} // namespace velkin
