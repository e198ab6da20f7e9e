#pragma once

#include "toolkit/qt/cell.h"
#include "toolkit/qt/property.h"

#include <QLayout>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <map>
#include <type_traits>
#include <utility>
#include <vector>

namespace ktk::qt {

// A grid filled by a cursor: each add() takes the next free cell, wrapping
// after wrap_count columns (rows when vertical). Sizes come from the parent
// widget's size alone; children's size hints are never consulted and every
// child gets a fixed size.
class layout : public QLayout {
    Q_OBJECT

public:
    layout(QWidget* parent, int wrap_count, bool vertical);
    layout(int wrap_count, bool vertical);
    ~layout() override;

    template <typename W, typename... P,
        std::enable_if_t<std::is_base_of_v<QWidget, W> && (ktk::is_property_argument_v<P> && ...), int> = 0>
    W* add(W* widget, P&&... properties)
    {
        cell c(widget);
        c.style(std::forward<P>(properties)...);
        add_(c);
        return widget;
    }

    // The inner layout is installed on a new container widget, which takes the cell.
    template <typename... P, std::enable_if_t<(ktk::is_property_argument_v<P> && ...), int> = 0>
    void add(QLayout* inner, P&&... properties)
    {
        auto* container = new QWidget;
        cell c(container);
        container->setLayout(inner);
        if (auto* grid = dynamic_cast<layout*>(inner))
            grid->adopt_children();
        c.style(std::forward<P>(properties)...);
        add_(c);
    }

    // Unstyled, at an explicit position; the cursor stays where it is.
    QWidget* add(QWidget* widget, unsigned column, unsigned row);

    // While the callback runs, current_cell is the button's cell.
    template <typename B, typename... P,
        std::enable_if_t<std::is_base_of_v<QPushButton, B> && (ktk::is_property_argument_v<P> && ...),
            int> = 0>
    B* add(B* button, std::function<void()> callback, P&&... properties)
    {
        add(button, std::forward<P>(properties)...);
        if (callback)
            connect_click(button, std::move(callback));
        return button;
    }

    void add_(cell c);
    // Makes every placed widget and background a child of the widget that
    // carries this layout, so a window that is never shown still owns them.
    void adopt_children();
    void add_(cell c, unsigned column, unsigned row, bool no_recalc);
    void recalc_spannings();

    // Index of the cell's row (column), or of the last one for a cell without
    // a place; the vector grows to hold it.
    int row_index_of(const cell& c);
    int column_index_of(const cell& c);

    void addItem(QLayoutItem* item) override;
    Qt::Orientations expandingDirections() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;

    std::map<cell_position, cell> cells;
    std::vector<ktk::qt::row> rows;
    std::vector<ktk::qt::column> columns;
    cell_position last_position;
    cell_position cursor;
    int last_parent_width = -1;
    int last_parent_height = -1;
    int pass_count = 0;
    bool vertical;
    int wrap_count;

    // The stored cell of every placed widget of every live layout.
    static std::map<QWidget*, cell*> widgets_in_cells;
    // The cell of the push button whose click callback is running.
    static cell* current_cell;

private:
    void store(const cell_position& position, const cell& c);
    void place_placeholder(int column, int row);
    void step(cell_position& p) const;
    void skip_occupied();
    void grow(int column, int row);
    void connect_click(QPushButton* button, std::function<void()> callback);
};

} // namespace ktk::qt
