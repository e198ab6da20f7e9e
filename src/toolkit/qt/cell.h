#pragma once

#include "toolkit/qt/property.h"

#include <QLayoutItem>

#include <cstdint>
#include <utility>

class QWidget;

namespace ktk::qt {

class layout;

struct cell_position {
    std::int32_t column = 0;
    std::int32_t row = 0;
};

// Row-major: row 0 left to right, then row 1, ...
bool operator<(const cell_position& a, const cell_position& b);
bool operator==(const cell_position& a, const cell_position& b);

// 0 means flexible: the row shares the free height with the other flexible rows.
struct row {
    std::int32_t height = 0;
};

// 0 means flexible.
struct column {
    std::int32_t width = 0;
};

struct cell_edges {
    float left;
    float right;
    float top;
    float bottom;
};

// One cell of a ktk::qt::layout. Copied by value: the layout stores its own
// copy, and only the stored copy knows its row, column and layout. A cell
// never deletes its widget; the background belongs to the stored cell's
// layout until the layout gives it to its parent widget.
class cell : public QLayoutItem {
public:
    explicit cell(QWidget* widget = nullptr);

    // Applies property vectors and flags in argument order; a later property
    // overrides an earlier one that writes the same field.
    template <typename... A> void style(A&&... properties)
    {
        apply_style(ktk::make_property_vector(std::forward<A>(properties)...));
    }
    void apply_style(const ktk::property_vector& properties);

    // The layout places widgets itself; these only serve Qt's item interface.
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    Qt::Orientations expandingDirections() const override;
    void setGeometry(const QRect&) override;
    QRect geometry() const override;
    bool isEmpty() const override;

    // Forced relayout of the stored cell's row and/or column: the window
    // containing the layout is resized by one pixel and back.
    void resize_row(int new_height, float = 0);
    void resize_column(int new_width, float = 0);
    void resize_row_column(int new_width, int new_height, float = 0);

    void margin(float value);
    void padding(float value);
    QWidget* background() const;

    bool spanned = false; // placeholder for a position covered by another cell's span
    QWidget* background_widget;
    QWidget* widget;
    cell_edges margins { -1, -1, -1, -1 }; // negative: unset
    cell_edges paddings { 0, 0, 0, 0 };
    float width = -1; // <= 0: the widget fills the cell
    float height = -1;
    int row_span = 1;
    int column_span = 1;
    int column_width = -1; // applied to the column when the cell is placed
    int row_height = -1; // applied to the row when the cell is placed
    int cell_column_width = 0; // this cell's own width of its first column
    int offset_x = 0;
    int offset_y = 0;
    bool newline = false;
    int row = 0;
    int column = 0;
    ktk::qt::layout* layout = nullptr;
};

} // namespace ktk::qt
