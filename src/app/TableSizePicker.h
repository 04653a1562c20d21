#pragma once
// The grid the toolbar's table button shows: the cells from the top-left corner
// to the one under the pointer light up, a caption names the size, and a click
// reports the picked rows and columns.
#include <QWidget>

#include <functional>

namespace velkin {

class TableSizePicker : public QWidget {
public:
    // Called with (rows, columns), rows first, when a picked size is clicked.
    using PickHandler = std::function<void(int rows, int columns)>;

    TableSizePicker(PickHandler onPick, double side, double gap, double corner, int columns, int rows,
                    QWidget* parent = nullptr);

    static constexpr double padding = 12;
    static constexpr double spacing = 8;
    static constexpr double captionHeight = 14;

    int pickColumns() const { return pickColumns_; }
    int pickRows() const { return pickRows_; }

    // The grid's rectangle in the picker's coordinates.
    QRectF gridRect() const;
    // The pointer at a point of the grid's own coordinates: a point on a cell
    // picks it; a point in a gap or outside the cells keeps the previous pick.
    void hover(QPointF gridPoint);
    // The pointer left the grid: nothing is picked.
    void leave();
    // A click: reports the pick of the last pointer movement, if there is one.
    void click();

    // "Insert Table", or the picked size, columns first.
    QString caption() const;
    // "none", or the picked size in words.
    QString accessibilityValue() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setPick(int columns, int rows);

    PickHandler onPick_;
    double side_, gap_, corner_;
    int columns_, rows_;
    int pickColumns_ = 0;
    int pickRows_ = 0;
};

} // namespace velkin
