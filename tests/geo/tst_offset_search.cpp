#include "geo/offset_search.h"

#include <QtTest>

namespace {

const qint64 day = QDateTime(QDate(2019, 7, 1), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
constexpr qint64 minute = 60 * 1000;

// Walks an hour long, a point every 10 s, starting the given hours after
// 06:00 UTC; each a track of its own.
gps_track walks(const QList<int>& starts)
{
    QList<track_data> tracks;
    for (const int start : starts) {
        track_data walk;
        for (int s = 0; s <= 3600; s += 10) {
            gps_data point;
            point.latitude = 45.8 + start * 0.01 + s * 1e-6;
            point.longitude = 15.97;
            point.msecs = day + start * 3600000LL + s * 1000LL;
            walk.points << point;
        }
        tracks << walk;
    }
    return gps_track(tracks);
}

// Eleven photos 5 to 55 minutes into each walk, as the camera's clock,
// `shift` minutes off the true time, makes them read.
std::vector<qint64> photos(const QList<int>& starts, int shift)
{
    std::vector<qint64> times;
    for (const int start : starts) {
        for (int m = 5; m <= 55; m += 5)
            times.push_back(day + start * 3600000LL + (m + shift) * minute);
    }
    return times;
}

} // namespace

class tst_offset_search : public QObject {
    Q_OBJECT

private slots:
    void search_data();
    void search();
};

void tst_offset_search::search_data()
{
    QTest::addColumn<QList<int>>("track"); // walk starts, hours
    QTest::addColumn<QList<int>>("taken"); // walks with photos
    QTest::addColumn<int>("shift"); // minutes the photo times are off
    QTest::addColumn<int>("limit"); // minutes, gap and ends
    QTest::addColumn<QString>("zone"); // the zone the times were read in
    QTest::addColumn<bool>("better");
    QTest::addColumn<int>("offset"); // minutes
    QTest::addColumn<int>("now");
    QTest::addColumn<int>("best");
    QTest::addColumn<QString>("offset_text");
    QTest::addColumn<QString>("zone_text");

    const QList<int> three = { 0, 3, 6 };
    QTest::newRow("camera on UTC, read as Zagreb time")
        << three << three << -120 << 30 << "Europe/Zagreb" << true << -120 << 12 << 33 << "2:00 h behind"
        << "the camera was set to UTC, not Europe/Zagreb";
    QTest::newRow("zone two hours east, clock 2 min ahead")
        << three << three << 122 << 30 << "Atlantic/Reykjavik" << true << 122 << 12 << 33
        << "2:00 h and 2 min ahead"
        << "the camera was set to UTC+02:00, not Atlantic/Reykjavik";
    QTest::newRow("a minute past the hour is the hour")
        << three << three << -121 << 30 << "" << true << -121 << 12 << 33 << "2:00 h behind"
        << "";
    QTest::newRow("17 min ahead, tight limits")
        << three << three << 17 << 2 << "Europe/Zagreb" << true << 17 << 27 << 33 << "17 min ahead"
        << "";
    QTest::newRow("17 min ahead is within the usual limits")
        << three << three << 17 << 30 << "" << false << 17 << 33 << 33 << "17 min ahead"
        << "";
    QTest::newRow("right already") << three << three << 0 << 30 << "" << false << 0 << 33 << 33 << "none"
                                   << "";
    QTest::newRow("photos of another day")
        << three << three << 3 * 24 * 60 << 30 << "" << false << 0 << 0 << 0 << ""
        << "";
    // The photos fit the first walk three hours back and the second three
    // hours on; the one named first is no better.
    QTest::newRow("two walks fit equally") << QList<int> { 0, 6 } << QList<int> { 0 } << 180 << 30 << ""
                                           << false << -180 << 0 << 11 << "3:00 h behind"
                                           << "";
}

void tst_offset_search::search()
{
    QFETCH(QList<int>, track);
    QFETCH(QList<int>, taken);
    QFETCH(int, shift);
    QFETCH(int, limit);
    QFETCH(QString, zone);
    QFETCH(bool, better);
    QFETCH(int, offset);
    QFETCH(int, now);
    QFETCH(int, best);
    QFETCH(QString, offset_text);
    QFETCH(QString, zone_text);

    match_options options;
    options.gap_limit_msecs = limit * minute;
    options.end_limit_msecs = limit * minute;
    const offset_suggestion found = search_clock_offset(
        photos(taken, shift), walks(track), options, zone.isEmpty() ? QTimeZone() : QTimeZone(zone.toUtf8()));
    QCOMPARE(found.placed_now, now);
    QCOMPARE(found.placed_with_offset, best);
    QCOMPARE(found.clearly_better, better);
    QCOMPARE(found.offset_text, offset_text);
    QCOMPARE(found.zone_text, zone_text);
    if (best == 0)
        return;
    QVERIFY(found.from_secs <= found.offset_secs && found.offset_secs <= found.to_secs);
    QCOMPARE(found.ambiguous, QTest::currentDataTag() == QByteArray("two walks fit equally"));
    QCOMPARE(found.offset_secs, qint64(offset) * 60);
}

QTEST_GUILESS_MAIN(tst_offset_search)
#include "tst_offset_search.moc"
