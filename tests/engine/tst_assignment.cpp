// The assignment engine on plain photo facts: the copy modes with their time
// limit, the typed position, the track with the camera clock, and photos
// without a time or without readable data.

#include "engine/assignment.h"

#include <QtTest>

namespace {

const QDate day(2019, 5, 1);

// Photos as "10:00:00 @1; +1/10:05:00; -": a time of day, optionally some
// days after (or before) the first of May ("-" for no time at all), "@k" for
// a photo carrying position (k, 10 + k) of its own, "file" for a time taken
// from the file, "z+01:00" for the photo's own zone, "unreadable".
std::vector<photo_facts> photos_of(const QString& text)
{
    std::vector<photo_facts> photos;
    for (const QString& item : text.split(';', Qt::SkipEmptyParts)) {
        const QStringList parts = item.simplified().split(' ');
        photo_facts p;
        p.path = QStringLiteral("/photos/p%1.jpg").arg(photos.size());
        if (parts[0] != QLatin1String("-")) {
            const int days = parts[0].contains('/') ? parts[0].section('/', 0, 0).toInt() : 0;
            const QTime clock = QTime::fromString(parts[0].section('/', -1), QStringLiteral("hh:mm:ss"));
            p.taken = QDateTime(day.addDays(days), clock);
            p.time_from = time_source::camera;
        }
        for (const QString& part : parts.mid(1)) {
            if (part.startsWith('@'))
                p.own = lat_lon { part.mid(1).toDouble(), 10 + part.mid(1).toDouble() };
            else if (part == QLatin1String("file"))
                p.time_from = time_source::file;
            else if (part.startsWith('z'))
                p.zone_text = part.mid(1);
            else if (part == QLatin1String("pair"))
                p.path = QStringLiteral("/photos/shot.%1").arg(photos.size() % 2 ? QStringLiteral("JPG") : QStringLiteral("CR2"));
            else if (part == QLatin1String("unreadable"))
                p.read_error = QStringLiteral("ExifTool did not answer");
        }
        photos.push_back(p);
    }
    return photos;
}

// "<1" own position 1, "p1"/"n1" taken from the previous/next photo with
// position 1, "=" the typed position, "=x" its removal, "pt 2.0"/"ip 1.5" a
// track point or an interpolated one (its latitude), "?why" none.
QString describe(const std::vector<photo_facts>& photos, const std::vector<assignment>& results)
{
    static const QStringList why = { "", "no_source", "too_far", "no_time", "no_track", "unreadable", "left_out" };
    QStringList out;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const assignment& a = results[i];
        const auto id = [](const std::optional<lat_lon>& p) { return p ? QString::number(p->first) : QStringLiteral("-"); };
        switch (a.how) {
        case assignment::origin::own:
            out << QStringLiteral("<") + id(photos[i].own) + (a.why == assignment::missing::left_out ? "x" : "");
            break;
        case assignment::origin::manual:
            out << QStringLiteral("m") + id(a.position) + (a.replaces_own ? "!" : "");
            break;
        case assignment::origin::previous:
        case assignment::origin::next:
            if (a.position != photos[std::size_t(a.source)].own)
                return QStringLiteral("source and position differ");
            out << (a.how == assignment::origin::previous ? QStringLiteral("p") : QStringLiteral("n")) + id(a.position);
            break;
        case assignment::origin::typed:
            out << (a.position ? QStringLiteral("=") : QStringLiteral("=x"));
            break;
        case assignment::origin::track_point:
        case assignment::origin::track_interpolated:
            out << (a.how == assignment::origin::track_point ? QStringLiteral("pt ") : QStringLiteral("ip "))
                    + QString::number(a.position->first, 'f', 1);
            break;
        case assignment::origin::none:
            out << QStringLiteral("?") + why.value(int(a.why));
            break;
        }
        if (a.proposed != (a.how != assignment::origin::none && a.how != assignment::origin::own))
            return QStringLiteral("proposal flag wrong");
    }
    return out.join(' ');
}

assignment_settings with(sync_mode mode, qint64 limit_minutes)
{
    assignment_settings s;
    s.mode = mode;
    s.time_limit_secs = limit_minutes < 0 ? -1 : limit_minutes * 60;
    return s;
}

} // namespace

class tst_assignment : public QObject {
    Q_OBJECT

private slots:
    void copy_modes_data();
    void copy_modes();
    void typed_position();
    void decisions_win_over_the_mode_data();
    void decisions_win_over_the_mode();
    void track_mode_data();
    void track_mode();
};

void tst_assignment::copy_modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("photos");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no photos") << 0 << -1 << "" << "";
    const QString three = QStringLiteral("10:00:00 @1; 10:05:00; 10:06:00 @2");
    QTest::newRow("previous, both sides") << 0 << -1 << three << "<1 p1 <2";
    QTest::newRow("next, both sides") << 1 << -1 << three << "<1 n2 <2";
    QTest::newRow("closest, later nearer") << 2 << -1 << three << "<1 n2 <2";
    QTest::newRow("closest, earlier nearer") << 2 << -1 << "10:00:00 @1; 10:01:00; 10:06:00 @2" << "<1 p1 <2";
    QTest::newRow("closest, equal distance takes the later")
        << 2 << -1 << "10:00:00 @1; 10:05:00; 10:10:00 @2" << "<1 n2 <2";
    QTest::newRow("previous, source after only") << 0 << -1 << "10:00:00; 10:05:00 @1" << "?no_source <1";
    QTest::newRow("next, source before only") << 1 << -1 << "10:00:00 @1; 10:05:00" << "<1 ?no_source";
    QTest::newRow("closest, source after only") << 2 << -1 << "10:00:00; 10:05:00 @1" << "n1 <1";
    for (int mode : { 0, 1, 2 })
        QTest::addRow("mode %d, no source", mode) << mode << -1 << "10:00:00; 10:05:00" << "?no_source ?no_source";
    QTest::newRow("nearest source wins in a run")
        << 0 << -1 << "10:00:00 @1; 10:01:00 @2; 10:02:00; 10:03:00 @3; 10:04:00" << "<1 <2 p2 <3 p3";
    QTest::newRow("input order does not matter") << 1 << -1 << "10:06:00 @2; 10:05:00; 10:00:00 @1" << "<2 n2 <1";
    QTest::newRow("previous, 300 s accepted") << 0 << 5 << "10:00:00 @1; 10:05:00" << "<1 p1";
    QTest::newRow("previous, 301 s refused") << 0 << 5 << "10:00:00 @1; 10:05:01" << "<1 ?too_far";
    QTest::newRow("next, 301 s refused") << 1 << 5 << "09:59:59; 10:05:00 @1" << "?too_far <1";
    QTest::newRow("closest, 301 s refused on both sides")
        << 2 << 5 << "10:00:00 @1; 10:05:01; 10:10:02 @2" << "<1 ?too_far <2";
    QTest::newRow("one day accepted") << 0 << 1440 << "10:00:00 @1; +1/10:00:00" << "<1 p1";
    QTest::newRow("one day and 1 s refused") << 0 << 1440 << "10:00:00 @1; +1/10:00:01" << "<1 ?too_far";
    QTest::newRow("limit 0 is none") << 0 << 0 << "00:00:00 @1; 23:59:59" << "<1 p1";
    QTest::newRow("closest, earlier too far, later near")
        << 2 << 5 << "10:00:00 @1; 10:30:00; 10:34:00 @2" << "<1 n2 <2";
    QTest::newRow("proposals are not passed on") << 0 << 5 << "10:00:00 @1; 10:04:00; 10:08:00" << "<1 p1 ?too_far";
    // Where an invalid time sorts is QDateTime's business; the closest mode
    // looks both ways, so the one source is taken whatever the order.
    QTest::newRow("photo without a time, any limit") << 2 << 1 << "08:00:00 @1; -" << "<1 p1|<1 n1";
    QTest::newRow("file times are used for copies") << 0 << -1 << "10:00:00 @1; 10:05:00 file" << "<1 p1";
    QTest::newRow("unreadable photo named") << 0 << 5 << "10:00:00 @1; - unreadable" << "<1 ?unreadable";
    QTest::newRow("unknown mode proposes nothing") << 7 << -1 << "10:00:00 @1; 10:05:00" << "<1 ?";
    // A raw file and the JPEG of the same shot share a position, whatever the mode finds.
    QTest::newRow("raw and JPEG of one shot") << 1 << -1 << "10:00:00 @1; 10:05:00 pair @2; 10:05:00 pair" << "<1 <2 p2|<1 <2 n2";
}

void tst_assignment::copy_modes()
{
    QFETCH(int, mode);
    QFETCH(int, limit);
    QFETCH(QString, photos);
    QFETCH(QString, expected);

    const std::vector<photo_facts> facts = photos_of(photos);
    // The listed order decides nothing but ties.
    for (const bool descending : { false, true }) {
        assignment_settings settings = with(sync_mode_of(mode), limit);
        settings.descending = descending;
        const QString got = describe(facts, assign(facts, settings));
        QVERIFY2(expected.split('|').contains(got), qPrintable(got));
    }
}

void tst_assignment::typed_position()
{
    const std::vector<photo_facts> facts = photos_of(QStringLiteral("10:00:00 @1; 10:05:00"));
    assignment_settings settings = with(sync_mode::typed, -1);
    settings.typed = lat_lon { 48.5, -11.25 };
    std::vector<assignment> results = assign(facts, settings);
    QCOMPARE(describe(facts, results), QString("= ="));
    QVERIFY(results[0].replaces_own && !results[1].replaces_own);
    QCOMPARE(*results[1].position, (lat_lon { 48.5, -11.25 }));
    // An empty position clears every photo.
    settings.typed.reset();
    QCOMPARE(describe(facts, assign(facts, settings)), QString("=x =x"));
}

// "x" leaves a photo out, "m5" sets position 5 by hand. Left-out photos
// still serve as sources; hand-set positions do not.
void tst_assignment::decisions_win_over_the_mode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("decisions");
    QTest::addColumn<QString>("expected");
    QTest::newRow("closest: one left out, one by hand") << int(sync_mode::closest) << "- x m5" << "<1 ?left_out m5 p1";
    QTest::newRow("a source left out still gives") << int(sync_mode::closest) << "x - - -" << "<1x p1 p1 p1";
    QTest::newRow("by hand over an own position") << int(sync_mode::previous) << "m5 - - -" << "m5! p1 p1 p1";
    QTest::newRow("typed: the decisions stand") << int(sync_mode::typed) << "- x m5 -" << "= ?left_out m5 =";
    QTest::newRow("no mode: only the hand-set") << int(sync_mode::none) << "- - m5 x" << "<1 ? m5 ?left_out";
}

void tst_assignment::decisions_win_over_the_mode()
{
    QFETCH(int, mode);
    QFETCH(QString, decisions);
    QFETCH(QString, expected);
    const std::vector<photo_facts> facts = photos_of(QStringLiteral("10:00:00 @1; 10:01:00; 10:02:00; 10:03:00"));
    assignment_settings settings = with(sync_mode(mode), -1);
    settings.typed = lat_lon { 9, 19 };
    const QStringList each = decisions.split(' ');
    for (int i = 0; i < each.size(); ++i) {
        photo_decision d;
        d.left_out = each[i] == "x";
        if (each[i].startsWith('m'))
            d.position = lat_lon { each[i].mid(1).toDouble(), 0 };
        if (d.left_out || d.position)
            settings.decisions.insert(facts[std::size_t(i)].path, d);
    }
    QCOMPARE(describe(facts, assign(facts, settings)), expected);
}

void tst_assignment::track_mode_data()
{
    QTest::addColumn<QString>("photos");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<qint64>("clock_offset");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zone +02:00, interpolated") << "10:05:00" << "+02:00" << qint64(0) << false << -1 << "ip 1.5";
    QTest::newRow("photo's own zone wins") << "09:05:00 z+01:00" << "+02:00" << qint64(0) << false << -1 << "ip 1.5";
    QTest::newRow("camera 5 min ahead") << "10:10:00" << "+02:00" << qint64(300) << false << -1 << "ip 1.5";
    QTest::newRow("exact point") << "10:10:00" << "+02:00" << qint64(0) << false << -1 << "pt 2.0";
    QTest::newRow("across segments within the 30 min default")
        << "10:35:00" << "+02:00" << qint64(0) << false << -1 << "pt 5.0";
    QTest::newRow("typed limit below the gap") << "10:35:00" << "+02:00" << qint64(0) << false << 20 << "?too_far";
    QTest::newRow("limit 0 is no limit") << "14:00:00" << "+02:00" << qint64(0) << false << 0 << "pt 5.0";
    QTest::newRow("own position kept") << "10:05:00 @1" << "+02:00" << qint64(0) << false << -1 << "<1";
    QTest::newRow("own position replaced when asked")
        << "10:05:00 @1" << "+02:00" << qint64(0) << true << -1 << "ip 1.5";
    QTest::newRow("own position kept where the track has nothing")
        << "14:00:00 @1" << "+02:00" << qint64(0) << true << -1 << "<1";
    QTest::newRow("no recording time") << "-" << "+02:00" << qint64(0) << false << -1 << "?no_time";
    // A file's date is when it was copied: never placed on the track.
    QTest::newRow("time from the file") << "10:05:00 file" << "+02:00" << qint64(0) << false << -1 << "?no_time";
    QTest::newRow("unreadable") << "- unreadable" << "+02:00" << qint64(0) << false << -1 << "?unreadable";
}

void tst_assignment::track_mode()
{
    QFETCH(QString, photos);
    QFETCH(QString, zone);
    QFETCH(qint64, clock_offset);
    QFETCH(bool, overwrite);
    QFETCH(int, limit);
    QFETCH(QString, expected);

    const auto point = [](const char* time, double lat, double lon, int segment) {
        gps_data p;
        p.msecs = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate).toMSecsSinceEpoch();
        p.latitude = lat;
        p.longitude = lon;
        p.segment = segment;
        return p;
    };
    track_data track;
    track.points << point("2019-05-01T08:00:00Z", 1.0, 10.0, 0) << point("2019-05-01T08:10:00Z", 2.0, 11.0, 0)
                 << point("2019-05-01T09:00:00Z", 5.0, 15.0, 1);
    assignment_settings settings = with(sync_mode::track, limit);
    settings.track = gps_track({ track });
    settings.clock = camera_clock::from_zone_text(zone).value();
    settings.clock.clock_offset = clock_offset;
    settings.track_overwrites = overwrite;

    const std::vector<photo_facts> facts = photos_of(photos);
    const std::vector<assignment> results = assign(facts, settings);
    QCOMPARE(describe(facts, results), expected);
    QCOMPARE(results[0].replaces_own, overwrite && expected.startsWith(QLatin1String("ip")));
    if (expected.startsWith(QLatin1String("ip"))) {
        // The GPS time written is the photo's true UTC instant.
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(*results[0].gps_time_msecs, Qt::UTC).time(), QTime(8, 5));
    } else if (expected.startsWith(QLatin1String("pt"))) {
        QVERIFY(results[0].point_msecs);
    }
}

QTEST_GUILESS_MAIN(tst_assignment)
#include "tst_assignment.moc"
