#include "geo/gps_track.h"

#include <QtTest>

namespace {

const QDateTime base(QDate(2019, 5, 1), QTime(10, 0), Qt::UTC);

track_data track_of_file(const QString& points)
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
    return track;
}

// Points as "s,lat,lon[,ele][,segment]" separated by ";": s seconds after
// 10:00 UTC; "-" for no time. "|" starts the track of another file.
QList<track_data> track_of(const QString& points)
{
    QList<track_data> tracks;
    for (const QString& part : points.split('|'))
        tracks << track_of_file(part);
    return tracks;
}

QString kind_name(track_match::kind how)
{
    const char* const names[] = { "none", "exact", "interpolated", "nearest" };
    return QString::fromLatin1(names[int(how)]);
}

} // namespace

class tst_gps_track : public QObject {
    Q_OBJECT

private slots:
    void match_data();
    void match();
    void unusable_points_are_left_out();
    void course_data();
    void course();
    void coverage_agrees_with_match_data();
    void coverage_agrees_with_match();
};

void tst_gps_track::match_data()
{
    QTest::addColumn<QString>("points");
    QTest::addColumn<int>("photo"); // seconds after 10:00 UTC
    QTest::addColumn<int>("gap"); // limit in seconds
    QTest::addColumn<int>("end"); // limit in seconds; -1: the gap limit, through match(time, limit)
    QTest::addColumn<bool>("across"); // segment breaks joined
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("ele"); // NaN: none

    const double none = qQNaN();
    const auto row = [](const char* tag, const QString& points, int photo, int gap, const char* kind,
                         double lat, double lon, double ele, int end = -1, bool across = false) {
        QTest::newRow(tag) << points << photo << gap << end << across << QString(kind) << lat << lon << ele;
    };
    const QString two = QStringLiteral("0,48.0,11.0,500; 600,48.1,11.2,520");
    const QString broken = QStringLiteral("0,48.0,11.0,,0; 600,48.1,11.2,,1");
    row("half-way", two, 300, 1800, "interpolated", 48.05, 11.1, 510.0);
    row("a quarter of the way", two, 150, 1800, "interpolated", 48.025, 11.05, 505.0);
    row("exact point", two, 600, 1800, "exact", 48.1, 11.2, 520.0);
    row("point within the same second", "0,48.0,11.0; 299.4,48.2,11.3; 300.6,48.3,11.4; 600,48.1,11.2", 300,
        1800, "exact", 48.3, 11.4, none);
    row("gap at the limit interpolates", two, 300, 600, "interpolated", 48.05, 11.1, 510.0);
    row("gap 1 s over the limit: nearer point", two, 200, 599, "nearest", 48.0, 11.0, 500.0);
    row("gap 1 s over, both too far", "0,48.0,11.0; 1201,48.1,11.2", 600, 599, "none", 0, 0, none);
    row("segment boundary: no interpolation", broken, 400, 1800, "nearest", 48.1, 11.2, none);
    row("segment boundary, nearest too far", broken, 300, 299, "none", 0, 0, none);
    row("before the first point, within the limit", two, -60, 60, "nearest", 48.0, 11.0, 500.0);
    row("before the first point, too far", two, -61, 60, "none", 0, 0, none);
    row("after the last point, within the limit", two, 660, 60, "nearest", 48.1, 11.2, 520.0);
    row("after the last point, too far", two, 661, 60, "none", 0, 0, none);
    row("equal distance takes the later point", broken, 300, 1800, "nearest", 48.1, 11.2, none);
    row("unsorted file", "600,48.1,11.2; 0,48.0,11.0; 1200,48.2,11.4", 900, 1800, "interpolated", 48.15, 11.3,
        none);
    row("elevation only where both have it", "0,48.0,11.0,500; 600,48.1,11.2", 300, 1800, "interpolated",
        48.05, 11.1, none);
    row("points without time are skipped", "0,48.0,11.0; -,10.0,10.0; 600,48.1,11.2", 300, 1800,
        "interpolated", 48.05, 11.1, none);
    row("across the date line", "0,10.0,179.9; 600,10.0,-179.9", 450, 1800, "interpolated", 10.0, -179.95,
        none);

    // With the gap, the ends and segment breaks apart.
    row("before the start, within the end limit", two, -1200, 600, "nearest", 48.0, 11.0, 500.0, 1200);
    row("after the end, past the end limit", two, 661, 1800, "none", 0, 0, none, 60);
    row("in a gap the gap limit counts", "0,48.0,11.0; 3000,48.1,11.2", 500, 600, "nearest", 48.0, 11.0, none,
        60);
    row("segment break, not joined", broken, 200, 1800, "nearest", 48.0, 11.0, none, 1800);
    row("segment break joined when asked", broken, 300, 1800, "interpolated", 48.05, 11.1, none, 1800, true);
    row("joined break longer than the gap limit", broken, 200, 599, "nearest", 48.0, 11.0, none, 1800, true);
    row("tracks of two files never joined", "0,48.0,11.0 | 600,48.1,11.2", 400, 1800, "nearest", 48.1, 11.2,
        none, 1800, true);
}

void tst_gps_track::match()
{
    QFETCH(QString, points);
    QFETCH(int, photo);
    QFETCH(int, gap);
    QFETCH(int, end);
    QFETCH(bool, across);
    QFETCH(QString, kind);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, ele);

    const gps_track track(track_of(points));
    const qint64 at = base.addSecs(photo).toMSecsSinceEpoch();
    ::match_options options;
    options.gap_limit_msecs = qint64(gap) * 1000;
    options.end_limit_msecs = qint64(end) * 1000;
    options.across_segments = across;
    const track_match m = end < 0 ? track.match(at, options.gap_limit_msecs) : track.match(at, options);
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

void tst_gps_track::course_data()
{
    QTest::addColumn<QString>("points");
    QTest::addColumn<int>("photo");
    QTest::addColumn<double>("course"); // NaN: none
    QTest::addColumn<double>("speed"); // km/h, NaN: none

    const double none = qQNaN();
    // 0.01 degrees of latitude are 1111.95 m.
    QTest::newRow("north") << "0,48.0,11.0; 600,48.01,11.0" << 300 << 0.0 << 6.6717;
    QTest::newRow("east along the equator") << "0,0.0,10.0; 600,0.0,10.1" << 100 << 90.0 << 66.717;
    QTest::newRow("south-west") << "0,-10.0,20.01; 60,-10.00001,20.0" << 30 << 269.941 << 65.7035;
    QTest::newRow("after the end: the last stretch") << "0,48.0,11.0; 600,48.01,11.0" << 900 << 0.0 << 6.6717;
    QTest::newRow("at a segment's first point: its first stretch")
        << "0,48.0,11.0,,0; 600,48.01,11.0,,1; 1200,48.01,11.01,,1" << 600 << 89.9963 << 4.4634;
    QTest::newRow("standing still") << "0,48.0,11.0; 600,48.0,11.0" << 300 << none << 0.0;
    QTest::newRow("one point") << "0,48.0,11.0" << 30 << none << none;
    QTest::newRow("two files") << "0,48.0,11.0 | 600,48.01,11.0" << 500 << none << none;
}

void tst_gps_track::course()
{
    QFETCH(QString, points);
    QFETCH(int, photo);
    QFETCH(double, course);
    QFETCH(double, speed);

    ::match_options options;
    options.with_course = true;
    const gps_track track(track_of(points));
    const qint64 at = base.addSecs(photo).toMSecsSinceEpoch();
    const track_match m = track.match(at, options);
    QVERIFY(m.how != track_match::kind::none);
    QCOMPARE(m.course.has_value(), !qIsNaN(course));
    if (m.course)
        QVERIFY2(qAbs(*m.course - course) < 0.01, qPrintable(QString::number(*m.course, 'f', 4)));
    QCOMPARE(m.speed_kmh.has_value(), !qIsNaN(speed));
    if (m.speed_kmh)
        QVERIFY2(qAbs(*m.speed_kmh - speed) < 0.01, qPrintable(QString::number(*m.speed_kmh, 'f', 4)));
    // Off unless asked for.
    QVERIFY(!track.match(at, ::match_options()).speed_kmh);
}

void tst_gps_track::coverage_agrees_with_match_data()
{
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("across");

    QTest::newRow("gap and ends alike") << 600 << 600 << false;
    QTest::newRow("ends farther") << 300 << 1800 << false;
    QTest::newRow("ends nearer") << 1800 << 60 << false;
    QTest::newRow("segments joined") << 900 << 900 << true;
    QTest::newRow("no reach") << 0 << 0 << false;
}

void tst_gps_track::coverage_agrees_with_match()
{
    QFETCH(int, gap);
    QFETCH(int, end);
    QFETCH(bool, across);

    // Breaks of several lengths, a segment break, and a second file that
    // overlaps the first in time.
    const gps_track track(
        track_of(QStringLiteral("0,1,1; 60,1,1; 700,1,1; 2000,1,1,,1; 2300,1,1,,1; 6000,1,1,,2"
                                "| 2100,2,2; 2400,2,2")));
    ::match_options options;
    options.gap_limit_msecs = qint64(gap) * 1000;
    options.end_limit_msecs = qint64(end) * 1000;
    options.across_segments = across;
    for (const bool interpolated_only : { false, true }) {
        const std::vector<time_span> spans = track.coverage(options, interpolated_only);
        const auto covered = [&spans](qint64 at) {
            return std::any_of(
                spans.begin(), spans.end(), [at](const time_span& s) { return s.from <= at && at <= s.to; });
        };
        for (qint64 at = base.addSecs(-2000).toMSecsSinceEpoch(); at < base.addSecs(8000).toMSecsSinceEpoch();
             at += 6999) {
            const track_match::kind how = track.match(at, options).how;
            const bool matched = interpolated_only
                ? how == track_match::kind::interpolated || how == track_match::kind::exact
                : how != track_match::kind::none;
            QVERIFY2(covered(at) == matched,
                qPrintable(QString::number((at - base.toMSecsSinceEpoch()) / 1000.0)));
        }
    }
}

QTEST_APPLESS_MAIN(tst_gps_track)
#include "tst_gps_track.moc"
