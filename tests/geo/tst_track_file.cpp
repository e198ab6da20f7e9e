#include "geo/track_file.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

#include <cmath>

Q_DECLARE_METATYPE(track_format)

namespace {

// On the thousandth-of-a-minute grid NMEA and IGC write, 10 s apart, with
// a segment break; the times show which point is which.
struct reference_point {
    double lat;
    double lon;
    const char* time;
};
const reference_point reference[] = {
    { 46 + 3.074 / 60, 14 + 30.326 / 60, "2019-05-01T10:00:00Z" },
    { 46 + 3.134 / 60, 14 + 30.386 / 60, "2019-05-01T10:00:10Z" },
    { 46 + 3.194 / 60, 14 + 30.446 / 60, "2019-05-01T10:00:20Z" },
    { -(33 + 51.674 / 60), 151 + 12.926 / 60, "2019-05-01T11:00:00Z" },
    { -(33 + 51.734 / 60), 151 + 12.986 / 60, "2019-05-01T11:00:10Z" },
};

QByteArray reference_gpx()
{
    QByteArray gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                     "<trk><name>Walk</name><trkseg>\n";
    for (std::size_t i = 0; i < std::size(reference); ++i) {
        if (i == 3)
            gpx += "</trkseg><trkseg>\n";
        // A fix, so that NMEA sentences are written as valid.
        gpx += QStringLiteral(
            "<trkpt lat=\"%1\" lon=\"%2\"><ele>%3</ele><time>%4</time><fix>3d</fix><sat>8</sat></trkpt>\n")
                   .arg(reference[i].lat, 0, 'f', 9)
                   .arg(reference[i].lon, 0, 'f', 9)
                   .arg(300 + i)
                   .arg(QLatin1String(reference[i].time))
                   .toUtf8();
    }
    return gpx + "</trkseg></trk></gpx>\n";
}

double metres_between(double lat1, double lon1, double lat2, double lon2)
{
    const double r = M_PI / 180;
    const double x = (lon2 - lon1) * r * std::cos((lat1 + lat2) / 2 * r);
    const double y = (lat2 - lat1) * r;
    return std::sqrt(x * x + y * y) * 6371008.8;
}

void write_le(QByteArray& out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char(value >> (8 * i) & 0xff);
}

// A zip archive of one deflated file.
QByteArray zip_of(const QByteArray& name, const QByteArray& content)
{
    QByteArray packed(int(compressBound(uLong(content.size()))) + 64, '\0');
    z_stream stream {};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.constData()));
    stream.avail_in = uInt(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = uInt(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(int(stream.total_out));
    deflateEnd(&stream);
    const quint32 crc = crc32(0, reinterpret_cast<const Bytef*>(content.constData()), uInt(content.size()));

    const auto common = [&](QByteArray& out) {
        write_le(out, 20, 2); // version needed
        write_le(out, 0, 2); // flags
        write_le(out, 8, 2); // deflated
        write_le(out, 0, 4); // time and date
        write_le(out, crc, 4);
        write_le(out, quint32(packed.size()), 4);
        write_le(out, quint32(content.size()), 4);
        write_le(out, quint32(name.size()), 2);
        write_le(out, 0, 2); // extra
    };
    QByteArray zip;
    write_le(zip, 0x04034b50, 4);
    common(zip);
    zip += name + packed;
    const quint32 directory = quint32(zip.size());
    write_le(zip, 0x02014b50, 4);
    write_le(zip, 20, 2); // made by
    common(zip);
    write_le(zip, 0, 2); // comment
    write_le(zip, 0, 4); // disk, internal attributes
    write_le(zip, 0, 4); // external attributes
    write_le(zip, 0, 4); // local header offset
    zip += name;
    const quint32 directory_size = quint32(zip.size()) - directory;
    write_le(zip, 0x06054b50, 4);
    write_le(zip, 0, 4); // disks
    write_le(zip, 1, 2);
    write_le(zip, 1, 2);
    write_le(zip, directory_size, 4);
    write_le(zip, directory, 4);
    write_le(zip, 0, 2);
    return zip;
}

} // namespace

class tst_track_file : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void formats_data();
    void formats();
    void igc_with_pressure_altitudes();
    void detect_data();
    void detect();
    void geojson_times_data();
    void geojson_times();
    void converter_trouble_data();
    void converter_trouble();

private:
    QString write(const QString& name, const QByteArray& content);
    // The reference track written by gpsbabel in its format `output`.
    QString convert(const QString& output, const QString& name);

    QTemporaryDir dir;
    QString gpx;
    bool have_gpsbabel = false;
};

void tst_track_file::initTestCase()
{
    QVERIFY(dir.isValid());
    gpx = write("reference.gpx", reference_gpx());
    have_gpsbabel = !QStandardPaths::findExecutable("gpsbabel").isEmpty();
}

QString tst_track_file::write(const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return file.fileName();
}

QString tst_track_file::convert(const QString& output, const QString& name)
{
    QProcess child;
    child.start("gpsbabel", { "-t", "-i", "gpx", "-f", gpx, "-o", output, "-F", dir.filePath(name) });
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        qWarning() << child.readAllStandardError();
        return QString();
    }
    return dir.filePath(name);
}

void tst_track_file::formats_data()
{
    QTest::addColumn<QString>("output"); // gpsbabel's format, empty for the GPX itself
    QTest::addColumn<bool>("zipped");
    QTest::addColumn<track_format>("format");
    QTest::addColumn<bool>("timed");

    // The files are named .dat: the kind comes from the content.
    QTest::newRow("GPX") << "" << false << track_format::gpx << true;
    QTest::newRow("KML, timed placemarks beside lines") << "kml" << false << track_format::kml << true;
    QTest::newRow("KML, timed track") << "kml,track=1,points=0" << false << track_format::kml << true;
    QTest::newRow("KMZ") << "kml,track=1,points=0" << true << track_format::kmz << true;
    QTest::newRow("TCX") << "gtrnctr" << false << track_format::tcx << true;
    QTest::newRow("FIT") << "garmin_fit" << false << track_format::fit << true;
    // gpsbabel writes each fix as RMC, then GGA.
    QTest::newRow("NMEA") << "nmea" << false << track_format::nmea << true;
    QTest::newRow("IGC") << "igc" << false << track_format::igc << true;
    QTest::newRow("CSV") << "unicsv" << false << track_format::csv << true;
    // gpsbabel writes GeoJSON lines without their times.
    QTest::newRow("GeoJSON") << "geojson" << false << track_format::geojson << false;
}

void tst_track_file::formats()
{
    QFETCH(QString, output);
    QFETCH(bool, zipped);
    QFETCH(track_format, format);
    QFETCH(bool, timed);
    if (!output.isEmpty() && !have_gpsbabel)
        QSKIP("gpsbabel is not installed");

    const QString name = QStringLiteral("%1.dat").arg(QTest::currentDataTag()).remove(' ');
    QString path = output.isEmpty() ? gpx : convert(output, name);
    QVERIFY(!path.isEmpty());
    if (zipped) {
        QFile kml(path);
        QVERIFY(kml.open(QIODevice::ReadOnly));
        path = write(name + ".zip", zip_of("doc.kml", kml.readAll()));
    }

    QCOMPARE(track_file::detect(path), format);
    const track_file file(path);
    QVERIFY2(file.error.isEmpty(), qPrintable(file.describe(path)));
    QVector<gps_data> points;
    for (const track_data& track : file.tracks)
        points += track.points;
    QCOMPARE(points.size(), int(std::size(reference)));
    for (int i = 0; i < points.size(); ++i) {
        const reference_point& want = reference[i];
        const double off = metres_between(points[i].latitude, points[i].longitude, want.lat, want.lon);
        QVERIFY2(off < 1, qPrintable(QStringLiteral("point %1 lies %2 m off").arg(i).arg(off)));
        if (timed)
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(points[i].msecs, Qt::UTC).toString(Qt::ISODate),
                QString::fromLatin1(want.time));
        else
            QVERIFY(!points[i].has_time());
    }
    QCOMPARE(file.problems.isEmpty(), timed);
}

void tst_track_file::igc_with_pressure_altitudes()
{
    if (!have_gpsbabel)
        QSKIP("gpsbabel is not installed");
    // Pressure altitude 300 and 310 m, GNSS altitude 295 and 296 m.
    const track_file file(write("flight.igc",
        "AXXXABC\r\nHFDTE010519\r\n"
        "B1000004603074N01430326EA0030000295\r\n"
        "B1001004603134N01430386EA0031000296\r\n"));
    QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
    QCOMPARE(file.tracks.size(), 1);
    QCOMPARE(file.tracks.first().points.size(), 2);
    QCOMPARE(file.tracks.first().points.last().elevation, 296.0);
}

void tst_track_file::detect_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<track_format>("format");

    const auto row = [](const char* tag, const char* name, const QByteArray& content, track_format format) {
        QTest::newRow(tag) << QString(name) << content << format;
    };
    row("GPX named .kml", "a.kml", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"/>", track_format::gpx);
    row("KML after a byte order mark and a comment", "a.xml",
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- <gpx> --><kml xmlns=\"x\">", track_format::kml);
    row("TCX with a prefix", "a.xml", "<tc:TrainingCenterDatabase xmlns:tc=\"x\">", track_format::tcx);
    row("other XML", "a.xml", "<?xml version=\"1.0\"?><html/>", track_format::unknown);
    row("FIT header", "a.bin", QByteArray("\x0e\x10\x11\x08\x45\x01\x00\x00.FIT\x80\xda", 14),
        track_format::fit);
    row("zip", "a.bin", QByteArray("PK\x03\x04\x14\x00", 6), track_format::kmz);
    row("NMEA after other lines", "a.log", "logger 1.2\n\n$GNRMC,100000.00,A,4603.074,N\n",
        track_format::nmea);
    row("IGC", "a.txt", "AXXXABC\r\nHFDTE010519\r\nB1000004603074N01430326EA0030000295\r\n",
        track_format::igc);
    row("CSV with time columns", "a.txt", "No;\"Latitude\";Longitude;Date;Time\n1;2;3;4;5\n",
        track_format::csv);
    row("table without positions", "a.txt", "name,time\nx,1\n", track_format::unknown);
    row("GeoJSON", "a.json", "{ \"type\" : \"FeatureCollection\", \"features\": [] }", track_format::geojson);
    row("Records.json", "a.json", "{\"locations\": [{\"latitudeE7\": 1}]}", track_format::location_history);
    row("timeline", "a.json", "{\"semanticSegments\": []}", track_format::location_history);
    row("list of timeline segments", "a.json", "[{\"startTime\": \"x\", \"visit\": {}}]",
        track_format::location_history);
    row("unknown content, known extension", "a.IGC", "?", track_format::igc);
    row("unknown", "a.txt", "hello", track_format::unknown);
}

void tst_track_file::detect()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(track_format, format);
    QCOMPARE(track_file::detect(write(name, content)), format);
}

void tst_track_file::geojson_times_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("tracks");
    QTest::addColumn<QStringList>("times"); // of every point in order, "-" for none

    QTest::newRow("line with coordTimes") << QByteArray(R"({"type": "Feature",
        "properties": {"name": "Run", "coordTimes": ["2019-05-01T10:00:00Z", "2019-05-01T10:00:05Z"]},
        "geometry": {"type": "LineString", "coordinates": [[14.5, 46.0, 300], [14.6, 46.1, 301]]}})")
                                          << 1 << QStringList { "10:00:00", "10:00:05" };
    QTest::newRow("lines with nested times, given after the geometry")
        << QByteArray(R"({"type": "Feature",
        "geometry": {"type": "MultiLineString", "coordinates": [[[14.5, 46.0], [14.6, 46.1]], [[14.7, 46.2]]]},
        "properties": {"coordinateProperties": {"times": [["2019-05-01T10:00:00Z", "2019-05-01T10:00:05Z"],
                                                          ["2019-05-01T11:00:00Z"]]}}})")
        << 1 << QStringList { "10:00:00", "10:00:05", "11:00:00" };
    QTest::newRow("points and a line without times")
        << QByteArray(R"({"type": "FeatureCollection", "features": [
        {"type": "Feature", "geometry": {"type": "Point", "coordinates": [14.5, 46.0]},
         "properties": {"time": "2019-05-01T10:00:00Z", "type": "LineString"}},
        {"type": "Feature", "geometry": {"type": "LineString", "coordinates": [[14.5, 46.0], [14.6, 46.1]]}},
        {"type": "Feature", "geometry": {"type": "Point", "coordinates": [14.6, 46.1]},
         "properties": {"timestamp": "2019-05-01T12:00:00+02:00"}}]})")
        << 2 << QStringList { "-", "-", "10:00:00", "10:00:00" };
}

void tst_track_file::geojson_times()
{
    QFETCH(QByteArray, content);
    QFETCH(int, tracks);
    QFETCH(QStringList, times);

    const track_file file(write("times.geojson", content));
    QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
    QCOMPARE(file.tracks.size(), tracks);
    QStringList read;
    for (const track_data& track : file.tracks) {
        for (const gps_data& point : track.points)
            read << (point.has_time()
                    ? QDateTime::fromMSecsSinceEpoch(point.msecs, Qt::UTC).toString("hh:mm:ss")
                    : QStringLiteral("-"));
    }
    QCOMPARE(read, times);
}

void tst_track_file::converter_trouble_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("converter");
    QTest::addColumn<QString>("said"); // empty: read without error

    const QByteArray fit("\x0e\x10\x11\x08\x45\x01\x00\x00.FIT junk that is no FIT file", 38);
    QTest::newRow("converter missing") << fit << "vestra-no-such-converter"
                                       << "Reading FIT files needs gpsbabel: sudo apt install gpsbabel";
    QTest::newRow("GPX needs no converter") << reference_gpx() << "vestra-no-such-converter"
                                            << "";
    QTest::newRow("converter's own complaint") << fit << "gpsbabel"
                                               << "fit: ";
    QTest::newRow("converter that hangs")
        << fit << HANGING_CONVERTER << "took longer than 0.3 s and was stopped";
}

void tst_track_file::converter_trouble()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, converter);
    QFETCH(QString, said);
    if (converter == QLatin1String("gpsbabel") && !have_gpsbabel)
        QSKIP("gpsbabel is not installed");

    track_file_options options;
    options.converter = converter;
    options.converter_timeout_msecs = 300;
    QElapsedTimer clock;
    clock.start();
    const track_file file(write("trouble.dat", content), options);
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY2(file.error.contains(said), qPrintable(file.error));
    QCOMPARE(file.error.isEmpty(), said.isEmpty());
    QCOMPARE(file.tracks.isEmpty(), !said.isEmpty());
    if (!said.isEmpty())
        QVERIFY(file.describe("trouble.dat").contains("\"trouble.dat\""));
}

QTEST_GUILESS_MAIN(tst_track_file)
#include "tst_track_file.moc"
