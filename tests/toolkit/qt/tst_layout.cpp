#include "toolkit/qt/layout.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace p = ktk::qt::property;
using ktk::qt::layout;

namespace {

// A layout installed on a parent widget that is never shown, laid out by
// calling setGeometry directly.
struct grid {
    explicit grid(int wrap_count, bool vertical = false)
        : parent(new QWidget)
        , l(new layout(parent.get(), wrap_count, vertical))
    {
    }
    void lay_out(int width, int height)
    {
        parent->resize(width, height);
        l->setGeometry(QRect());
    }
    ktk::qt::cell& cell_of(QWidget* w) { return *layout::widgets_in_cells.at(w); }

    std::unique_ptr<QWidget> parent;
    layout* l;
};

QPoint position_of(QWidget* w)
{
    const ktk::qt::cell* c = layout::widgets_in_cells.at(w);
    return { c->column, c->row };
}

} // namespace

class tst_layout : public QObject {
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void every_position_holds_a_cell();
    void flexible_columns_data();
    void flexible_columns();
    void alignment_data();
    void alignment();
    void padding_and_background();
    void spans_offsets_and_rows();
    void pass_limiter();
    void widths_heights_and_sizes();
    void registry_follows_overwrites();
    void registry_cleaned_on_destruction();
    void button_callback_sees_its_cell();
    void nested_layout_fills_container();
    void resize_row_relayouts();
};

void tst_layout::placement_data()
{
    QTest::addColumn<int>("wrap");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<QStringList>("adds"); // per widget: "" plain, "cs3", "rs2", "nl", "at 1 1"
    QTest::addColumn<QList<QPoint>>("positions"); // (column, row)

    QTest::newRow("wrap 3, four widgets") << 3 << false << QStringList { "", "", "", "" }
                                          << QList<QPoint> { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 0, 1 } };
    QTest::newRow("column span 3 fills the row")
        << 3 << false << QStringList { "cs3", "" } << QList<QPoint> { { 0, 0 }, { 0, 1 } };
    QTest::newRow("row span 2 skipped below")
        << 2 << false << QStringList { "rs2", "", "" } << QList<QPoint> { { 0, 0 }, { 1, 0 }, { 1, 1 } };
    QTest::newRow("newline leaves the row")
        << 3 << false << QStringList { "nl", "" } << QList<QPoint> { { 0, 0 }, { 0, 1 } };
    QTest::newRow("vertical wrap 2") << 2 << true << QStringList { "", "", "" }
                                     << QList<QPoint> { { 0, 0 }, { 0, 1 }, { 1, 0 } };
    QTest::newRow("vertical newline")
        << 3 << true << QStringList { "nl", "" } << QList<QPoint> { { 0, 0 }, { 1, 0 } };
    QTest::newRow("explicit cell leaves the cursor, then is skipped")
        << 2 << false << QStringList { "at 1 1", "", "", "" }
        << QList<QPoint> { { 1, 1 }, { 0, 0 }, { 1, 0 }, { 0, 1 } };
    QTest::newRow("wrap 0 never wraps") << 0 << false << QStringList { "", "", "", "" }
                                        << QList<QPoint> { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 0 } };
}

void tst_layout::placement()
{
    QFETCH(int, wrap);
    QFETCH(bool, vertical);
    QFETCH(QStringList, adds);
    QFETCH(QList<QPoint>, positions);

    grid g(wrap, vertical);
    for (int i = 0; i < adds.size(); ++i) {
        auto* w = new QWidget;
        if (adds[i] == "cs3")
            g.l->add(w, p::column_span(3));
        else if (adds[i] == "rs2")
            g.l->add(w, p::row_span(2));
        else if (adds[i] == "nl")
            g.l->add(w, p::newline);
        else if (adds[i] == "at 1 1")
            g.l->add(w, 1u, 1u);
        else
            QCOMPARE(g.l->add(w), w);
        QCOMPARE(position_of(w), positions[i]);
        QCOMPARE(g.l->last_position.column, positions[i].x());
        QCOMPARE(g.l->last_position.row, positions[i].y());
        QCOMPARE(w->parentWidget(), g.parent.get());
    }
}

void tst_layout::every_position_holds_a_cell()
{
    grid g(3);
    auto* a = g.l->add(new QWidget, p::column_span(3));
    g.l->add(new QWidget);
    auto* c = g.l->add(new QWidget);
    QCOMPARE(g.l->cells.size(), std::size_t(6));
    QVERIFY(g.l->cells.at({ 2, 1 }).isEmpty());
    // The widget cells and the two placeholders; the filler at (2, 1) is empty.
    QCOMPARE(g.l->count(), 5);
    QCOMPARE(g.l->itemAt(0), static_cast<QLayoutItem*>(&g.cell_of(a)));
    QCOMPARE(g.l->itemAt(4), static_cast<QLayoutItem*>(&g.cell_of(c)));
    QVERIFY(!g.l->itemAt(5));
    QVERIFY(!g.l->itemAt(-1));
    QVERIFY(!g.l->takeAt(0));
    QCOMPARE(g.l->count(), 5);
}

void tst_layout::flexible_columns_data()
{
    QTest::addColumn<int>("first_width");
    QTest::addColumn<int>("x1");
    QTest::addColumn<int>("w0");
    QTest::addColumn<int>("w1");

    QTest::newRow("100 and flexible") << 100 << 100 << 100 << 200;
    QTest::newRow("both flexible") << 0 << 150 << 150 << 150;
}

void tst_layout::flexible_columns()
{
    QFETCH(int, first_width);
    QFETCH(int, x1);
    QFETCH(int, w0);
    QFETCH(int, w1);

    grid g(2);
    auto* a = g.l->add(new QWidget);
    g.l->columns[g.l->last_position.column].width = first_width;
    auto* b = g.l->add(new QWidget);
    g.lay_out(300, 60);
    QCOMPARE(a->geometry(), QRect(0, 0, w0, 60));
    QCOMPARE(b->geometry(), QRect(x1, 0, w1, 60));
}

void tst_layout::alignment_data()
{
    // One 100 x 100 cell; the same values go to both axes.
    QTest::addColumn<int>("fixed");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("length");

    QTest::newRow("fixed, no margins: centred") << 40 << -1 << -1 << 30 << 40;
    QTest::newRow("fixed, leading margin") << 40 << 5 << -1 << 5 << 40;
    QTest::newRow("fixed, trailing margin: pushed to the end") << 40 << -1 << 5 << 55 << 40;
    QTest::newRow("fixed, both margins: at the edge") << 40 << 5 << 5 << 0 << 40;
    QTest::newRow("filling, no margins") << -1 << -1 << -1 << 0 << 100;
    QTest::newRow("filling, leading margin") << -1 << 5 << -1 << 5 << 95;
    QTest::newRow("filling, trailing margin") << -1 << -1 << 5 << 0 << 95;
    QTest::newRow("filling, both margins") << -1 << 5 << 10 << 5 << 85;
    QTest::newRow("zero margins count as set") << 40 << 0 << 0 << 0 << 40;
}

void tst_layout::alignment()
{
    QFETCH(int, fixed);
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, position);
    QFETCH(int, length);

    grid g(1);
    auto* w = g.l->add(new QWidget, p::width(fixed), p::height(fixed), p::margin_left(before),
        p::margin_top(before), p::margin_right(after), p::margin_bottom(after));
    g.lay_out(100, 100);
    QCOMPARE(w->geometry(), QRect(position, position, length, length));
}

void tst_layout::padding_and_background()
{
    grid g(1);
    auto* w = g.l->add(new QWidget, p::padding(10));
    g.lay_out(100, 50);
    QCOMPARE(w->geometry(), QRect(10, 10, 80, 30));
    QWidget* background = g.cell_of(w).background();
    QCOMPARE(background->parentWidget(), g.parent.get());
    QCOMPARE(background->geometry(), QRect(0, 0, 100, 50));
    // Drawn behind the widget.
    const auto children = g.parent->children();
    QVERIFY(children.indexOf(background) < children.indexOf(w));
}

void tst_layout::spans_offsets_and_rows()
{
    grid g(3);
    auto* top = g.l->add(new QWidget, p::column_span(3), p::row_height(32));
    auto* a = g.l->add(new QWidget, p::offset(3, 4));
    auto* b = g.l->add(new QWidget, p::cell_column_width(50), p::column_span(2));
    g.lay_out(300, 100);
    QCOMPARE(top->geometry(), QRect(0, 0, 300, 32));
    QCOMPARE(a->geometry(), QRect(3, 36, 100, 68));
    QCOMPARE(g.cell_of(a).background()->geometry(), QRect(0, 32, 100, 68));
    QCOMPARE(b->geometry(), QRect(100, 32, 150, 68));
}

void tst_layout::pass_limiter()
{
    grid g(1);
    auto* w = g.l->add(new QWidget);
    for (int i = 0; i < 5; ++i) {
        w->move(7, 7);
        g.lay_out(100, 100);
        QCOMPARE(w->pos(), QPoint(0, 0));
    }
    w->move(7, 7);
    g.lay_out(100, 100);
    QCOMPARE(w->pos(), QPoint(7, 7)); // sixth request at the same size ignored

    g.lay_out(120, 100);
    QCOMPARE(w->geometry(), QRect(0, 0, 120, 100));
    for (int i = 0; i < 4; ++i) {
        w->move(7, 7);
        g.lay_out(120, 100);
        QCOMPARE(w->pos(), QPoint(0, 0));
    }
}

void tst_layout::widths_heights_and_sizes()
{
    grid g(2);
    g.l->add(new QWidget, p::column_width(40), p::row_height(30));
    g.l->add(new QWidget);
    g.l->add(new QWidget, p::column_width(100));
    QCOMPARE(g.l->columns[0].width, 100); // the later cell wins
    QCOMPARE(g.l->rows[1].height, 0);
    QCOMPARE(g.l->minimumSize(), QSize(100, 30));
    QCOMPARE(g.l->sizeHint(), QSize(120, 50));
}

void tst_layout::registry_follows_overwrites()
{
    grid g(3);
    auto* a = g.l->add(new QWidget, 1u, 0u);
    QCOMPARE(g.cell_of(a).widget, a);
    // The span's placeholder takes (1, 0) from a.
    auto* b = g.l->add(new QWidget, p::column_span(2));
    QCOMPARE(position_of(b), QPoint(0, 0));
    QVERIFY(g.l->cells.at({ 1, 0 }).spanned);
    QVERIFY(!layout::widgets_in_cells.count(a));

    auto* c = g.l->add(new QWidget, 2u, 0u);
    auto* d = g.l->add(new QWidget, 2u, 0u);
    QVERIFY(!layout::widgets_in_cells.count(c));
    QCOMPARE(g.cell_of(d).widget, d);
    QCOMPARE(g.cell_of(d).layout, g.l);
}

void tst_layout::registry_cleaned_on_destruction()
{
    grid keep(1);
    auto* kept = keep.l->add(new QWidget);
    std::vector<QWidget*> widgets;
    {
        grid gone(2);
        for (int i = 0; i < 3; ++i)
            widgets.push_back(gone.l->add(new QWidget));
        for (auto* w : widgets)
            QCOMPARE(gone.cell_of(w).widget, w);
        layout::current_cell = &gone.cell_of(widgets[0]);
    }
    for (auto* w : widgets)
        QVERIFY(!layout::widgets_in_cells.count(w));
    QVERIFY(!layout::current_cell);
    QCOMPARE(keep.cell_of(kept).widget, kept);

    // A layout never installed on a widget.
    auto* loose = new layout(1, false);
    auto* w = new QWidget;
    loose->add(w);
    QVERIFY(layout::widgets_in_cells.count(w));
    delete loose;
    QVERIFY(!layout::widgets_in_cells.count(w));
    delete w;
}

void tst_layout::button_callback_sees_its_cell()
{
    grid g(2);
    g.l->add(new QWidget);
    int calls = 0;
    ktk::qt::cell* seen = nullptr;
    auto* button = g.l->add(
        new QPushButton("go"),
        [&] {
            ++calls;
            seen = layout::current_cell;
        },
        p::margin(2));
    g.l->add(new QWidget);
    layout::current_cell = nullptr;
    button->click();
    QCOMPARE(calls, 1);
    QCOMPARE(seen, &g.cell_of(button));
    QCOMPARE(seen->margins.top, 2.f);

    auto* silent = g.l->add(new QPushButton, std::function<void()>(), p::margin(1));
    silent->click();
    QCOMPARE(calls, 1);
}

void tst_layout::nested_layout_fills_container()
{
    QWidget window;
    auto* outer = new layout(&window, 1, false);
    auto* inner = new layout(2, false);
    auto* left = inner->add(new QLabel("left"));
    auto* right = inner->add(new QLabel("right"));
    outer->add(inner, p::margin_left(20), p::height(40));
    // Owned by the container at once, so a window that is never shown owns them too.
    QCOMPARE(left->parentWidget(), inner->parentWidget());
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QWidget* container = inner->parentWidget();
    QVERIFY(container);
    QCOMPARE(container->parentWidget(), &window);
    QTRY_COMPARE(container->geometry(), QRect(20, 30, 180, 40));
    QTRY_COMPARE(left->geometry(), QRect(0, 0, 90, 40));
    QTRY_COMPARE(right->geometry(), QRect(90, 0, 90, 40));
    QCOMPARE(left->parentWidget(), container);
    QVERIFY(right->isVisible());
}

void tst_layout::resize_row_relayouts()
{
    QWidget window;
    auto* l = new layout(&window, 1, false);
    auto* first = l->add(new QWidget);
    auto* second = l->add(new QWidget, p::row_height(20));
    window.resize(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(second->geometry(), QRect(0, 80, 100, 20));

    layout::widgets_in_cells.at(first)->resize_row(30);
    QCOMPARE(l->rows[0].height, 30);
    QCOMPARE(window.size(), QSize(100, 100));
    QTRY_COMPARE(first->geometry(), QRect(0, 0, 100, 30));
    QTRY_COMPARE(second->geometry(), QRect(0, 30, 100, 20));
}

QTEST_MAIN(tst_layout)
#include "tst_layout.moc"
