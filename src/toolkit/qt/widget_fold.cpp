#include "toolkit/qt/widget_fold.h"

#include "toolkit/qt/lambda.h"
#include "toolkit/qt/layout.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace ktk::qt {

namespace {

cell* cell_of(QWidget* widget)
{
    const auto it = layout::widgets_in_cells.find(widget);
    return it == layout::widgets_in_cells.end() ? nullptr : it->second;
}

// The layouts only recompute on a size change, so the window is resized by
// one pixel and back.
void relayout_window(QWidget* widget)
{
    QWidget* top = widget->window();
    top->resize(top->width(), top->height() + 1);
    top->resize(top->width(), top->height() - 1);
    top->repaint();
}

} // namespace

widget_fold::widget_fold(
    const QString& title, QPushButton* button, double value, int collapsed_height, QWidget* parent)
    : QWidget(parent)
    , m_main_layout(new ktk::qt::layout(2, false))
    , m_collapsed_height(collapsed_height)
    , m_unused(value)
    , m_button(button)
{
    namespace p = ktk::qt::property;

    if (!m_button) {
        m_button = new QPushButton(tr("fold"));
        m_owns_button = true;
    }
    m_main_layout->add(
        m_button, [this] { toggle(); }, p::row_height(m_collapsed_height));
    const int button_width = m_button->sizeHint().width() - 20;
    m_main_layout->columns[m_main_layout->last_position.column].width
        = button_width > 0 ? button_width : m_collapsed_height;

    auto* title_container = new QWidget;
    m_title_layout = new ktk::qt::layout(1, false);
    title_container->setLayout(m_title_layout);
    m_main_layout->add(title_container, 1, 0);
    if (!title.isEmpty())
        m_title_layout->add(new QLabel(title));

    m_content_layout = new ktk::qt::layout(1, false);
    m_main_layout->add(m_content_layout, p::column_span(2), p::height(400), p::margin_top(0));

    // Our own cell in the outer layout exists only once the caller has
    // added us there, after this constructor.
    auto* later = new lambda([this] { fit_content_to_row(); });
    later->setParent(this);
    QTimer::singleShot(1, later, SLOT(call()));

    setLayout(m_main_layout);
    relayout_window(this);
}

void widget_fold::fit_content_to_row()
{
    const cell* own = cell_of(this);
    if (!own || !own->layout)
        return;
    const auto content = m_main_layout->cells.find(cell_position { 0, 1 });
    if (content == m_main_layout->cells.end())
        return;
    const int r = own->layout->row_index_of(*own);
    content->second.height = static_cast<float>(own->layout->rows[r].height);
    // Our own size has not changed, so nothing would lay the content out
    // again; the forgotten size lets the pass run at once.
    m_main_layout->last_parent_width = -1;
    m_main_layout->setGeometry(rect());
}

void widget_fold::toggle()
{
    m_folded = !m_folded;
    cell* own = cell_of(this);
    const int row = own && own->layout ? own->layout->row_index_of(*own) : -1;

    int new_height;
    if (m_folded) {
        if (row >= 0)
            m_remembered_height = own->layout->rows[row].height;
        new_height = m_collapsed_height;
        if (m_owns_button)
            m_button->setText(tr("unfold"));
    } else {
        new_height = m_remembered_height;
        if (m_owns_button)
            m_button->setText(tr("fold"));
    }
    if (own)
        own->resize_row(new_height, static_cast<float>(m_unused));
    emit folded(m_folded);
}

} // namespace ktk::qt
