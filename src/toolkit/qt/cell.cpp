#include "toolkit/qt/cell.h"

#include "toolkit/qt/layout.h"
#include "toolkit/qt/stylesheet.h"

#include <QWidget>

#include <tuple>

namespace ktk::qt {

bool operator<(const cell_position& a, const cell_position& b)
{
    return std::tie(a.row, a.column) < std::tie(b.row, b.column);
}

bool operator==(const cell_position& a, const cell_position& b)
{
    return a.row == b.row && a.column == b.column;
}

cell::cell(QWidget* widget)
    : background_widget(new QWidget)
    , widget(widget)
{
}

namespace {

int int_value(const ktk::property* p)
{
    return static_cast<const ktk::property_type<int, 1>*>(p)->value;
}

const std::vector<std::int32_t>& int_values(const ktk::property* p)
{
    return static_cast<const ktk::property_type<int, 4>*>(p)->value;
}

const std::vector<std::int32_t>& int_pair(const ktk::property* p)
{
    return static_cast<const ktk::property_type<int, 2>*>(p)->value;
}

const QString& text_value(const ktk::property* p)
{
    return static_cast<const ktk::property_type<QString, 1>*>(p)->value;
}

// The top-level widget: parents are followed until none is left.
QWidget* outermost(QWidget* w)
{
    while (w && w->parentWidget())
        w = w->parentWidget();
    return w;
}

// A changed row or column must show even when nothing around the layout
// changes size: the layout is laid out afresh, then the window is nudged.
void jiggle(ktk::qt::layout* layout, QWidget* window, bool repaint)
{
    layout->pass_count = 0;
    layout->last_parent_width = -1;
    layout->setGeometry(QRect());
    if (!window)
        return;
    const QSize size = window->size();
    window->resize(size.width(), size.height() + 1);
    window->resize(size);
    if (repaint)
        window->repaint();
}

} // namespace

void cell::apply_style(const ktk::property_vector& properties)
{
    namespace p = ktk::qt::property;
    for (const ktk::property* prop : properties) {
        if (!prop)
            continue;
        if (prop == p::margin) {
            const auto& v = int_values(prop);
            margins = { float(v[3]), float(v[1]), float(v[0]), float(v[2]) };
        } else if (prop == p::margin_top) {
            margins.top = float(int_value(prop));
        } else if (prop == p::margin_bottom) {
            margins.bottom = float(int_value(prop));
        } else if (prop == p::margin_left) {
            margins.left = float(int_value(prop));
        } else if (prop == p::margin_right) {
            margins.right = float(int_value(prop));
        } else if (prop == p::padding) {
            const auto& v = int_values(prop);
            paddings = { float(v[3]), float(v[1]), float(v[0]), float(v[2]) };
        } else if (prop == p::padding_top) {
            paddings.top = float(int_value(prop));
        } else if (prop == p::padding_bottom) {
            paddings.bottom = float(int_value(prop));
        } else if (prop == p::padding_left) {
            paddings.left = float(int_value(prop));
        } else if (prop == p::padding_right) {
            paddings.right = float(int_value(prop));
        } else if (prop == p::width) {
            width = float(int_value(prop));
        } else if (prop == p::height) {
            height = float(int_value(prop));
        } else if (prop == p::size) {
            const auto& v = int_pair(prop);
            width = float(v[0]);
            height = float(v[1]);
            if (widget)
                widget->setFixedSize(v[0], v[1]);
        } else if (prop == p::style_sheet) {
            if (widget)
                stylesheet(widget->styleSheet() + text_value(prop)).apply(widget);
        } else if (prop == p::background_style_sheet) {
            if (background_widget)
                background_widget->setStyleSheet(background_widget->styleSheet() + text_value(prop));
        } else if (prop == p::background_disable) {
            if (background_widget)
                background_widget->setStyleSheet(
                    background_widget->styleSheet() + "background-color:none;background-image:none;");
        } else if (prop == p::row_height) {
            row_height = int_value(prop);
        } else if (prop == p::row_span) {
            row_span = int_value(prop);
        } else if (prop == p::column_span) {
            column_span = int_value(prop);
        } else if (prop == p::column_width) {
            column_width = int_value(prop);
        } else if (prop == p::hide) {
            if (widget)
                widget->setVisible(false);
        } else if (prop == p::disable) {
            if (widget)
                widget->setEnabled(false);
        } else if (prop == p::cell_column_width) {
            cell_column_width = int_value(prop);
        } else if (prop == p::newline) {
            newline = true;
        } else if (prop == p::offset_x) {
            offset_x = int_value(prop);
        } else if (prop == p::offset_y) {
            offset_y = int_value(prop);
        } else if (prop == p::offset) {
            const auto& v = int_pair(prop);
            offset_x = v[0];
            offset_y = v[1];
        } else if (prop == p::widget_size || prop == p::widget_size_as_cell_column_width) {
            if (widget) {
                width = float(widget->width());
                height = float(widget->height());
                if (prop == p::widget_size_as_cell_column_width)
                    cell_column_width = widget->width();
            }
        }
    }
}

QSize cell::sizeHint() const
{
    return { 100, 100 };
}

QSize cell::minimumSize() const
{
    return { 100, 100 };
}

QSize cell::maximumSize() const
{
    return { 100, 100 };
}

Qt::Orientations cell::expandingDirections() const
{
    return Qt::Horizontal | Qt::Vertical;
}

void cell::setGeometry(const QRect&)
{
}

QRect cell::geometry() const
{
    return { 0, 0, 100, 100 };
}

bool cell::isEmpty() const
{
    return !spanned && !widget;
}

void cell::resize_row(int new_height, float)
{
    if (!layout)
        return;
    const int r = layout->row_index_of(*this);
    if (layout->rows[r].height == new_height)
        return;
    layout->rows[r].height = new_height;
    jiggle(layout, outermost(layout->parentWidget()), true);
}

void cell::resize_column(int new_width, float)
{
    if (!layout)
        return;
    const int c = layout->column_index_of(*this);
    if (layout->columns[c].width == new_width)
        return;
    layout->columns[c].width = new_width;
    jiggle(layout, outermost(layout->parentWidget()), false);
}

void cell::resize_row_column(int new_width, int new_height, float)
{
    if (!layout)
        return;
    const int c = layout->column_index_of(*this);
    const int r = layout->row_index_of(*this);
    if (layout->columns[c].width == new_width || layout->rows[r].height == new_height)
        return;
    layout->columns[c].width = new_width;
    layout->rows[r].height = new_height;
    jiggle(layout, outermost(layout->parentWidget()), false);
}

void cell::margin(float value)
{
    margins = { value, value, value, value };
}

void cell::padding(float value)
{
    paddings = { value, value, value, value };
}

QWidget* cell::background() const
{
    return background_widget;
}

} // namespace ktk::qt
