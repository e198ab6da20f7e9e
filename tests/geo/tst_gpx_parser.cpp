#include "geo/gpx_parser.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

QString point(const QString& lat, const QString& lon, const QString& time = QString())
{
    QString xml = QString("<trkpt lat=\"%1\" lon=\"%2\"><ele>500</ele>").arg(lat, lon);
    if (!time.isNull())
        xml += "<time>" + time + "</time>";
    return xml + "</trkpt>";
}

QByteArray gpx(const QString& body)
{
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        + body + "\n</gpx>\n")
        .toUtf8();
}

} // namespace

class tst_gpx_parser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void tracks_and_messages_data();
    void tracks_and_messages();
    void points_in_file_order();
    void point_fields_data();
    void point_fields();
    void large_track();
    void unreadable_file_data();
    void unreadable_file();
    void describe_data();
    void describe();

private:
    QString write(const QByteArray& content);

    QTemporaryDir dir_;
    int file_counter_ = 0;
};

void tst_gpx_parser::initTestCase()
{
    QVERIFY(dir_.isValid());
}

QString tst_gpx_parser::write(const QByteArray& content)
{
    const QString path = dir_.filePath(QString("track%1.gpx").arg(++file_counter_));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_gpx_parser::tracks_and_messages_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("point_counts");
    QTest::addColumn<QStringList>("problems");

    const QString t = "2019-05-01T10:00:00Z";
    const QString seg = "<trkseg>" + point("1", "2", t) + point("3", "4", t) + "</trkseg>";
    QTest::newRow("unnamed then named")
        << gpx("<trk>" + seg + "</trk><trk><name>Evening walk</name>" + seg + "</trk>")
        << QStringList { "Track 1", "Evening walk" } << QList<int> { 2, 2 } << QStringList {};
    QTest::newRow("named then unnamed counts both")
        << gpx("<trk><name>Morning</name></trk><trk></trk>") << QStringList { "Morning", "Track 2" }
        << QList<int> { 0, 0 } << QStringList { "2 tracks have no points: \"Morning\", \"Track 2\"" };
    QTest::newRow("comments, name after the segment")
        << gpx("<!-- by hand --><trk>" + seg + "<name>T</name><!-- x --></trk>") << QStringList { "T" }
        << QList<int> { 2 } << QStringList {};
    QTest::newRow("waypoints and metadata skipped, point outside segment ignored")
        << gpx("<metadata><name>M</name></metadata><wpt lat=\"1\" lon=\"2\"/><trk><name>T</name>"
               + point("1", "2", t) + "</trk>")
        << QStringList { "T" } << QList<int> { 0 } << QStringList { "track \"T\" has no points" };
    QTest::newRow("routes only") << gpx("<rte><rtept lat=\"1\" lon=\"2\"/></rte><rte/>") << QStringList {}
                                 << QList<int> {} << QStringList { "the file holds no track" };
    QTest::newRow("nested track not found")
        << gpx("<extensions><trk><name>Hidden</name></trk></extensions>") << QStringList {} << QList<int> {}
        << QStringList { "the file holds no track" };
    QTest::newRow("GPX 1.0 with extras") << QByteArray(
        "<?xml version=\"1.0\"?><gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\">"
        "<trk><name>T</name><desc>d</desc><number>1</number><type>walk</type><cmt>c</cmt>"
        "<link href=\"x\"/><src>logger</src><extensions><x/></extensions><trkseg><extensions/>"
        "<trkpt lat=\"1\" lon=\"2\"><ele>3</ele><time>2019-05-01T10:00:00Z</time><desc>d</desc>"
        "<extensions><speed>1</speed></extensions></trkpt></trkseg></trk></gpx>")
                                         << QStringList { "T" } << QList<int> { 1 } << QStringList {};
    QTest::newRow("prefixed namespace, even undeclared")
        << QByteArray("<gpx:gpx xmlns:gpx=\"http://www.topografix.com/GPX/1/1\"><gpx:metadata/>"
                      "<gpx:trk><gpx:name>P</gpx:name><gpx:trkseg><gpx:trkpt lat=\"1\" lon=\"2\">"
                      "<gpx:time>2019-05-01T10:00:00Z</gpx:time></gpx:trkpt></gpx:trkseg></gpx:trk>"
                      "<gpx:rte/><x:trk><x:trkseg><x:trkpt/></x:trkseg></x:trk></gpx:gpx>")
        << QStringList { "P", "Track 2" } << QList<int> { 1, 1 }
        << QStringList { "1 point without a valid time",
               "1 point whose latitude or longitude is not a number in range" };
    QTest::newRow("doubtful points") << gpx("<trk><name>T</name><trkseg>" + point("1", "2")
        + point("1", "2", "May 1st") + point("91", "2", t) + point("1", "nan", t) + point("-90", "180", t)
        + point(" 48.1 ", "inf", t) + "<trkpt lon=\"2\"><ele>high</ele><time>" + t
        + "</time></trkpt></trkseg></trk>")
                                     << QStringList { "T" } << QList<int> { 7 }
                                     << QStringList { "2 points without a valid time",
                                            "4 points whose latitude or longitude is not a number in range",
                                            "1 point whose elevation is not a number" };
    // Not "not a number": the number is read, it is only not believable.
    const QString ele = "<trkpt lat=\"1\" lon=\"2\"><ele>%1</ele><time>" + t + "</time></trkpt>";
    QTest::newRow("elevation out of range")
        << gpx("<trk><name>T</name><trkseg>" + ele.arg("1234567") + ele.arg("100000") + ele.arg("-100000")
               + "</trkseg></trk>")
        << QStringList { "T" } << QList<int> { 3 }
        << QStringList { "1 point whose elevation 1234567 m is out of range" };
    QTest::newRow("elevations out of range")
        << gpx("<trk><name>T</name><trkseg>" + ele.arg("-100000.5") + ele.arg("1e9") + "</trkseg></trk>")
        << QStringList { "T" } << QList<int> { 2 }
        << QStringList { "2 points whose elevation is out of range, the first -100000.5 m" };
}

void tst_gpx_parser::tracks_and_messages()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, point_counts);
    QFETCH(QStringList, problems);

    const gpx_parser parser(write(content));
    QStringList actual_names;
    QList<int> actual_counts;
    for (const track_data& track : parser.tracks) {
        actual_names << track.name;
        actual_counts << track.points.size();
    }
    QCOMPARE(actual_names, names);
    QCOMPARE(actual_counts, point_counts);
    QCOMPARE(parser.problems, problems);
    QCOMPARE(parser.error, QString());
}

void tst_gpx_parser::points_in_file_order()
{
    // Two tracks, the first of two segments; each point as "lat lon ele track segment".
    const QString t = "2019-05-01T10:00:00Z";
    const QString body = "<trk><trkseg>" + point("0", "-0.5", t) + point("1", "-1") + "</trkseg><trkseg>"
        + "<trkpt lat=\"2\" lon=\"-2\"><ele> 12.5 </ele><ele>13</ele></trkpt>" + "</trkseg></trk>"
        + "<trk><trkseg><trkpt lat=\"3\" lon=\"-3\"/></trkseg></trk>";
    const gpx_parser parser(write(gpx(body)));
    QStringList points;
    for (const track_data& track : parser.tracks) {
        for (const gps_data& p : track.points)
            points << QString("%1 %2 %3 %4 %5")
                          .arg(p.latitude)
                          .arg(p.longitude)
                          .arg(p.elevation)
                          .arg(p.track)
                          .arg(p.segment);
    }
    QCOMPARE(points, QStringList({ "0 -0.5 500 0 0", "1 -1 500 0 0", "2 -2 12.5 0 1", "3 -3 nan 1 0" }));
}

void tst_gpx_parser::point_fields_data()
{
    QTest::addColumn<QString>("trkpt");
    QTest::addColumn<double>("latitude"); // NaN: unreadable
    QTest::addColumn<double>("longitude");
    QTest::addColumn<QDateTime>("time"); // invalid: none

    const double none = qQNaN();
    const QDateTime utc(QDate(2019, 5, 1), QTime(10, 0), Qt::UTC);
    const auto row = [](const char* tag, const QString& time) -> QTestData& {
        return QTest::newRow(tag) << point("48.1", "11.5", time) << 48.1 << 11.5;
    };
    row("UTC time", "2019-05-01T10:00:00Z") << utc;
    row("offset time", "2019-05-01T12:00:00+02:00") << utc;
    row("negative offset with minutes", "2019-05-01T04:30:00-05:30") << utc;
    row("fractional seconds", "2019-05-01T10:00:00.250Z") << utc.addMSecs(250);
    row("fraction and offset", "2019-05-01T12:00:00.5+02:00") << utc.addMSecs(500);
    row("microseconds cut to milliseconds", "2019-05-01T10:00:00.123999Z") << utc.addMSecs(123);
    row("space around the time", " 2019-05-01T10:00:00Z\n") << utc;
    row("leap day", "2020-02-29T10:00:00Z") << QDateTime(QDate(2020, 2, 29), QTime(10, 0), Qt::UTC);
    row("before 1970", "1969-12-31T23:59:59.5Z") << QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC);
    row("local time", "2019-05-01T10:00:00") << QDateTime(QDate(2019, 5, 1), QTime(10, 0), Qt::LocalTime);
    row("no such day", "2019-02-29T10:00:00Z") << QDateTime();
    row("hour 25", "2019-05-01T25:00:00Z") << QDateTime();
    row("no time", QString()) << QDateTime();
    row("time not ISO", "May 1st 2019") << QDateTime();
    QTest::newRow("coordinates with space, unreadable")
        << point(" 48.10 ", "east", "2019-05-01T10:00:00Z") << 48.1 << none << utc;
    QTest::newRow("missing attributes")
        << "<trkpt><time>2019-05-01T10:00:00Z</time></trkpt>" << none << none << utc;
}

void tst_gpx_parser::point_fields()
{
    QFETCH(QString, trkpt);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(QDateTime, time);

    const gpx_parser parser(write(gpx("<trk><trkseg>" + trkpt + "</trkseg></trk>")));
    QCOMPARE(parser.tracks.size(), 1);
    QCOMPARE(parser.tracks.first().points.size(), 1);
    const gps_data& p = parser.tracks.first().points.first();
    QCOMPARE(std::isnan(p.latitude), std::isnan(latitude));
    QCOMPARE(std::isnan(p.longitude), std::isnan(longitude));
    if (!std::isnan(latitude))
        QCOMPARE(p.latitude, latitude);
    if (!std::isnan(longitude))
        QCOMPARE(p.longitude, longitude);
    QCOMPARE(p.has_time(), time.isValid());
    if (time.isValid())
        QCOMPARE(p.msecs, time.toMSecsSinceEpoch());
}

// A long recording, written the way loggers write it, read point for point.
void tst_gpx_parser::large_track()
{
    const int count = 200000;
    const QString path = dir_.filePath("large.gpx");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QTextStream out(&file);
        out << "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
               "<trk><name>Long</name><trkseg>\n";
        const QDateTime start(QDate(2019, 5, 1), QTime(6, 0), Qt::UTC);
        for (int i = 0; i < count; ++i) {
            out << "<trkpt lat=\"" << QString::number(47 + i * 1e-5, 'f', 7) << "\" lon=\""
                << QString::number(11 - i * 1e-5, 'f', 7) << "\"><ele>" << 500 + i % 100 << "</ele><time>"
                << start.addSecs(i).toString(Qt::ISODate) << "</time></trkpt>\n";
        }
        out << "</trkseg></trk></gpx>\n";
    }
    const gpx_parser parser(path);
    QCOMPARE(parser.error, QString());
    QCOMPARE(parser.problems, QStringList());
    QCOMPARE(parser.tracks.size(), 1);
    const QVector<gps_data>& points = parser.tracks.first().points;
    QCOMPARE(points.size(), count);
    const qint64 start = QDateTime(QDate(2019, 5, 1), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    QCOMPARE(points.first().latitude, 47.0);
    QCOMPARE(points.first().msecs, start);
    QCOMPARE(points.last().latitude, QString::number(47 + (count - 1) * 1e-5, 'f', 7).toDouble());
    QCOMPARE(points.last().longitude, QString::number(11 - (count - 1) * 1e-5, 'f', 7).toDouble());
    QCOMPARE(points.last().elevation, 500.0 + (count - 1) % 100);
    QCOMPARE(points.last().msecs, start + qint64(count - 1) * 1000);
}

void tst_gpx_parser::unreadable_file_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing file") << QByteArray() << false << "^cannot be opened: No such file or directory$";
    const QString not_gpx = "^is not a GPX file: .+ \\(line \\d+, column \\d+\\)$";
    QTest::newRow("not well-formed, on its line")
        << QByteArray("<gpx>\n<trk>\n<name>T</name>\n</gpx>") << true
        << "^is not a GPX file: .+ \\(line 4, column \\d+\\)$";
    QTest::newRow("truncated") << gpx("<trk><name>T</name></trk>").left(60) << true << not_gpx;
    QTest::newRow("empty") << QByteArray() << true << not_gpx;
    QTest::newRow("second root") << gpx("") + "<gpx/>" << true << not_gpx;
    QTest::newRow("undeclared entity") << gpx("<trk><name>&walk;</name></trk>") << true << not_gpx;
    // Each entity ten of the one before: a few hundred bytes that would
    // expand to gigabytes.
    QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [\n<!ENTITY e0 \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        bomb += QString("<!ENTITY e%1 \"%2\">\n")
                    .arg(i)
                    .arg(QString("&e%1;").arg(i - 1).repeated(10))
                    .toUtf8();
    bomb += "]>\n<gpx><trk><name>&e9;</name></trk></gpx>\n";
    const QString entities = "^declares entities, which are not read$";
    QTest::newRow("entity bomb") << bomb << true << entities;
    QTest::newRow("one large entity used often") << "<!DOCTYPE gpx [<!ENTITY big \"" + QByteArray(100000, 'x')
            + "\">]><gpx><trk><name>" + QByteArray("&big;").repeated(10000)
            + "</name></trk></gpx>" << true << entities;
    QTest::newRow("parameter entity")
        << QByteArray("<!DOCTYPE gpx [<!ENTITY % p \"\">]><gpx/>") << true << entities;
}

void tst_gpx_parser::unreadable_file()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QFETCH(QString, error);
    const QString path = exists ? write(content) : dir_.filePath("absent.gpx");
    const gpx_parser parser(path);
    QVERIFY(parser.tracks.isEmpty());
    QVERIFY(parser.problems.isEmpty());
    QVERIFY2(QRegularExpression(error).match(parser.error).hasMatch(), qPrintable(parser.error));
    QCOMPARE(parser.describe("walk.gpx"), "The GPX file \"walk.gpx\" " + parser.error);
}

void tst_gpx_parser::describe_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("text");

    QTest::newRow("nothing to say") << "<trk><trkseg>" + point("1", "2", "2019-05-01T10:00:00Z")
            + "</trkseg></trk>"
                                    << "";
    QTest::newRow("doubtful points") << "<trk><trkseg>" + point("1", "2") + point("1", "2") + point("x", "2")
            + "</trkseg></trk>"
                                     << "The GPX file \"walk.gpx\" holds points that cannot be used:\n"
                                        "- 3 points without a valid time\n"
                                        "- 1 point whose latitude or longitude is not a number in range";
    QTest::newRow("no track") << ""
                              << "The GPX file \"walk.gpx\" holds no track.";
}

void tst_gpx_parser::describe()
{
    QFETCH(QString, body);
    QFETCH(QString, text);
    QCOMPARE(gpx_parser(write(gpx(body))).describe("walk.gpx"), text);
}

QTEST_GUILESS_MAIN(tst_gpx_parser)
#include "tst_gpx_parser.moc"
