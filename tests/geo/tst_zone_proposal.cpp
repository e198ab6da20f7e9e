#include "geo/zone_proposal.h"

#include <QtTest>

namespace {

// A short walk starting at the given UTC time.
track_data walk(double lat, double lon, const QDateTime& start)
{
    track_data track;
    for (int s = 0; s <= 600; s += 60) {
        gps_data point;
        point.latitude = lat + s * 1e-5;
        point.longitude = lon;
        point.msecs = start.addSecs(s).toMSecsSinceEpoch();
        track.points << point;
    }
    return track;
}

QDateTime wall(const char* text)
{
    return QDateTime::fromString(QLatin1String(text), Qt::ISODate);
}

} // namespace

class tst_zone_proposal : public QObject {
    Q_OBJECT

private slots:
    void zones_data();
    void zones();
    void nearest_part_of_a_long_trip();
};

void tst_zone_proposal::zones_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<QList<QDateTime>>("photos");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("offsets"); // "date offset-in-hours", one per day and offset

    QTest::newRow("Iceland, no daylight saving")
        << 64.1466 << -21.9426
        << QList<QDateTime> { wall("2019-04-06T22:05:00"), wall("2019-07-01T12:00:00") }
        << "Atlantic/Reykjavik"
        << "2019-04-06 0, 2019-07-01 0";
    // Daylight saving ends on 7 April 2019 at 03:00 and starts on 29 September at 02:00.
    QTest::newRow("New Zealand, across the changes")
        << -41.2865 << 174.7762
        << QList<QDateTime> { wall("2019-04-06T12:00:00"), wall("2019-04-07T01:30:00"),
               wall("2019-04-07T12:00:00"), wall("2019-09-28T12:00:00"), wall("2019-09-29T12:00:00"),
               wall("2019-04-06T18:00:00") }
        << "Pacific/Auckland"
        << "2019-04-06 13, 2019-04-07 13, 2019-04-07 12, 2019-09-28 12, 2019-09-29 13";
    QTest::newRow("no photos: the track's middle")
        << -41.2865 << 174.7762 << QList<QDateTime>() << "Pacific/Auckland"
        << "";
}

void tst_zone_proposal::zones()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(QList<QDateTime>, photos);
    QFETCH(QString, zone);
    QFETCH(QString, offsets);

    const std::optional<zone_proposal> proposal = propose_camera_zone(
        gps_track({ walk(lat, lon, QDateTime(QDate(2019, 4, 6), QTime(22, 0), Qt::UTC)) }),
        std::vector<QDateTime>(photos.begin(), photos.end()));
    QVERIFY(proposal);
    QCOMPARE(QString::fromUtf8(proposal->zone_id), zone);
    QVERIFY(proposal->from.km < 50);
    QStringList read;
    for (const zone_proposal::day_offset& day : proposal->offsets)
        read << QStringLiteral("%1 %2").arg(day.date.toString(Qt::ISODate)).arg(day.utc_offset / 3600.0);
    QCOMPARE(read.join(", "), offsets);
}

void tst_zone_proposal::nearest_part_of_a_long_trip()
{
    // Reykjavik in the morning, Wellington a day later; photos taken there.
    const QList<track_data> trip { walk(
                                       64.1466, -21.9426, QDateTime(QDate(2019, 5, 1), QTime(8, 0), Qt::UTC)),
        walk(-41.2865, 174.7762, QDateTime(QDate(2019, 5, 2), QTime(8, 0), Qt::UTC)) };
    const auto proposal = propose_camera_zone(gps_track(trip), { wall("2019-05-02T20:00:00") });
    QVERIFY(proposal);
    QCOMPARE(proposal->zone_id, QByteArray("Pacific/Auckland"));
    QVERIFY(proposal->lat < 0);
    QVERIFY(!propose_camera_zone(gps_track(), {}));
}

QTEST_GUILESS_MAIN(tst_zone_proposal)
#include "tst_zone_proposal.moc"
