#include "geo/gps_track.h"

#include <QtTest>

namespace {

const QDateTime base(QDate(2019, 5, 1), QTime(10, 0), Qt::UTC);

// Points as "s,lat,lon[,ele][,segment]" separated by ";": s seconds after
// 10:00 UTC; "-" for no time. All in track 0.
QList<track_data> track_of(const QString& points)
{
    track_data track;
    for (const QString& item : points.split(';', Qt::SkipEmptyParts)) {
        const QStringList f = item.trimmed().split(',');
        gps_data point;
        if (f[0] != QLatin1String("-"))
            point.msecs = base.addMSecs(qint64(f[0].toDouble() * 1000)).toMSecsSinceEpoch();
        // Unreadable numbers stay NaN, as the GPX reader leaves them.
        bool ok = false;
        if (const double lat = f[1].toDouble(&ok); ok)
            point.latitude = lat;
        if (const double lon = f[2].toDouble(&ok); ok)
            point.longitude = lon;
        if (f.size() > 3 && !f[3].isEmpty())
            point.elevation = f[3].toDouble();
        if (f.size() > 4)
            point.segment = f[4].toInt();
        track.points << point;
    }
    return { track };
}

QString kind_name(track_match::kind how)
{
    switch (how) {
    case track_match::kind::exact:
        return QStringLiteral("exact");
    case track_match::kind::interpolated:
        return QStringLiteral("interpolated");
    case track_match::kind::nearest:
        return QStringLiteral("nearest");
    case track_match::kind::none:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

class tst_gps_track : public QObject {
    Q_OBJECT

private slots:
    void match_data();
    void match();
    void unusable_points_are_left_out();
};

void tst_gps_track::match_data()
{
    QTest::addColumn<QString>("points");
    QTest::addColumn<int>("photo"); // seconds after 10:00 UTC
    QTest::addColumn<int>("limit"); // seconds
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("ele"); // NaN: none

    const double none = qQNaN();
    const QString two = QStringLiteral("0,48.0,11.0,500; 600,48.1,11.2,520");
    QTest::newRow("half-way") << two << 300 << 1800 << "interpolated" << 48.05 << 11.1 << 510.0;
    QTest::newRow("a quarter of the way") << two << 150 << 1800 << "interpolated" << 48.025 << 11.05 << 505.0;
    QTest::newRow("exact point") << two << 600 << 1800 << "exact" << 48.1 << 11.2 << 520.0;
    QTest::newRow("point within the same second")
        << "0,48.0,11.0; 299.4,48.2,11.3; 300.6,48.3,11.4; 600,48.1,11.2" << 300 << 1800 << "exact" << 48.3
        << 11.4 << none;
    QTest::newRow("gap at the limit interpolates") << two << 300 << 600 << "interpolated" << 48.05 << 11.1
                                                   << 510.0;
    QTest::newRow("gap 1 s over the limit: nearer point")
        << two << 200 << 599 << "nearest" << 48.0 << 11.0 << 500.0;
    QTest::newRow("gap 1 s over, both too far") << "0,48.0,11.0; 1201,48.1,11.2" << 600 << 599 << "none"
                                                << 0.0 << 0.0 << none;
    QTest::newRow("segment boundary: no interpolation")
        << "0,48.0,11.0,,0; 600,48.1,11.2,,1" << 400 << 1800 << "nearest" << 48.1 << 11.2 << none;
    QTest::newRow("segment boundary, nearest too far")
        << "0,48.0,11.0,,0; 600,48.1,11.2,,1" << 300 << 299 << "none" << 0.0 << 0.0 << none;
    QTest::newRow("before the first point, within the limit")
        << two << -60 << 60 << "nearest" << 48.0 << 11.0 << 500.0;
    QTest::newRow("before the first point, too far") << two << -61 << 60 << "none" << 0.0 << 0.0 << none;
    QTest::newRow("after the last point, within the limit")
        << two << 660 << 60 << "nearest" << 48.1 << 11.2 << 520.0;
    QTest::newRow("after the last point, too far") << two << 661 << 60 << "none" << 0.0 << 0.0 << none;
    QTest::newRow("equal distance takes the later point")
        << "0,48.0,11.0,,0; 600,48.1,11.2,,1" << 300 << 1800 << "nearest" << 48.1 << 11.2 << none;
    QTest::newRow("unsorted file") << "600,48.1,11.2; 0,48.0,11.0; 1200,48.2,11.4" << 900 << 1800
                                   << "interpolated" << 48.15 << 11.3 << none;
    QTest::newRow("elevation only where both have it") << "0,48.0,11.0,500; 600,48.1,11.2" << 300 << 1800
                                                       << "interpolated" << 48.05 << 11.1 << none;
    QTest::newRow("points without time are skipped") << "0,48.0,11.0; -,10.0,10.0; 600,48.1,11.2" << 300
                                                     << 1800 << "interpolated" << 48.05 << 11.1 << none;
    QTest::newRow("across the date line") << "0,10.0,179.9; 600,10.0,-179.9" << 450 << 1800 << "interpolated"
                                          << 10.0 << -179.95 << none;
}

void tst_gps_track::match()
{
    QFETCH(QString, points);
    QFETCH(int, photo);
    QFETCH(int, limit);
    QFETCH(QString, kind);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, ele);

    const gps_track track(track_of(points));
    const track_match m = track.match(base.addSecs(photo).toMSecsSinceEpoch(), qint64(limit) * 1000);
    QCOMPARE(kind_name(m.how), kind);
    if (m.how == track_match::kind::none)
        return;
    QVERIFY2(qAbs(m.lat - lat) < 1e-9, qPrintable(QString::number(m.lat, 'f', 9)));
    QVERIFY2(qAbs(m.lon - lon) < 1e-9, qPrintable(QString::number(m.lon, 'f', 9)));
    QCOMPARE(m.elevation.has_value(), !qIsNaN(ele));
    if (m.elevation)
        QVERIFY(qAbs(*m.elevation - ele) < 1e-9);
}

void tst_gps_track::unusable_points_are_left_out()
{
    const gps_track track(
        track_of(QStringLiteral("0,48,11; -,48,11; 1,91,11; 2,48,-181; 3,nan,11; 4,48,x; 5,-90,180,100001")));
    QCOMPARE(track.left_out(), 5);
    QCOMPARE(int(track.points().size()), 2);
    QVERIFY(!track.points().back().elevation);
    QVERIFY(gps_track().empty());
    QCOMPARE(gps_track().match(0, 1000).how, track_match::kind::none);
}

QTEST_APPLESS_MAIN(tst_gps_track)
#include "tst_gps_track.moc"
