#include "dialogs/dialog_camera_clock.h"

#include <QSignalSpy>
#include <QTest>

// Two photos of a clock give a drift: the camera's lead at each, on a line.
class tst_camera_clock_dialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void two_photos_give_a_drift_data();
    void two_photos_give_a_drift();
};

void tst_camera_clock_dialog::two_photos_give_a_drift_data()
{
    QTest::addColumn<QTime>("first_true");
    QTest::addColumn<QTime>("second_true");
    QTest::addColumn<int>("ahead_at_noon"); // seconds; -1: refused
    // Camera times 08:00 and 16:00: 60 s ahead, then 120 s ahead.
    QTest::newRow("gaining") << QTime(7, 59) << QTime(15, 58) << 90;
    QTest::newRow("given latest first") << QTime(15, 58) << QTime(7, 59) << 90;
    QTest::newRow("losing 1% or more: a typing error") << QTime(7, 0) << QTime(16, 0) << -1;
}

void tst_camera_clock_dialog::two_photos_give_a_drift()
{
    QFETCH(QTime, first_true);
    QFETCH(QTime, second_true);
    QFETCH(int, ahead_at_noon);
    const QDate day(2019, 5, 1);
    dialog_camera_clock dialog;
    dialog.set_photos({ { "a.jpg", QDateTime(day, QTime(8, 0)) }, { "b.jpg", QDateTime(day, QTime(16, 0)) } });
    camera_clock start;
    start.clock_offset = 30;
    dialog.set_clock(start);
    QSignalSpy changed(&dialog, &dialog_camera_clock::clock_changed);
    const bool reversed = first_true > second_true;
    const bool used = dialog.use_photos(reversed ? 1 : 0, QDateTime(day, first_true), reversed ? 0 : 1, QDateTime(day, second_true));
    QCOMPARE(used, ahead_at_noon >= 0);
    QCOMPARE(changed.size(), used ? 1 : 0);
    if (!used) {
        QCOMPARE(dialog.clock(), start);
        return;
    }
    const camera_clock clock = dialog.clock();
    QVERIFY(clock.drift);
    QCOMPARE(clock.clock_offset, qint64(0));
    const qint64 noon = QDateTime(day, QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
    QCOMPARE(clock.drift->ahead_msecs(noon), qint64(ahead_at_noon) * 1000);
    // One photo again: a plain offset, the drift gone.
    dialog.use_photo(0, QDateTime(day, QTime(7, 59)));
    QVERIFY(!dialog.clock().drift);
}

QTEST_MAIN(tst_camera_clock_dialog)
#include "tst_camera_clock_dialog.moc"
