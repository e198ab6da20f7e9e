#include "toolkit/qt/layout.h"
#include "toolkit/qt/widget_fold.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace p = ktk::qt::property;

class tst_widget_fold : public QObject {
    Q_OBJECT

private slots:
    void fold_and_unfold_data();
    void fold_and_unfold();
    void content_follows_outer_row();
    void outside_a_layout();
};

void tst_widget_fold::fold_and_unfold_data()
{
    QTest::addColumn<bool>("own_button");
    QTest::addColumn<int>("row_height");

    QTest::newRow("own button, fixed row") << true << 200;
    QTest::newRow("given button, fixed row") << false << 150;
    QTest::newRow("own button, flexible row") << true << 0;
}

void tst_widget_fold::fold_and_unfold()
{
    QFETCH(bool, own_button);
    QFETCH(int, row_height);

    QWidget window;
    auto* outer = new ktk::qt::layout(1, false);
    QPushButton* given = own_button ? nullptr : new QPushButton("More");
    auto* fold = new ktk::qt::widget_fold("Details", given, 0, 30);
    if (row_height > 0)
        outer->add(fold, p::row_height(row_height));
    else
        outer->add(fold);
    outer->add(new QWidget, p::row_height(50));
    window.setLayout(outer);
    window.resize(300, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const int open_height = row_height > 0 ? row_height : 350;
    QTRY_COMPARE(fold->height(), open_height);

    QSignalSpy spy(fold, &ktk::qt::widget_fold::folded);
    fold->button()->click();
    QVERIFY(fold->is_folded());
    QTRY_COMPARE(fold->height(), 30);
    QCOMPARE(fold->button()->text(), own_button ? QString("unfold") : QString("More"));

    fold->button()->click();
    QCOMPARE(outer->rows[0].height, row_height);
    QTRY_COMPARE(fold->height(), open_height);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
}

void tst_widget_fold::content_follows_outer_row()
{
    QWidget window;
    auto* outer = new ktk::qt::layout(1, false);
    auto* fold = new ktk::qt::widget_fold("Details", nullptr, 0, 25);
    outer->add(fold, p::row_height(180));
    window.setLayout(outer);
    window.resize(300, 400);
    window.show();

    auto* main = qobject_cast<ktk::qt::layout*>(fold->layout());
    QVERIFY(main);
    const auto content = main->cells.find(ktk::qt::cell_position { 0, 1 });
    QVERIFY(content != main->cells.end());
    QTRY_COMPARE(content->second.height, 180.0f);
    // Laid out again at once, though the section itself kept its size.
    QTRY_COMPARE(content->second.widget->height(), 180);
}

void tst_widget_fold::outside_a_layout()
{
    // Not placed in any layout: toggling still flips the state and reports it.
    ktk::qt::widget_fold fold;
    QSignalSpy spy(&fold, &ktk::qt::widget_fold::folded);
    fold.toggle();
    QCOMPARE(spy.count(), 1);
    QVERIFY(fold.is_folded());
    // The deferred fitting to an outer row finds none.
    QTest::qWait(10);
}

QTEST_MAIN(tst_widget_fold)
#include "tst_widget_fold.moc"
