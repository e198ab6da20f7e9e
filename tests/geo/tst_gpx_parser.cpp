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
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("point_counts");
    QTest::addColumn<QStringList>("output");

    const QString seg = "<trkseg>" + point("1", "2") + point("3", "4") + "</trkseg>";
    QTest::newRow("unnamed then named")
        << "<trk>" + seg + "</trk><trk><name>Evening walk</name>" + seg + "</trk>"
        << QStringList { "Track 1", "Evening walk" } << QList<int> { 2, 2 }
        << QStringList { "Track is named Track 1", "Track is named Evening walk" };
    QTest::newRow("named then unnamed counts both")
        << "<trk><name>Morning</name></trk><trk></trk>" << QStringList { "Morning", "Track 2" }
        << QList<int> { 0, 0 } << QStringList { "Track is named Morning", "Track is named Track 2" };
    QTest::newRow("two segments joined")
        << "<trk><name>T</name>" + seg + "<extensions/>" + seg + "</trk>" << QStringList { "T" }
        << QList<int> { 4 } << QStringList { "Track is named T" };
    QTest::newRow("comment reported, reading goes on")
        << "<!-- recorded by hand --><trk><name>T</name>" + seg + "</trk>" << QStringList { "T" }
        << QList<int> { 2 }
        << QStringList { "Unknown node type found: 8 node name is: #comment", "Track is named T" };
    QTest::newRow("waypoints and metadata silent")
        << "<metadata><name>M</name></metadata><wpt lat=\"1\" lon=\"2\"/><trk><name>T</name></trk>"
        << QStringList { "T" } << QList<int> { 0 } << QStringList { "Track is named T" };
    QTest::newRow("routes only") << "<rte><rtept lat=\"1\" lon=\"2\"/></rte><rte/>" << QStringList {}
                                 << QList<int> {}
                                 << QStringList { "Unknown element found: rte",
                                        "Unknown element found: rte" };
    QTest::newRow("nested track not found")
        << "<extensions><trk><name>Hidden</name></trk></extensions>" << QStringList {} << QList<int> {}
        << QStringList { "Unknown element found: extensions" };
    QTest::newRow("prefixed name is another element")
        << "<gpx:trk xmlns:gpx=\"urn:x\"><name>P</name></gpx:trk>" << QStringList {} << QList<int> {}
        << QStringList { "Unknown element found: gpx:trk" };
    QTest::newRow("points outside segments ignored")
        << "<trk><name>T</name>" + point("1", "2") + "</trk>" << QStringList { "T" } << QList<int> { 0 }
        << QStringList { "Track is named T" };
}

void tst_gpx_parser::tracks_and_messages()
{
    QFETCH(QString, body);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, point_counts);
    QFETCH(QStringList, output);

    const QString path = write(gpx(body));
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
}

void tst_gpx_parser::points_in_file_order()
{
    QString body = "<trk><name>T</name>";
    for (int s = 0; s < 2; ++s) {
        body += "<trkseg>";
        for (int p = 0; p < 3; ++p)
            body += point(QString::number(s * 3 + p), QString::number(-(s * 3 + p)));
        body += "</trkseg>";
    }
    body += "</trk>";
    const gpx_parser parser(write(gpx(body)));
    QCOMPARE(parser.tracks.size(), 1);
    const QList<gps_data>& points = parser.tracks.first().points;
    QCOMPARE(points.size(), 6);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(points[i].latitude, QString::number(i));
        QCOMPARE(points[i].longitude, QString::number(-i));
    }
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
        QCOMPARE(p.time, time);
        QCOMPARE(int(p.time.timeSpec()), time_spec);
    }
}

void tst_gpx_parser::unreadable_file_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");

    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("not well-formed") << QByteArray("<gpx><trk><name>T</name></gpx>") << true;
    QTest::newRow("truncated") << gpx("<trk><name>T</name></trk>").left(60) << true;
}

void tst_gpx_parser::unreadable_file()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    const QString path = exists ? write(content) : dir_.filePath("absent.gpx");
    stdout_capture capture;
    const gpx_parser parser(path);
    QVERIFY(parser.tracks.isEmpty());
    QCOMPARE(capture.lines(), QStringList());
}

QTEST_GUILESS_MAIN(tst_gpx_parser)
#include "tst_gpx_parser.moc"
