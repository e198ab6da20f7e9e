#include "toolkit/qt/cell.h"
#include "toolkit/qt/property.h"

#include <QWidget>
#include <QtTest>

#include <memory>

namespace p = ktk::qt::property;

namespace {

// A cell as the layout's add() builds it, with its background cleaned up.
struct styled {
    explicit styled(QWidget* w = nullptr)
        : c(w)
        , background(c.background_widget)
    {
    }
    ktk::qt::cell c;
    std::unique_ptr<QWidget> background;
};

std::vector<int> call(ktk::property_type<int, 4>& prop, const QVector<int>& v)
{
    switch (v.size()) {
    case 1:
        prop(v[0]);
        break;
    case 2:
        prop(v[0], v[1]);
        break;
    case 3:
        prop(v[0], v[1], v[2]);
        break;
    default:
        prop(v[0], v[1], v[2], v[3]);
    }
    return { prop.value.begin(), prop.value.end() };
}

} // namespace

class tst_property : public QObject {
    Q_OBJECT

private slots:
    void ids_follow_declaration_order();
    void filling_data();
    void filling();
    void margin_and_padding_fields();
    void vectors_concatenate();
    void later_property_overrides();
    void size_fixes_widget_at_once();
    void widget_properties_without_widget();
    void style_sheet_merges_into_widget();
    void widget_size_flags();
};

void tst_property::ids_follow_declaration_order()
{
    const std::vector<const ktk::property*> order { &p::margin, &p::margin_top, &p::margin_bottom,
        &p::margin_left, &p::margin_right, &p::padding, &p::padding_top, &p::padding_bottom, &p::padding_left,
        &p::padding_right, &p::width, &p::height, &p::size, &p::style_sheet, &p::background_style_sheet,
        &p::background_disable, &p::row_height, &p::row_span, &p::column_span, &p::column_width, &p::hide,
        &p::disable, &p::cell_column_width, &p::newline, &p::offset_x, &p::offset_y, &p::offset,
        &p::widget_size, &p::widget_size_as_cell_column_width };
    for (std::size_t i = 1; i < order.size(); ++i)
        QCOMPARE(order[i]->id, order[0]->id + std::int32_t(i));
    QVERIFY(&p::margin == p::margin);
    QVERIFY(!(&p::margin == p::padding));
}

void tst_property::filling_data()
{
    QTest::addColumn<QVector<int>>("given");
    QTest::addColumn<QVector<int>>("stored");

    QTest::newRow("one value fills all") << QVector<int> { 5 } << QVector<int> { 5, 5, 5, 5 };
    QTest::newRow("two values") << QVector<int> { 5, 10 } << QVector<int> { 5, 10, 10, 10 };
    QTest::newRow("three values") << QVector<int> { 1, 2, 3 } << QVector<int> { 1, 2, 3, 3 };
    QTest::newRow("four values") << QVector<int> { 1, 2, 3, 4 } << QVector<int> { 1, 2, 3, 4 };
}

void tst_property::filling()
{
    QFETCH(QVector<int>, given);
    QFETCH(QVector<int>, stored);
    const auto values = call(p::margin, given);
    QCOMPARE(QVector<int>(values.begin(), values.end()), stored);
    // A later call starts afresh.
    const auto again = call(p::margin, given);
    QCOMPARE(QVector<int>(again.begin(), again.end()), stored);
    const auto v = p::offset(7);
    QCOMPARE(v.size(), std::size_t(1));
    QCOMPARE(p::offset.value, (std::vector<std::int32_t> { 7, 7 }));
}

void tst_property::margin_and_padding_fields()
{
    styled s;
    s.c.style(p::margin(4));
    QCOMPARE(s.c.margins.left, 4.f);
    QCOMPARE(s.c.margins.right, 4.f);
    QCOMPARE(s.c.margins.top, 4.f);
    QCOMPARE(s.c.margins.bottom, 4.f);

    s.c.style(p::padding(2, 6));
    QCOMPARE(s.c.paddings.top, 2.f);
    QCOMPARE(s.c.paddings.right, 6.f);
    QCOMPARE(s.c.paddings.bottom, 6.f);
    QCOMPARE(s.c.paddings.left, 6.f);

    // Values come in as top, right, bottom, left.
    s.c.style(p::margin(0, 10, 0, 20));
    QCOMPARE(s.c.margins.left, 20.f);
    QCOMPARE(s.c.margins.right, 10.f);
    QCOMPARE(s.c.margins.top, 0.f);
}

void tst_property::vectors_concatenate()
{
    const auto v = ktk::make_property_vector(p::column_span(3), p::background_disable, p::height(97));
    QCOMPARE(v, (ktk::property_vector { &p::column_span, &p::background_disable, &p::height }));
    QVERIFY(ktk::make_property_vector().empty());
    QCOMPARE((p::newline, p::width(1)), (ktk::property_vector { &p::width, &p::newline }));

    styled s;
    s.c.style(p::column_span(3), p::height(97), p::background_disable);
    QCOMPARE(s.c.column_span, 3);
    QCOMPARE(s.c.height, 97.f);
}

void tst_property::later_property_overrides()
{
    styled s;
    s.c.style(p::margin(5), p::margin_left(7), p::offset(3, 4), p::offset_y(9));
    QCOMPARE(s.c.margins.left, 7.f);
    QCOMPARE(s.c.margins.top, 5.f);
    QCOMPARE(s.c.offset_x, 3);
    QCOMPARE(s.c.offset_y, 9);
}

void tst_property::size_fixes_widget_at_once()
{
    QWidget w;
    styled s(&w);
    s.c.style(p::size(100, 40));
    QCOMPARE(w.size(), QSize(100, 40));
    QCOMPARE(w.minimumSize(), QSize(100, 40));
    QCOMPARE(w.maximumSize(), QSize(100, 40));
    QCOMPARE(s.c.width, 100.f);
    QCOMPARE(s.c.height, 40.f);
}

void tst_property::widget_properties_without_widget()
{
    styled s;
    s.c.style(p::style_sheet("color:red;"), p::hide, p::disable, p::widget_size, p::size(10, 20));
    QCOMPARE(s.c.width, 10.f);
    QVERIFY(s.background->styleSheet().isEmpty());
    QVERIFY(s.background->isEnabled());
}

void tst_property::style_sheet_merges_into_widget()
{
    QWidget w;
    w.setStyleSheet("font-size:12px;");
    styled s(&w);
    s.c.style(p::style_sheet("color: rgb(198,213,210);"));
    QCOMPARE(w.styleSheet(), QString("color: rgb(198,213,210);font-size:12px;"));
    s.c.style(p::style_sheet("font-size:14px;"));
    QCOMPARE(w.styleSheet(), QString("color: rgb(198,213,210);font-size:14px;"));
}

void tst_property::widget_size_flags()
{
    QWidget w;
    w.resize(70, 30);
    styled a(&w);
    a.c.style(p::widget_size);
    QCOMPARE(a.c.width, 70.f);
    QCOMPARE(a.c.height, 30.f);
    QCOMPARE(a.c.cell_column_width, 0);

    styled b(&w);
    b.c.style(p::widget_size_as_cell_column_width);
    QCOMPARE(b.c.width, 70.f);
    QCOMPARE(b.c.cell_column_width, 70);
}

QTEST_MAIN(tst_property)
#include "tst_property.moc"
