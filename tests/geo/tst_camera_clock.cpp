#include "geo/camera_clock.h"

#include <QtTest>

#include <ctime>

class tst_camera_clock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void zone_text_data();
    void zone_text();
    void offset_text_data();
    void offset_text();
    void drift_text_data();
    void drift_text();
    void to_utc_data();
    void to_utc();
};

void tst_camera_clock::initTestCase()
{
    // "This computer's time zone" is a zone with daylight saving here.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void tst_camera_clock::zone_text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored"); // empty: refused

    QTest::newRow("local") << "local" << "local";
    QTest::newRow("empty means local") << "" << "local";
    QTest::newRow("UTC") << "UTC" << "UTC+00:00";
    QTest::newRow("bare offset") << "+05:45" << "UTC+05:45";
    QTest::newRow("UTC offset") << "UTC-03:30" << "UTC-03:30";
    QTest::newRow("-12:00 is the lowest") << "-12:00" << "UTC-12:00";
    QTest::newRow("+14:00 is the highest") << "+14:00" << "UTC+14:00";
    QTest::newRow("-12:15 refused") << "-12:15" << "";
    QTest::newRow("named zone") << "Europe/Berlin" << "Europe/Berlin";
    QTest::newRow("unknown name refused") << "Mars/Olympus" << "";
}

void tst_camera_clock::zone_text()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    const auto clock = camera_clock::from_zone_text(text);
    QCOMPARE(clock ? clock->zone_text() : QString(), stored);
    if (clock)
        QCOMPARE(camera_clock::from_zone_text(clock->zone_text()), clock);
    if (!stored.isEmpty() && stored != QLatin1String("local"))
        QVERIFY(camera_clock::zone_choices().contains(stored));
}

void tst_camera_clock::offset_text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("seconds"); // -1: refused
    QTest::addColumn<QString>("formatted");

    QTest::newRow("hours") << "+01:02:03" << qint64(3723) << "+01:02:03";
    QTest::newRow("negative") << "-00:01:30" << qint64(-90) << "-00:01:30";
    QTest::newRow("minutes and seconds") << "1:30" << qint64(90) << "+00:01:30";
    QTest::newRow("minutes past 59 without hours") << "90:00" << qint64(5400) << "+01:30:00";
    QTest::newRow("seconds past 59") << "00:00:60" << qint64(-1) << "";
    QTest::newRow("not a time") << "abc" << qint64(-1) << "";
}

void tst_camera_clock::offset_text()
{
    QFETCH(QString, text);
    QFETCH(qint64, seconds);
    QFETCH(QString, formatted);
    const auto parsed = camera_clock::parse_offset(text);
    QCOMPARE(parsed.value_or(-1), seconds);
    if (parsed)
        QCOMPARE(camera_clock::format_offset(*parsed), formatted);
}

void tst_camera_clock::drift_text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored"); // empty: refused

    const QString day
        = QStringLiteral("2019-05-01T08:00:00=2019-05-01T08:00:10,2019-05-02T08:00:00=2019-05-02T08:00:40");
    QTest::newRow("two readings") << day << day;
    QTest::newRow("Exif dates and spaces")
        << " 2019:05:01 08:00:00=2019:05:01 08:00:10 , 2019:05:02 08:00:00=2019:05:02 08:00:40" << day;
    QTest::newRow("1% is the most")
        << "2019-05-01T00:00:00=2019-05-01T00:00:00,2019-05-01T01:40:00=2019-05-01T01:39:00"
        << "2019-05-01T00:00:00=2019-05-01T00:00:00,2019-05-01T01:40:00=2019-05-01T01:39:00";
    QTest::newRow("more than 1% refused")
        << "2019-05-01T00:00:00=2019-05-01T00:00:00,2019-05-01T01:39:59=2019-05-01T01:38:59"
        << "";
    QTest::newRow("end before the start refused")
        << "2019-05-02T08:00:00=2019-05-02T08:00:00,2019-05-01T08:00:00=2019-05-01T08:00:00"
        << "";
    QTest::newRow("one reading refused") << "2019-05-01T08:00:00=2019-05-01T08:00:10"
                                         << "";
    QTest::newRow("no such day refused")
        << "2019-02-30T08:00:00=2019-02-30T08:00:00,2019-05-02T08:00:00=2019-05-02T08:00:00"
        << "";
}

void tst_camera_clock::drift_text()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    const std::optional<clock_drift> drift = camera_clock::parse_drift(text);
    QCOMPARE(drift ? camera_clock::format_drift(*drift) : QString(), stored);
    if (drift)
        QCOMPARE(camera_clock::parse_drift(stored), drift);
}

void tst_camera_clock::to_utc_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<qint64>("clock_offset");
    QTest::addColumn<QString>("drift");
    QTest::addColumn<QString>("photo_offset"); // the photo's OffsetTimeOriginal
    QTest::addColumn<QDateTime>("camera");
    QTest::addColumn<QDateTime>("utc");

    const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
    };
    const auto wall = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    };
    QTest::newRow("fixed +05:45") << "+05:45" << qint64(0) << ""
                                  << "" << wall(2019, 5, 1, 12, 0, 0) << utc(2019, 5, 1, 6, 15, 0);
    QTest::newRow("local, winter") << "local" << qint64(0) << ""
                                   << "" << wall(2019, 3, 31, 1, 59, 0) << utc(2019, 3, 31, 0, 59, 0);
    QTest::newRow("local, after the change to summer time")
        << "local" << qint64(0) << ""
        << "" << wall(2019, 3, 31, 3, 1, 0) << utc(2019, 3, 31, 1, 1, 0);
    QTest::newRow("local, last hour of summer time")
        << "local" << qint64(0) << ""
        << "" << wall(2019, 10, 27, 1, 30, 0) << utc(2019, 10, 26, 23, 30, 0);
    QTest::newRow("named zone in summer") << "America/New_York" << qint64(0) << ""
                                          << "" << wall(2019, 7, 4, 12, 0, 0) << utc(2019, 7, 4, 16, 0, 0);
    QTest::newRow("named zone in winter") << "America/New_York" << qint64(0) << ""
                                          << "" << wall(2019, 1, 4, 12, 0, 0) << utc(2019, 1, 4, 17, 0, 0);
    QTest::newRow("photo's own offset wins over the zone")
        << "+05:45" << qint64(0) << ""
        << "-03:00" << wall(2019, 5, 1, 12, 0, 0) << utc(2019, 5, 1, 15, 0, 0);
    QTest::newRow("camera ahead by 90 s") << "UTC" << qint64(90) << ""
                                          << "" << wall(2019, 5, 1, 12, 0, 0) << utc(2019, 5, 1, 11, 58, 30);
    QTest::newRow("offset applies with the photo's zone too")
        << "local" << qint64(-30) << ""
        << "+02:00" << wall(2019, 5, 1, 12, 0, 0) << utc(2019, 5, 1, 10, 0, 30);

    // 60 s gained in a day, from 10 s behind to 50 s ahead.
    const QString day = "2019-05-01T08:00:00=2019-05-01T08:00:10,2019-05-02T08:00:00=2019-05-02T07:59:10";
    QTest::newRow("drift: at the first reading")
        << "UTC" << qint64(0) << day << "" << wall(2019, 5, 1, 8, 0, 0) << utc(2019, 5, 1, 8, 0, 10);
    QTest::newRow("drift: half a day later")
        << "UTC" << qint64(0) << day << "" << wall(2019, 5, 1, 20, 0, 0) << utc(2019, 5, 1, 19, 59, 40);
    QTest::newRow("drift: at the second reading")
        << "UTC" << qint64(0) << day << "" << wall(2019, 5, 2, 8, 0, 0) << utc(2019, 5, 2, 7, 59, 10);
    QTest::newRow("drift: a day past the second reading")
        << "UTC" << qint64(0) << day << "" << wall(2019, 5, 3, 8, 0, 0) << utc(2019, 5, 3, 7, 58, 10);
    QTest::newRow("drift: before the first reading, with a zone and an offset")
        << "+02:00" << qint64(5) << day << "" << wall(2019, 4, 30, 20, 0, 0) << utc(2019, 4, 30, 18, 0, 35);
}

void tst_camera_clock::to_utc()
{
    QFETCH(QString, zone);
    QFETCH(qint64, clock_offset);
    QFETCH(QString, drift);
    QFETCH(QString, photo_offset);
    QFETCH(QDateTime, camera);
    QFETCH(QDateTime, utc);

    camera_clock clock = camera_clock::from_zone_text(zone).value();
    clock.clock_offset = clock_offset;
    if (!drift.isEmpty())
        clock.drift = camera_clock::parse_drift(drift).value();
    camera_time_converter convert(clock);
    const std::optional<int> own = photo_offset.isEmpty() ? std::nullopt : parse_utc_offset(photo_offset);
    const auto msecs = convert.to_utc(camera.date(), camera.time(), own);
    QVERIFY(msecs);
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(*msecs, Qt::UTC), utc);
    // Asked again, the remembered zone offset gives the same answer.
    QCOMPARE(convert.to_utc(camera.date(), camera.time(), own), msecs);
}

QTEST_APPLESS_MAIN(tst_camera_clock)
#include "tst_camera_clock.moc"
