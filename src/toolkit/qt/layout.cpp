#include "toolkit/qt/layout.h"

#include "toolkit/exception.h"
#include "toolkit/qt/lambda.h"

#include <QPointer>

#include <algorithm>
#include <optional>
#include <set>

namespace ktk::qt {

std::map<QWidget*, cell*> layout::widgets_in_cells;
cell* layout::current_cell = nullptr;

namespace {

struct span {
    float position;
    float length;
};

// One axis of a cell: where its widget goes and how long it is.
span place(float start, float cell_length, float fixed, float margin_before, float margin_after,
    float padding_before, float padding_after)
{
    if (fixed > 0) {
        if (margin_before >= 0 && margin_after < 0)
            return { start + margin_before, fixed };
        if (margin_before >= 0)
            return { start, fixed };
        if (margin_after >= 0)
            return { start + cell_length - fixed - margin_after, fixed };
        return { start + cell_length * 0.5f - fixed * 0.5f, fixed };
    }
    span s { start, cell_length };
    if (margin_before >= 0) {
        s.position += margin_before;
        s.length -= margin_before;
    }
    if (margin_after >= 0)
        s.length -= margin_after;
    s.position += padding_before;
    s.length -= padding_before + padding_after;
    return s;
}

int clamped(float value)
{
    return std::max(0, static_cast<int>(value));
}

void adopt(QWidget* child, QWidget* parent)
{
    if (child->parentWidget() != parent)
        child->setParent(parent);
}

} // namespace

layout::layout(QWidget* parent, int wrap_count, bool vertical)
    : QLayout(parent)
    , vertical(vertical)
    , wrap_count(wrap_count)
{
}

layout::layout(int wrap_count, bool vertical)
    : vertical(vertical)
    , wrap_count(wrap_count)
{
}

layout::~layout()
{
    // The registries must not outlive the cells they point at.
    std::set<QWidget*> orphans;
    for (auto& [position, c] : cells) {
        if (c.widget) {
            const auto entry = widgets_in_cells.find(c.widget);
            if (entry != widgets_in_cells.end() && entry->second == &c)
                widgets_in_cells.erase(entry);
        }
        if (current_cell == &c)
            current_cell = nullptr;
        // Backgrounds that never reached the parent widget have no other owner.
        if (c.background_widget && !c.background_widget->parent())
            orphans.insert(c.background_widget);
    }
    for (QWidget* w : orphans)
        delete w;
}

QWidget* layout::add(QWidget* widget, unsigned column, unsigned row)
{
    add_(cell(widget), column, row, false);
    return widget;
}

void layout::connect_click(QPushButton* button, std::function<void()> callback)
{
    // Looked up at click time, so a cell overwritten or a layout gone since
    // never leaves current_cell dangling.
    const cell_position position = last_position;
    QPointer<layout> self(this);
    auto* l = new lambda([self, position, callback = std::move(callback)] {
        current_cell = nullptr;
        if (self) {
            const auto it = self->cells.find(position);
            if (it != self->cells.end())
                current_cell = &it->second;
        }
        callback();
    });
    l->setParent(button);
    ktk::qt::connect(button, "2clicked()", l);
}

void layout::store(const cell_position& position, const cell& c)
{
    auto it = cells.find(position);
    if (it == cells.end()) {
        it = cells.emplace(position, c).first;
    } else {
        cell& old = it->second;
        if (old.widget && old.widget != c.widget) {
            const auto entry = widgets_in_cells.find(old.widget);
            if (entry != widgets_in_cells.end() && entry->second == &old)
                widgets_in_cells.erase(entry);
        }
        QWidget* old_background = old.background_widget;
        old = c;
        if (old_background && old_background != c.background_widget
            && std::none_of(cells.begin(), cells.end(), [old_background](const auto& entry) {
                   return entry.second.background_widget == old_background;
               }))
            delete old_background;
    }
    if (c.widget)
        widgets_in_cells[c.widget] = &it->second;
}

void layout::grow(int column, int row)
{
    if (columns.size() < static_cast<std::size_t>(column) + 1)
        columns.resize(static_cast<std::size_t>(column) + 1);
    if (rows.size() < static_cast<std::size_t>(row) + 1)
        rows.resize(static_cast<std::size_t>(row) + 1);
}

void layout::step(cell_position& p) const
{
    if (!vertical) {
        ++p.column;
        if (wrap_count != 0 && p.column >= wrap_count) {
            ++p.row;
            p.column = 0;
        }
    } else {
        ++p.row;
        if (wrap_count != 0 && p.row >= wrap_count) {
            ++p.column;
            p.row = 0;
        }
    }
}

void layout::skip_occupied()
{
    for (;;) {
        const auto it = cells.find(cursor);
        if (it == cells.end() || it->second.isEmpty())
            return;
        step(cursor);
    }
}

void layout::add_(cell c)
{
    if (c.widget && parentWidget())
        adopt(c.widget, parentWidget());
    c.layout = this;

    skip_occupied();
    c.column = cursor.column;
    c.row = cursor.row;
    store(cursor, c);

    recalc_spannings();

    last_position = cursor;
    grow(cursor.column, cursor.row);
    if (c.column_width > 0)
        columns[last_position.column].width = c.column_width;
    if (c.row_height > 0)
        rows[last_position.row].height = c.row_height;

    if (c.newline) {
        if (!vertical) {
            ++cursor.row;
            cursor.column = 0;
        } else {
            ++cursor.column;
            cursor.row = 0;
        }
    } else {
        step(cursor);
    }
    skip_occupied();
}

void layout::add_(cell c, unsigned column, unsigned row, bool no_recalc)
{
    if (c.widget && parentWidget())
        adopt(c.widget, parentWidget());
    c.layout = this;
    c.column = static_cast<int>(column);
    c.row = static_cast<int>(row);
    store({ c.column, c.row }, c);
    if (!no_recalc)
        recalc_spannings();
    grow(c.column, c.row);
    last_position = { c.column, c.row };
}

void layout::place_placeholder(int column, int row)
{
    // Re-placing an identical placeholder would only churn background widgets.
    const auto it = cells.find({ column, row });
    if (it != cells.end() && it->second.spanned && !it->second.widget) {
        grow(column, row);
        last_position = { column, row };
        return;
    }
    cell placeholder;
    placeholder.spanned = true;
    add_(placeholder, static_cast<unsigned>(column), static_cast<unsigned>(row), true);
}

void layout::recalc_spannings()
{
    // Insertions into a std::map keep every iterator valid.
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        const cell_position origin = it->first;
        const int column_span = it->second.column_span;
        const int row_span = it->second.row_span;
        for (int dc = 0; dc < column_span; ++dc)
            for (int dr = 0; dr < row_span; ++dr)
                if (dc != 0 || dr != 0)
                    place_placeholder(origin.column + dc, origin.row + dr);
    }
    // An empty filler spans nothing, so filling holes cannot create new ones.
    // The last position ends on the first hole, as if each filling had
    // started this whole procedure again.
    std::optional<cell_position> first_hole;
    for (int c = 0; c < static_cast<int>(columns.size()); ++c)
        for (int r = 0; r < static_cast<int>(rows.size()); ++r)
            if (cells.find({ c, r }) == cells.end()) {
                add_(cell(), static_cast<unsigned>(c), static_cast<unsigned>(r), true);
                if (!first_hole)
                    first_hole = cell_position { c, r };
            }
    if (first_hole)
        last_position = *first_hole;
}

int layout::row_index_of(const cell& c)
{
    const int r = c.row >= 0 ? c.row : std::max(0, static_cast<int>(rows.size()) - 1);
    grow(0, r);
    return r;
}

int layout::column_index_of(const cell& c)
{
    const int col = c.column >= 0 ? c.column : std::max(0, static_cast<int>(columns.size()) - 1);
    grow(col, 0);
    return col;
}

void layout::addItem(QLayoutItem* item)
{
    // Qt hands over ownership of the item; nothing else would free it.
    delete item;
    throw ktk::exception("This layout works different. Use add() instead.");
}

Qt::Orientations layout::expandingDirections() const
{
    return Qt::Horizontal | Qt::Vertical;
}

QSize layout::minimumSize() const
{
    int w = 0;
    int h = 0;
    for (const auto& c : columns)
        w += c.width;
    for (const auto& r : rows)
        h += r.height;
    return { w, h };
}

QSize layout::sizeHint() const
{
    int w = 0;
    int h = 0;
    for (const auto& c : columns)
        w += c.width != 0 ? c.width : 20;
    for (const auto& r : rows)
        h += r.height != 0 ? r.height : 20;
    return { w, h };
}

void layout::adopt_children()
{
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    for (auto& [position, c] : cells) {
        if (c.widget)
            adopt(c.widget, parent);
        if (c.background_widget)
            adopt(c.background_widget, parent);
    }
}

void layout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    QWidget* parent = parentWidget();
    if (!parent)
        return;

    // Resizing children makes Qt ask again; a few passes settle everything.
    const int parent_width = parent->width();
    const int parent_height = parent->height();
    if (parent_width == last_parent_width && parent_height == last_parent_height) {
        if (pass_count > 3)
            return;
        ++pass_count;
    } else {
        pass_count = 0;
    }
    last_parent_width = parent_width;
    last_parent_height = parent_height;

    float fixed_width = 0;
    int flexible_columns = 0;
    for (const auto& c : columns) {
        fixed_width += float(c.width);
        flexible_columns += c.width == 0 ? 1 : 0;
    }
    float fixed_height = 0;
    int flexible_rows = 0;
    for (const auto& r : rows) {
        fixed_height += float(r.height);
        flexible_rows += r.height == 0 ? 1 : 0;
    }
    const float flexible_width
        = flexible_columns ? (float(parent_width) - fixed_width) / float(flexible_columns) : 0;
    const float flexible_height
        = flexible_rows ? (float(parent_height) - fixed_height) / float(flexible_rows) : 0;
    const auto column_width = [&](std::size_t i) {
        return i < columns.size() && columns[i].width != 0 ? float(columns[i].width) : flexible_width;
    };
    const auto row_height = [&](std::size_t i) {
        return i < rows.size() && rows[i].height != 0 ? float(rows[i].height) : flexible_height;
    };

    float y = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        float x = 0;
        for (std::size_t col = 0; col < columns.size(); ++col) {
            const auto it = cells.find({ static_cast<int>(col), static_cast<int>(r) });
            if (it == cells.end())
                continue;
            cell& c = it->second;

            float cell_width = 0;
            for (int k = 0; k < c.column_span; ++k)
                cell_width
                    += k == 0 && c.cell_column_width > 0 ? float(c.cell_column_width) : column_width(col + k);
            float cell_height = 0;
            for (int k = 0; k < c.row_span; ++k)
                cell_height += row_height(r + k);

            const span h = place(
                x, cell_width, c.width, c.margins.left, c.margins.right, c.paddings.left, c.paddings.right);
            const span v = place(
                y, cell_height, c.height, c.margins.top, c.margins.bottom, c.paddings.top, c.paddings.bottom);

            if (c.widget) {
                adopt(c.widget, parent);
                c.widget->move(
                    static_cast<int>(h.position) + c.offset_x, static_cast<int>(v.position) + c.offset_y);
                c.widget->setFixedSize(clamped(h.length), clamped(v.length));
            }
            if (c.background_widget) {
                adopt(c.background_widget, parent);
                c.background_widget->move(static_cast<int>(h.position - c.paddings.left),
                    static_cast<int>(v.position - c.paddings.top));
                c.background_widget->setFixedSize(clamped(h.length + c.paddings.left + c.paddings.right),
                    clamped(v.length + c.paddings.top + c.paddings.bottom));
            }
            // Only widget cells take room: placeholders and fillers are skipped over.
            if (c.widget) {
                c.widget->raise();
                x += cell_width;
            }
        }
        y += row_height(r);
    }
}

QLayoutItem* layout::itemAt(int index) const
{
    if (index < 0)
        return nullptr;
    for (const auto& [position, c] : cells) {
        if (c.isEmpty())
            continue;
        if (index-- == 0)
            return const_cast<cell*>(&c);
    }
    return nullptr;
}

QLayoutItem* layout::takeAt(int)
{
    return nullptr;
}

int layout::count() const
{
    return static_cast<int>(
        std::count_if(cells.begin(), cells.end(), [](const auto& entry) { return !entry.second.isEmpty(); }));
}

} // namespace ktk::qt
