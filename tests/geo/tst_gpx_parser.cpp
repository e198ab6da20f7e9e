#include "geo/gpx_parser.h"

#include <QTemporaryDir>
#include <QtTest>

#include <iostream>
#include <sstream>

namespace {

// Captures what the reader prints to standard output.
class stdout_capture {
public:
    stdout_capture()
        : previous_(std::cout.rdbuf(buffer_.rdbuf()))
    {
    }
    ~stdout_capture() { std::cout.rdbuf(previous_); }
    QStringList lines() const
    {
        QStringList result = QString::fromStdString(buffer_.str()).split('\n');
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
        return result;
    }

private:
    std::ostringstream buffer_;
    std::streambuf* previous_;
};

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
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<QStringList>("problems");

    const QString t = "2019-05-01T10:00:00Z";
    const QString seg = "<trkseg>" + point("1", "2", t) + point("3", "4", t) + "</trkseg>";
    QTest::newRow("unnamed then named")
        << gpx("<trk>" + seg + "</trk><trk><name>Evening walk</name>" + seg + "</trk>")
        << QStringList { "Track 1", "Evening walk" } << QList<int> { 2, 2 }
        << QStringList { "Track is named Track 1", "Track is named Evening walk" } << QStringList {};
    QTest::newRow("named then unnamed counts both")
        << gpx("<trk><name>Morning</name></trk><trk></trk>") << QStringList { "Morning", "Track 2" }
        << QList<int> { 0, 0 } << QStringList { "Track is named Morning", "Track is named Track 2" }
        << QStringList { "2 tracks have no points: \"Morning\", \"Track 2\"" };
    QTest::newRow("comment reported, reading goes on")
        << gpx("<!-- recorded by hand --><trk><name>T</name>" + seg + "</trk>") << QStringList { "T" }
        << QList<int> { 2 }
        << QStringList { "Unknown node type found: 8 node name is: #comment", "Track is named T" }
        << QStringList {};
    QTest::newRow("waypoints and metadata silent, point outside segment ignored")
        << gpx("<metadata><name>M</name></metadata><wpt lat=\"1\" lon=\"2\"/><trk><name>T</name>"
               + point("1", "2", t) + "</trk>")
        << QStringList { "T" } << QList<int> { 0 } << QStringList { "Track is named T" }
        << QStringList { "track \"T\" has no points" };
    QTest::newRow("routes only") << gpx("<rte><rtept lat=\"1\" lon=\"2\"/></rte><rte/>") << QStringList {}
                                 << QList<int> {}
                                 << QStringList { "Unknown element found: rte", "Unknown element found: rte" }
                                 << QStringList { "the file holds no track" };
    QTest::newRow("nested track not found")
        << gpx("<extensions><trk><name>Hidden</name></trk></extensions>") << QStringList {} << QList<int> {}
        << QStringList { "Unknown element found: extensions" } << QStringList { "the file holds no track" };
    QTest::newRow("GPX 1.0 with extras")
        << QByteArray(
               "<?xml version=\"1.0\"?><gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\">"
               "<trk><name>T</name><desc>d</desc><number>1</number><type>walk</type><cmt>c</cmt>"
               "<link href=\"x\"/><src>logger</src><extensions><x/></extensions><trkseg><extensions/>"
               "<trkpt lat=\"1\" lon=\"2\"><ele>3</ele><time>2019-05-01T10:00:00Z</time><desc>d</desc>"
               "<extensions><speed>1</speed></extensions></trkpt></trkseg></trk></gpx>")
        << QStringList { "T" } << QList<int> { 1 } << QStringList { "Track is named T" } << QStringList {};
    QTest::newRow("prefixed namespace")
        << QByteArray("<gpx:gpx xmlns:gpx=\"http://www.topografix.com/GPX/1/1\"><gpx:metadata/>"
                      "<gpx:trk><gpx:name>P</gpx:name><gpx:trkseg><gpx:trkpt lat=\"1\" lon=\"2\">"
                      "<gpx:time>2019-05-01T10:00:00Z</gpx:time></gpx:trkpt></gpx:trkseg></gpx:trk>"
                      "<gpx:rte/></gpx:gpx>")
        << QStringList { "P" } << QList<int> { 1 }
        << QStringList { "Track is named P", "Unknown element found: gpx:rte" } << QStringList {};
    QTest::newRow("doubtful points") << gpx("<trk><name>T</name><trkseg>" + point("1", "2")
        + point("1", "2", "May 1st") + point("91", "2", t) + point("1", "nan", t) + point("-90", "180", t)
        + point(" 48.1 ", "inf", t) + "<trkpt lon=\"2\"><ele>high</ele><time>" + t
        + "</time></trkpt></trkseg></trk>")
                                     << QStringList { "T" } << QList<int> { 7 }
                                     << QStringList { "Track is named T" }
                                     << QStringList { "2 points without a valid time",
                                            "4 points whose latitude or longitude is not a number in range",
                                            "1 point whose elevation is not a number" };
}

void tst_gpx_parser::tracks_and_messages()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, point_counts);
    QFETCH(QStringList, output);
    QFETCH(QStringList, problems);

    const QString path = write(content);
    stdout_capture capture;
    const gpx_parser parser(path);
    QCOMPARE(capture.lines(), output);

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
    const QString body = "<trk><trkseg>" + point("0", "-0", t) + point("1", "-1") + "</trkseg><trkseg>"
        + "<trkpt lat=\"2\" lon=\"-2\"><ele> 12.5 </ele></trkpt>" + "</trkseg></trk>"
        + "<trk><trkseg><trkpt lat=\"3\" lon=\"-3\"/></trkseg></trk>";
    const gpx_parser parser(write(gpx(body)));
    QStringList points;
    for (const track_data& track : parser.tracks) {
        for (const gps_data& p : track.points)
            points << QString("%1 %2 %3 %4 %5")
                          .arg(p.latitude, p.longitude, p.elevation)
                          .arg(p.track)
                          .arg(p.segment);
    }
    QCOMPARE(points, QStringList({ "0 -0 500 0 0", "1 -1 500 0 0", "2 -2 12.5 0 1", "3 -3  1 0" }));
}

void tst_gpx_parser::point_fields_data()
{
    QTest::addColumn<QString>("trkpt");
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<int>("time_spec");

    const QDateTime utc(QDate(2019, 5, 1), QTime(10, 0), Qt::UTC);
    QTest::newRow("UTC time") << point("48.1", "11.5", "2019-05-01T10:00:00Z") << "48.1"
                              << "11.5" << utc << int(Qt::UTC);
    QTest::newRow("offset time") << point("48.1", "11.5", "2019-05-01T12:00:00+02:00") << "48.1"
                                 << "11.5" << utc << int(Qt::OffsetFromUTC);
    QTest::newRow("fractional seconds") << point("1", "2", "2019-05-01T10:00:00.250Z") << "1"
                                        << "2" << utc.addMSecs(250) << int(Qt::UTC);
    QTest::newRow("fraction and offset") << point("1", "2", "2019-05-01T12:00:00.5+02:00") << "1"
                                         << "2" << utc.addMSecs(500) << int(Qt::OffsetFromUTC);
    QTest::newRow("local time") << point("1", "2", "2019-05-01T10:00:00") << "1"
                                << "2" << QDateTime(QDate(2019, 5, 1), QTime(10, 0), Qt::LocalTime)
                                << int(Qt::LocalTime);
    QTest::newRow("no time") << point("1", "2") << "1"
                             << "2" << QDateTime() << -1;
    QTest::newRow("time not ISO") << point("1", "2", "May 1st 2019") << "1"
                                  << "2" << QDateTime() << -1;
    QTest::newRow("coordinates kept as text") << point(" 48.10 ", "east", "2019-05-01T10:00:00Z") << " 48.10 "
                                              << "east" << utc << int(Qt::UTC);
    QTest::newRow("missing attributes") << "<trkpt><time>2019-05-01T10:00:00Z</time></trkpt>"
                                        << ""
                                        << "" << utc << int(Qt::UTC);
}

void tst_gpx_parser::point_fields()
{
    QFETCH(QString, trkpt);
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(QDateTime, time);
    QFETCH(int, time_spec);

    const gpx_parser parser(write(gpx("<trk><trkseg>" + trkpt + "</trkseg></trk>")));
    QCOMPARE(parser.tracks.size(), 1);
    QCOMPARE(parser.tracks.first().points.size(), 1);
    const gps_data& p = parser.tracks.first().points.first();
    QCOMPARE(p.latitude, latitude);
    QCOMPARE(p.longitude, longitude);
    QCOMPARE(p.time.isValid(), time.isValid());
    if (time.isValid()) {
        QCOMPARE(p.time.toMSecsSinceEpoch(), time.toMSecsSinceEpoch());
        QCOMPARE(int(p.time.timeSpec()), time_spec);
    }
}

void tst_gpx_parser::unreadable_file_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing file") << QByteArray() << false << "^cannot be opened: No such file or directory$";
    const QString not_gpx = "^is not a GPX file: .+ \\(line \\d+, column \\d+\\)$";
    QTest::newRow("not well-formed") << QByteArray("<gpx><trk><name>T</name></gpx>") << true << not_gpx;
    QTest::newRow("truncated") << gpx("<trk><name>T</name></trk>").left(60) << true << not_gpx;
    QTest::newRow("empty") << QByteArray() << true << not_gpx;
}

void tst_gpx_parser::unreadable_file()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QFETCH(QString, error);
    const QString path = exists ? write(content) : dir_.filePath("absent.gpx");
    stdout_capture capture;
    const gpx_parser parser(path);
    QVERIFY(parser.tracks.isEmpty());
    QVERIFY(parser.problems.isEmpty());
    QCOMPARE(capture.lines(), QStringList());
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
