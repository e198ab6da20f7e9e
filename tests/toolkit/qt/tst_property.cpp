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
    void filling_data();
    void filling();
    void later_property_overrides();
    void sizes_with_and_without_widget();
};

void tst_property::filling_data()
{
    QTest::addColumn<QVector<int>>("given");
    QTest::addColumn<QVector<int>>("stored"); // top, right, bottom, left

    QTest::newRow("one value fills all") << QVector<int> { 5 } << QVector<int> { 5, 5, 5, 5 };
    QTest::newRow("two values") << QVector<int> { 5, 10 } << QVector<int> { 5, 10, 10, 10 };
    QTest::newRow("three values") << QVector<int> { 1, 2, 3 } << QVector<int> { 1, 2, 3, 3 };
    QTest::newRow("four values") << QVector<int> { 1, 2, 3, 4 } << QVector<int> { 1, 2, 3, 4 };
}

void tst_property::filling()
{
    QFETCH(QVector<int>, given);
    QFETCH(QVector<int>, stored);
    // A later call starts afresh.
    for (int round = 0; round < 2; ++round) {
        const auto values = call(p::margin, given);
        QCOMPARE(QVector<int>(values.begin(), values.end()), stored);
    }
    call(p::padding, given);
    styled s;
    s.c.style(ktk::property_vector { &p::margin, &p::padding });
    for (const ktk::qt::cell_edges& edges : { s.c.margins, s.c.paddings }) {
        QCOMPARE(edges.top, float(stored[0]));
        QCOMPARE(edges.right, float(stored[1]));
        QCOMPARE(edges.bottom, float(stored[2]));
        QCOMPARE(edges.left, float(stored[3]));
    }
}

void tst_property::later_property_overrides()
{
    styled s;
    s.c.style(p::margin(5), p::margin_left(7), p::offset(3, 4), p::offset_y(9), p::column_span(3));
    QCOMPARE(s.c.margins.left, 7.f);
    QCOMPARE(s.c.margins.top, 5.f);
    QCOMPARE(s.c.offset_x, 3);
    QCOMPARE(s.c.offset_y, 9);
    QCOMPARE(s.c.column_span, 3);
}

void tst_property::sizes_with_and_without_widget()
{
    // Properties that act on the widget do nothing without one.
    styled none;
    none.c.style(p::style_sheet("color:red;"), p::hide, p::disable, p::widget_size, p::size(10, 20));
    QCOMPARE(none.c.width, 10.f);
    QVERIFY(none.background->styleSheet().isEmpty());
    QVERIFY(none.background->isEnabled());

    QWidget w;
    styled fixed(&w);
    fixed.c.style(p::size(100, 40));
    QCOMPARE(w.minimumSize(), QSize(100, 40));
    QCOMPARE(w.maximumSize(), QSize(100, 40));

    w.setMinimumSize(0, 0);
    w.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w.resize(70, 30);
    styled measured(&w);
    measured.c.style(p::widget_size);
    QCOMPARE(measured.c.width, 70.f);
    QCOMPARE(measured.c.height, 30.f);
    QCOMPARE(measured.c.cell_column_width, 0);
    measured.c.style(p::widget_size_as_cell_column_width);
    QCOMPARE(measured.c.cell_column_width, 70);
}

QTEST_MAIN(tst_property)
#include "tst_property.moc"
