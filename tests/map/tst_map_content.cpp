#include "map/map_content.h"

#include "engine/assignment.h"

#include <QtTest>

#include <algorithm>

// The map's markers and track, read from the table as each mode leaves it.
class tst_map_content : public QObject {
    Q_OBJECT

    // "kind lat,lon xN" for every marker, sorted, so a row reads as the map.
    static QString summary(const map_content& content)
    {
        const char* names[] = { "own", "proposed", "typed", "track", "manual" };
        QStringList parts;
        for (const map_content::marker& m : content.markers)
            parts << QStringLiteral("%1 %2,%3 x%4")
                         .arg(QLatin1String(names[int(m.what)]))
                         .arg(m.lat, 0, 'f', 3)
                         .arg(m.lon, 0, 'f', 3)
                         .arg(m.photos.size());
        parts.sort();
        return parts.join(QStringLiteral("; "));
    }

    static QDateTime at(const char* time)
    {
        return QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
    }

    static photo_facts photo(const char* path, const QDateTime& taken, std::optional<lat_lon> own = std::nullopt)
    {
        photo_facts p;
        p.path = QString::fromLatin1(path);
        p.taken = taken;
        p.time_from = time_source::camera;
        p.own = own;
        return p;
    }

    static std::vector<photo_facts> four_photos()
    {
        return { photo("/p/a.jpg", at("2019-05-01T08:00:00"), lat_lon { 47.1, 11.1 }),
            photo("/p/b.jpg", at("2019-05-01T08:05:00")), photo("/p/c.jpg", at("2019-05-01T09:00:00")),
            photo("/p/d.jpg", at("2019-05-01T09:10:00"), lat_lon { 47.2, 11.2 }) };
    }

private slots:
    void markers_per_mode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("track_lines");

        QTest::newRow("previous: proposals share the source's spot")
            << 0 << "own 47.100,11.100 x1; own 47.200,11.200 x1; proposed 47.100,11.100 x2" << 0;
        QTest::newRow("next") << 1 << "own 47.100,11.100 x1; own 47.200,11.200 x1; proposed 47.200,11.200 x2" << 0;
        QTest::newRow("closest") << 2
                                 << "own 47.100,11.100 x1; own 47.200,11.200 x1; proposed 47.100,11.100 x1; "
                                    "proposed 47.200,11.200 x1"
                                 << 0;
        QTest::newRow("typed: one marker for all, own positions still shown")
            << 3 << "own 47.100,11.100 x1; own 47.200,11.200 x1; typed -33.500,151.250 x4" << 0;
        QTest::newRow("track: two segments, points on them, own kept")
            << 4 << "own 47.100,11.100 x1; own 47.200,11.200 x1; track 1.000,10.000 x1; track 5.000,15.000 x1" << 2;
    }

    void markers_per_mode()
    {
        QFETCH(int, mode);
        QFETCH(QString, expected);
        QFETCH(int, track_lines);

        const std::vector<photo_facts> photos = four_photos();

        gps_data first;
        first.msecs = at("2019-05-01T08:05:00Z").toMSecsSinceEpoch();
        first.latitude = 1.0;
        first.longitude = 10.0;
        gps_data second = first;
        second.msecs = at("2019-05-01T09:00:00Z").toMSecsSinceEpoch();
        second.latitude = 5.0;
        second.longitude = 15.0;
        second.segment = 1;
        track_data track;
        track.points << first << second;
        assignment_settings settings;
        settings.clock = camera_clock::from_zone_text("UTC").value();
        settings.track = gps_track({ track });
        settings.typed = lat_lon { -33.5, 151.25 };
        settings.mode = sync_mode_of(mode);

        const map_content content = map_content::of(photos, assign(photos, settings), settings);
        QCOMPARE(summary(content), expected);
        QCOMPARE(int(content.track.size()), track_lines);
        const auto box = content.bounds();
        QVERIFY(box && box->south <= box->north && box->west <= box->east);
    }

    // Fitting the selection takes in where its photos are and where they
    // would go, and nothing of the others.
    void selection_bounds_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing selected") << 0 << QList<int> {} << "none";
        QTest::newRow("own position only") << 0 << QList<int> { 3 } << "47.200 47.200 11.200 11.200";
        QTest::newRow("proposal only") << 0 << QList<int> { 1 } << "47.100 47.100 11.100 11.100";
        QTest::newRow("two photos") << 0 << QList<int> { 1, 3 } << "47.100 47.200 11.100 11.200";
        QTest::newRow("typed: own and proposed of one photo")
            << 3 << QList<int> { 0 } << "-33.500 47.100 11.100 151.250";
    }

    void selection_bounds()
    {
        QFETCH(int, mode);
        QFETCH(QList<int>, rows);
        QFETCH(QString, expected);

        const std::vector<photo_facts> photos = four_photos();
        assignment_settings settings;
        settings.typed = lat_lon { -33.5, 151.25 };
        settings.mode = sync_mode_of(mode);
        const map_content content = map_content::of(photos, assign(photos, settings), settings);
        std::vector<bool> chosen(photos.size());
        for (const int row : rows)
            chosen[std::size_t(row)] = true;
        const auto box = content.bounds(chosen);
        const QString got = box ? QStringLiteral("%1 %2 %3 %4")
                                      .arg(box->south, 0, 'f', 3)
                                      .arg(box->north, 0, 'f', 3)
                                      .arg(box->west, 0, 'f', 3)
                                      .arg(box->east, 0, 'f', 3)
                                : QStringLiteral("none");
        QCOMPARE(got, expected);
    }

    void badge_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one: no badge") << 1 << "";
        QTest::newRow("two") << 2 << "2";
        QTest::newRow("three digits") << 999 << "999";
        QTest::newRow("more stays narrow") << 12000 << "999+";
    }

    void badge()
    {
        QFETCH(int, photos);
        QFETCH(QString, expected);
        QCOMPARE(map_content::badge(photos), expected);
    }

    // A thousand photos proposed the same spot are one marker, and its tip
    // lists a few of them rather than all.
    void many_photos_on_one_spot()
    {
        std::vector<photo_facts> photos
            = { photo("/p/source.jpg", at("2019-05-01T08:00:00"), lat_lon { -12.5, -77.25 }) };
        for (int i = 0; i < 1000; ++i) {
            photos.push_back(photo("/p/x.jpg", at("2019-05-01T08:00:01").addSecs(i)));
            photos.back().path = QStringLiteral("/p/%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        }
        assignment_settings settings;
        settings.mode = sync_mode::previous;

        const map_content content = map_content::of(photos, assign(photos, settings), settings);
        QCOMPARE(summary(content), QString("own -12.500,-77.250 x1; proposed -12.500,-77.250 x1000"));
        const auto proposed = std::find_if(content.markers.begin(), content.markers.end(),
            [](const map_content::marker& m) { return m.what == map_content::kind::proposed; });
        const QString tip = map_content::tool_tip({ &*proposed });
        QVERIFY(tip.contains("1000 photos"));
        QVERIFY(tip.contains("0000.jpg"));
        QVERIFY(tip.contains("and 985 more"));
        QVERIFY(!tip.contains("0999.jpg"));
    }

    // On screen, markers of one kind a few pixels apart are drawn as one;
    // kinds never mix, and what is off screen is left out.
    void spots_merge_on_screen()
    {
        map_content content;
        int next = 0;
        const auto add = [&](map_content::kind what, double lat, double lon, int photos) {
            content.markers.push_back({ what, lat, lon, {} });
            for (int i = 0; i < photos; ++i)
                content.markers.back().photos.push_back({ {}, {}, next++ % 5 });
        };
        add(map_content::kind::own, 10, 10, 1);
        add(map_content::kind::own, 10.5, 11, 2);
        add(map_content::kind::proposed, 10, 10, 3);
        add(map_content::kind::own, 40, 40, 1);
        add(map_content::kind::own, -5, 300, 1);
        add(map_content::kind::manual, 10, 10, 2);
        const auto spots = content.spots(
            [](double lat, double lon) -> std::optional<QPointF> {
                if (lon > 180)
                    return std::nullopt;
                return QPointF(lon, lat);
            },
            6);
        QCOMPARE(int(spots.size()), 4);
        QCOMPARE(spots[0].photo_count, 3);
        QCOMPARE(int(spots[0].members.size()), 2);
        QCOMPARE(spots[1].what, map_content::kind::proposed);
        QCOMPARE(spots[2].photo_count, 1);
        QCOMPARE(spots[3].what, map_content::kind::manual);

        // Photos 0, 1, 2 on the first spot; 3, 4, 0 (the same again) on the proposal.
        QCOMPARE(content.photo_indexes(spots[1]), std::vector<int>({ 0, 3, 4 }));
        const std::vector<bool> chosen = { false, false, true };
        QVERIFY(content.touches(spots[0], chosen));
        QVERIFY(!content.touches(spots[1], chosen));
    }
};

QTEST_MAIN(tst_map_content)
#include "tst_map_content.moc"
