#include "exif/exif_cache.h"
#include "exif/photo_facts.h"

#include "../comma_locale.h"

#include "test_files.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

using tag_map = exif_cache::tag_map;
Q_DECLARE_METATYPE(tag_map)

namespace {

const QStringList recording_keys { "rec_year", "rec_month", "rec_day", "rec_hour", "rec_minute",
    "rec_second" };

ktk::string utf8(const QString& text)
{
    return text.toStdString();
}

QString get(const exif_cache::derived_map& info, const QString& key)
{
    const auto it = info.find(utf8(key));
    return it == info.end() ? QStringLiteral("<absent>") : QString::fromStdString(it->second);
}

// The six recording fields as the fallback takes them from the file.
QStringList file_fields(const QString& path)
{
    const QFileInfo info(path);
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = info.metadataChangeTime();
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return { QString::number(created.date().year()), two(created.date().month()), two(created.date().day()),
        two(created.time().hour()), two(created.time().minute()), two(created.time().second()) };
}

QStringList recording(const exif_cache::derived_map& info)
{
    QStringList fields;
    for (const QString& key : recording_keys)
        fields << get(info, key);
    return fields;
}

} // namespace

class tst_exif_cache : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void stamps_that_tell_changes_data();
    void stamps_that_tell_changes();

    void recording_from_photo_data();
    void recording_from_photo();
    void recording_odd_values_data();
    void recording_odd_values();

    void gps_from_photo_data();
    void gps_from_photo();
    void gps_odd_values_data();
    void gps_odd_values();
    void numbers_keep_a_decimal_point_in_any_locale();

    void camera_from_photo();
    void camera_rules_data();
    void camera_rules();

    void facts_data();
    void facts();

    void unreadable_file_data();
    void unreadable_file();

private:
    QString photo(const QString& name, const QStringList& assignments);

    QTemporaryDir dir;
};

void tst_exif_cache::initTestCase()
{
    QVERIFY(dir.isValid());
}

QString tst_exif_cache::photo(const QString& name, const QStringList& assignments)
{
    const QString path = dir.filePath(name);
    if (!test_files::make_image(path))
        return {};
    if (!assignments.isEmpty() && !test_files::tag(path, assignments))
        return {};
    return path;
}

// Expected fields: text, or "file" where the value comes from the file.
void tst_exif_cache::recording_from_photo_data()
{
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("full DateTimeOriginal") << QStringList { "-DateTimeOriginal=2019:05:01 10:00:00" }
                                           << QStringList { "2019", "05", "01", "10", "00", "00" };
    QTest::newRow("date without time") << QStringList { "-XMP-exif:DateTimeOriginal=2019:05:01" }
                                       << QStringList { "2019", "05", "01", "file", "file", "file" };
    QTest::newRow("no date") << QStringList { "-Model=X100" }
                             << QStringList { "file", "file", "file", "file", "file", "file" };
    QTest::newRow("zone offset") << QStringList { "-XMP-exif:DateTimeOriginal=2019:05:01 10:00:00+02:00" }
                                 << QStringList { "file", "file", "file", "file", "file", "file" };
    QTest::newRow("other date tags ignored") << QStringList { "-CreateDate=2018:01:02 03:04:05",
        "-ModifyDate=2018:01:02 03:04:05" } << QStringList { "file", "file", "file", "file", "file", "file" };
}

void tst_exif_cache::recording_from_photo()
{
    QFETCH(QStringList, assignments);
    QFETCH(QStringList, expected);
    const QString path = photo(QStringLiteral("%1.jpg").arg(QTest::currentDataTag()), assignments);
    QVERIFY(!path.isEmpty());

    exif_cache cache;
    cache.add(utf8(path));
    const QStringList from_file = file_fields(path);
    for (int i = 0; i < expected.size(); ++i)
        if (expected[i] == QLatin1String("file"))
            expected[i] = from_file[i];
    QCOMPARE(recording(cache[path]), expected);
    QCOMPARE(get(cache[path], "has_data"), QStringLiteral("true"));
    QVERIFY(cache.gps_numbers(path));
}

void tst_exif_cache::recording_odd_values_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected");
    const QStringList file { "file", "file", "file", "file", "file", "file" };
    QTest::newRow("fields kept unpadded")
        << "2019:5:1 7:3:9" << QStringList { "2019", "5", "1", "7", "3", "9" };
    QTest::newRow("two date fields") << "2019:05 10:00:00" << file;
    QTest::newRow("four time fields") << "2019:05:01 10:00:00:00" << file;
    QTest::newRow("trailing space") << "2019:05:01 " << file;
    QTest::newRow("dash") << "-" << file;
}

void tst_exif_cache::recording_odd_values()
{
    QFETCH(QString, value);
    QFETCH(QStringList, expected);
    const QString path = photo(QStringLiteral("odd.jpg"), {});
    QVERIFY(!path.isEmpty());

    exif_cache cache;
    // Stale fields must all be replaced.
    cache.cache_recording_date_time(utf8(path), "1999:12:31 23:59:59");
    cache.cache_recording_date_time(utf8(path), utf8(value));
    const QStringList from_file = file_fields(path);
    for (int i = 0; i < expected.size(); ++i)
        if (expected[i] == QLatin1String("file"))
            expected[i] = from_file[i];
    QCOMPARE(recording(cache[path]), expected);
}

void tst_exif_cache::gps_from_photo_data()
{
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<QStringList>("expected"); // has, lat, lat_ref, lon, lon_ref, numerical

    QTest::newRow("north east") << QStringList {
        "-GPSLatitude=48 8 12.34", "-GPSLatitudeRef=N", "-GPSLongitude=11 34 56.78", "-GPSLongitudeRef=E"
    } << QStringList { "true", "48.136761", "N", "11.582439", "E", "48.136761, 11.582439" };
    QTest::newRow("south west") << QStringList {
        "-GPSLatitude=48 8 12.34", "-GPSLatitudeRef=S", "-GPSLongitude=11 34 56.78", "-GPSLongitudeRef=W"
    } << QStringList { "true", "-48.136761", "S", "-11.582439", "W", "-48.136761, -11.582439" };
    QTest::newRow("no hemisphere letters") << QStringList { "-GPSLatitude=48 8 12.34",
        "-GPSLongitude=11 34 56.78" } << QStringList { "true", "", "", "", "", "" };
    QTest::newRow("no position") << QStringList { "-Model=X100" } << QStringList { "", "", "", "", "", "" };
}

void tst_exif_cache::gps_from_photo()
{
    QFETCH(QStringList, assignments);
    QFETCH(QStringList, expected);
    const QString path = photo(QStringLiteral("%1.jpg").arg(QTest::currentDataTag()), assignments);
    QVERIFY(!path.isEmpty());

    exif_cache cache;
    cache.add(utf8(path));
    const auto info = cache[path];
    const QStringList actual { get(info, "has_gps_position"), get(info, "gps_lat"), get(info, "gps_lat_ref"),
        get(info, "gps_lon"), get(info, "gps_lon_ref"), get(info, "gps_numerical") };
    QCOMPARE(actual, expected);
    QCOMPARE(cache.image_has_gps(path), expected[0] == QLatin1String("true"));
    if (!expected[1].isEmpty()) {
        const double lat = test_files::value(path, "GPSLatitude", true).toDouble();
        QVERIFY(qAbs(lat - get(info, "gps_lat").toDouble()) < 1e-6);
    }
}

void tst_exif_cache::gps_odd_values_data()
{
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("has");
    QTest::newRow("no comma") << R"(48 deg 8' 12.34" N)" << QString("true");
    QTest::newRow("dash") << "-" << QString();
    QTest::newRow("short latitude") << R"(48 deg, 11 deg 34' 56.78" E)" << QString("true");
    QTest::newRow("empty") << "" << QString("true");
}

void tst_exif_cache::gps_odd_values()
{
    QFETCH(QString, position);
    QFETCH(QString, has);
    exif_cache cache;
    const ktk::string file = "/nowhere/odd.jpg";
    cache.cache_gps_info(file, { { "GPSPosition", utf8(position) } });
    const auto& info = cache.derived_info[file];
    QCOMPARE(get(info, "has_gps_position"), has);
    for (const char* key : { "gps_lat", "gps_lat_ref", "gps_lon", "gps_lon_ref", "gps_numerical" })
        QCOMPARE(get(info, key), QString());
}

void tst_exif_cache::numbers_keep_a_decimal_point_in_any_locale()
{
    // The latitude text is written back into photos; exiftool would skip a
    // "48,136761" and still report success.
    QTemporaryDir locale_dir;
    if (!switch_to_comma_locale(locale_dir))
        QSKIP("no decimal-comma C locale available");
    exif_cache cache;
    const ktk::string file = "/nowhere/german.jpg";
    cache.cache_gps_info(file, { { "GPSPosition", "48 deg 8' 12.34\" N, 11 deg 34' 56.78\" W" } });
    cache.cache_image_info(file, { { "ShutterSpeed", "1/250" } });
    std::setlocale(LC_NUMERIC, "C");
    const auto& info = cache.derived_info[file];
    QCOMPARE(get(info, "gps_lat"), QStringLiteral("48.136761"));
    QCOMPARE(get(info, "gps_numerical"), QStringLiteral("48.136761, -11.582439"));
    QCOMPARE(get(info, "shutter_speed_decimal"), QStringLiteral("0.004000"));
}

void tst_exif_cache::camera_from_photo()
{
    const QString path = photo(QStringLiteral("camera.jpg"),
        { "-FNumber=2.8", "-FocalLength=24", "-ExposureTime=1/250", "-ISO=200", "-Model=X100",
            "-LensModel=XF 23mm F2", "-Rating=3", "-Orientation#=6", "-ExifImageWidth=4000",
            "-ExifImageHeight=3000" });
    QVERIFY(!path.isEmpty());
    exif_cache cache;
    cache.add(utf8(path));
    QStringList values;
    for (const char* key : { "fstop", "focal_length", "shutter_speed_fractional", "shutter_speed_decimal",
             "iso", "camera", "lens", "rating", "orientation", "image_w", "image_h" })
        values << get(cache[path], key);
    QCOMPARE(values,
        (QStringList { "2.8", "24.0", "1/250", "0.004000", "200", "X100", "XF 23mm F2", "3", "Rotate 90 CW",
            "4000", "3000" }));

    // Re-adding after a change replaces every key.
    QVERIFY(test_files::tag(path, { "-FNumber=", "-ExposureTime=2", "-LensModel=" }));
    cache.add(utf8(path));
    QCOMPARE(get(cache[path], "fstop"), QString());
    QCOMPARE(get(cache[path], "shutter_speed_fractional"), QStringLiteral("2"));
    QCOMPARE(get(cache[path], "shutter_speed_decimal"), QString());
    QCOMPARE(get(cache[path], "lens"), QString());
}

void tst_exif_cache::camera_rules_data()
{
    QTest::addColumn<tag_map>("tags");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* tag, const tag_map& tags, const char* key, const char* expected) {
        QTest::newRow(tag) << tags << QString(key) << QString(expected);
    };
    row("f/2.8", { { "FNumber", "f/2.8" } }, "fstop", "2.8");
    row("24.0 mm", { { "FocalLength", "24.0 mm" } }, "focal_length", "24.0");
    row("1/250 decimal", { { "ShutterSpeed", "1/250" } }, "shutter_speed_decimal", "0.004000");
    row("2 fractional", { { "ShutterSpeed", "2" } }, "shutter_speed_fractional", "2");
    row("1/0 no crash", { { "ShutterSpeed", "1/0" } }, "shutter_speed_decimal", "inf");

    // "size" is image_w x image_h.
    row("exif size wins",
        { { "ExifImageWidth", "4000" }, { "ExifImageHeight", "3000" }, { "ImageWidth", "160" },
            { "ImageHeight", "120" } },
        "size", "4000x3000");
    row("plain size", { { "ImageWidth", "160" }, { "ImageHeight", "120" } }, "size", "160x120");
    row("empty exif width", { { "ExifImageWidth", "" }, { "ImageWidth", "160" } }, "image_w", "160");

    row("empty LensModel beats Lens", { { "LensModel", "" }, { "Lens", "50mm" } }, "lens", "");
}

void tst_exif_cache::camera_rules()
{
    QFETCH(tag_map, tags);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    exif_cache cache;
    const ktk::string file = "/nowhere/camera.jpg";
    cache.cache_image_info(file, tags);
    const auto& info = cache.derived_info[file];
    QCOMPARE(key == "size" ? get(info, "image_w") + 'x' + get(info, "image_h") : get(info, key), expected);
}

// What the rules get of a photo: its time and where it came from, and its
// own position exactly as the file holds it (not the six decimals shown).
void tst_exif_cache::facts_data()
{
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<double>("lat");

    const int camera = int(time_source::camera);
    QTest::newRow("camera time, exact position") << QStringList { "-DateTimeOriginal=2019:05:01 10:00:00",
        "-GPSLatitude=43.4674483", "-GPSLatitudeRef=S", "-GPSLongitude=11.58243917", "-GPSLongitudeRef=W" }
                                                 << camera << QString() << -43.4674483;
    QTest::newRow("the photo's own zone")
        << QStringList { "-DateTimeOriginal=2019:05:01 10:00:00", "-OffsetTimeOriginal=+02:00" } << camera
        << "+02:00" << 0.0;
    QTest::newRow("file date") << QStringList { "-Model=X100" } << int(time_source::file) << QString() << 0.0;
    QTest::newRow("garbage date") << QStringList { "-DateTimeOriginal=0000:00:00 00:00:00" }
                                  << int(time_source::none) << QString() << 0.0;
}

void tst_exif_cache::facts()
{
    QFETCH(QStringList, assignments);
    QFETCH(int, source);
    QFETCH(QString, zone);
    QFETCH(double, lat);
    const QString path = photo(QStringLiteral("facts %1.jpg").arg(QTest::currentDataTag()), assignments);
    exif_cache cache;
    cache.add(utf8(path));
    const photo_facts f = facts_of(cache, { path }).front();
    QCOMPARE(f.path, path);
    QCOMPARE(int(f.time_from), source);
    QCOMPARE(f.taken.isValid(), source != int(time_source::none));
    QCOMPARE(f.zone_text, zone);
    QCOMPARE(f.own.has_value(), lat != 0.0);
    if (f.own) {
        QVERIFY(std::fabs(f.own->first - lat) < 1e-9);
        QVERIFY(std::fabs(f.own->second + 11.58243917) < 1e-9);
    }
}

void tst_exif_cache::unreadable_file_data()
{
    QTest::addColumn<QString>("name");
    // exiftool is never asked about a folder (it would answer for every file
    // inside)...
    QTest::newRow("directory") << "folder.jpg";
    // ...and is never asked about a name it could not be sent.
    QTest::newRow("line break in name") << "two\nlines.jpg";
    QTest::newRow("missing") << "gone.jpg";
}

void tst_exif_cache::unreadable_file()
{
    QFETCH(QString, name);
    const QString path = dir.filePath(name);
    if (name == QLatin1String("folder.jpg"))
        QVERIFY(QDir().mkpath(path));
    else if (name != QLatin1String("gone.jpg"))
        QVERIFY(test_files::make_image(path));

    // Nothing read, so no time is made up from the file.
    exif_cache cache;
    cache.add(utf8(path));
    QVERIFY(!cache.gps_numbers(path));
    const auto info = cache[path];
    QCOMPARE(get(info, "has_data"), QStringLiteral("true"));
    QVERIFY(!get(info, "read_error").isEmpty());
    QCOMPARE(recording(info).join(QString()), QString());
    for (const char* key : { "camera", "fstop", "image_w", "has_gps_position", "gps_lat" })
        QCOMPARE(get(info, key), QString());
}

QTEST_GUILESS_MAIN(tst_exif_cache)
void tst_exif_cache::stamps_that_tell_changes_data()
{
    QTest::addColumn<bool>("whole_seconds");
    QTest::addColumn<bool>("telling");
    QTest::newRow("fine times") << false << true;
    // As on an SD card: a change within the next seconds would leave them as they are.
    QTest::newRow("whole seconds, just now") << true << false;
}

void tst_exif_cache::stamps_that_tell_changes()
{
    QFETCH(bool, whole_seconds);
    QFETCH(bool, telling);
    const QString path = dir.filePath(QStringLiteral("stamp-%1.jpg").arg(QTest::currentDataTag()).replace(' ', '_'));
    QVERIFY(test_files::make_image(path));
    const qint64 now_ns = QDateTime::currentMSecsSinceEpoch() * 1000000 + 123457;
    const timespec when { time_t(now_ns / 1000000000), whole_seconds ? 0 : long(now_ns % 1000000000) };
    const timespec times[2] = { when, when };
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    const std::optional<file_stamp> stamp = file_stamp::telling(path);
    QCOMPARE(bool(stamp), telling);
    QVERIFY(stamp_from_text(to_text(*file_stamp::of(path))) == file_stamp::of(path));
}

#include "tst_exif_cache.moc"
