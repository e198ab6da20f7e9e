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

    const auto row = [](const char* tag, const char* text, const char* stored) {
        QTest::newRow(tag) << QString(text) << QString(stored);
    };
    row("local", "local", "local");
    row("empty means local", "", "local");
    row("UTC", "UTC", "UTC+00:00");
    row("bare offset", "+05:45", "UTC+05:45");
    row("UTC offset", "UTC-03:30", "UTC-03:30");
    row("-12:00 is the lowest", "-12:00", "UTC-12:00");
    row("+14:00 is the highest", "+14:00", "UTC+14:00");
    row("-12:15 refused", "-12:15", "");
    row("named zone", "Europe/Berlin", "Europe/Berlin");
    row("unknown name refused", "Mars/Olympus", "");
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

    const auto row = [](const char* tag, const QString& text, const QString& stored) {
        QTest::newRow(tag) << text << stored;
    };
    const QString day = "2019-05-01T08:00:00=2019-05-01T08:00:10,2019-05-02T08:00:00=2019-05-02T08:00:40";
    row("two readings", day, day);
    row("Exif dates and spaces",
        " 2019:05:01 08:00:00=2019:05:01 08:00:10 , 2019:05:02 08:00:00=2019:05:02 08:00:40", day);
    const QString one_percent
        = "2019-05-01T00:00:00=2019-05-01T00:00:00,2019-05-01T01:40:00=2019-05-01T01:39:00";
    row("1% is the most", one_percent, one_percent);
    row("more than 1% refused",
        "2019-05-01T00:00:00=2019-05-01T00:00:00,2019-05-01T01:39:59=2019-05-01T01:38:59", "");
    row("end before the start refused",
        "2019-05-02T08:00:00=2019-05-02T08:00:00,2019-05-01T08:00:00=2019-05-01T08:00:00", "");
    row("one reading refused", "2019-05-01T08:00:00=2019-05-01T08:00:10", "");
    row("no such day refused",
        "2019-02-30T08:00:00=2019-02-30T08:00:00,2019-05-02T08:00:00=2019-05-02T08:00:00", "");
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

    // Camera and UTC times as "yyyy-MM-dd hh:mm:ss".
    const auto row = [](const char* tag, const char* zone, qint64 clock_offset, const QString& drift,
                         const char* photo_offset, const char* camera, const char* utc) {
        QTest::newRow(tag) << QString(zone) << clock_offset << drift << QString(photo_offset)
                           << QDateTime::fromString(camera, "yyyy-MM-dd hh:mm:ss")
                           << QDateTime::fromString(QString(utc) + 'Z', "yyyy-MM-dd hh:mm:sst");
    };
    row("fixed +05:45", "+05:45", 0, "", "", "2019-05-01 12:00:00", "2019-05-01 06:15:00");
    row("local, winter", "local", 0, "", "", "2019-03-31 01:59:00", "2019-03-31 00:59:00");
    row("local, after the change to summer time", "local", 0, "", "", "2019-03-31 03:01:00",
        "2019-03-31 01:01:00");
    row("local, last hour of summer time", "local", 0, "", "", "2019-10-27 01:30:00", "2019-10-26 23:30:00");
    row("named zone in summer", "America/New_York", 0, "", "", "2019-07-04 12:00:00", "2019-07-04 16:00:00");
    row("named zone in winter", "America/New_York", 0, "", "", "2019-01-04 12:00:00", "2019-01-04 17:00:00");
    row("photo's own offset wins over the zone", "+05:45", 0, "", "-03:00", "2019-05-01 12:00:00",
        "2019-05-01 15:00:00");
    row("camera ahead by 90 s", "UTC", 90, "", "", "2019-05-01 12:00:00", "2019-05-01 11:58:30");
    row("offset applies with the photo's zone too", "local", -30, "", "+02:00", "2019-05-01 12:00:00",
        "2019-05-01 10:00:30");

    // 60 s gained in a day, from 10 s behind to 50 s ahead.
    const QString day = "2019-05-01T08:00:00=2019-05-01T08:00:10,2019-05-02T08:00:00=2019-05-02T07:59:10";
    row("drift: at the first reading", "UTC", 0, day, "", "2019-05-01 08:00:00", "2019-05-01 08:00:10");
    row("drift: half a day later", "UTC", 0, day, "", "2019-05-01 20:00:00", "2019-05-01 19:59:40");
    row("drift: at the second reading", "UTC", 0, day, "", "2019-05-02 08:00:00", "2019-05-02 07:59:10");
    row("drift: a day past the second reading", "UTC", 0, day, "", "2019-05-03 08:00:00",
        "2019-05-03 07:58:10");
    row("drift: before the first reading, with a zone and an offset", "+02:00", 5, day, "",
        "2019-04-30 20:00:00", "2019-04-30 18:00:35");
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
