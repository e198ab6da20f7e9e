#include "geo/location_history.h"

#include "geo/gps_track.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString sample(const char* name)
{
    return QStringLiteral(TEST_DATA "/") + QLatin1String(name);
}

qint64 utc(const char* text)
{
    return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toMSecsSinceEpoch();
}

} // namespace

class tst_location_history : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void points_data();
    void points();
    void without_history_data();
    void without_history();

private:
    QString write(const QByteArray& content);

    QTemporaryDir dir;
    int files = 0;
};

void tst_location_history::initTestCase()
{
    QVERIFY(dir.isValid());
}

QString tst_location_history::write(const QByteArray& content)
{
    const QString path = dir.filePath(QStringLiteral("history%1.json").arg(++files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void tst_location_history::points_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("limit"); // metres
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("inaccurate");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("ele"); // NaN: none

    const double none = qQNaN();
    const QString records = sample("takeout_records.json");
    const QString timeline = sample("takeout_timeline.json");
    QTest::newRow("records: time in milliseconds, altitude")
        << records << 200.0 << 16 << 1 << utc("2019-05-01T08:03:00Z") << 46.2063230 << 7.3630340 << 512.0;
    QTest::newRow("records: ISO time with a fraction")
        << records << 200.0 << 16 << 1 << utc("2019-05-01T08:08:00Z") << 46.2083230 << 7.3660340 << none;
    QTest::newRow("records: an activity's own time is not the point's")
        << records << 200.0 << 16 << 1 << utc("2019-05-01T08:05:00Z") << 46.2071230 << 7.3642340 << none;
    QTest::newRow("records: longitude written unsigned")
        << records << 200.0 << 16 << 1 << utc("2019-05-01T08:30:00Z") << 51.5 << -0.1234567 << none;
    QTest::newRow("records: 20 m limit")
        << records << 20.0 << 10 << 7 << utc("2019-05-01T08:08:00Z") << 46.2083230 << 7.3660340 << none;
    QTest::newRow("timeline: during a visit")
        << timeline << 200.0 << 10 << 1 << utc("2024-06-01T08:20:00Z") << 46.2105 << 7.359 << none;
    QTest::newRow("timeline: path point")
        << timeline << 200.0 << 10 << 1 << utc("2024-06-01T08:50:00Z") << 46.2135001 << 7.365 << none;
    QTest::newRow("timeline: raw signal")
        << timeline << 200.0 << 10 << 1 << utc("2024-06-01T09:12:00Z") << 46.22 << 7.38 << 530.5;
    const QString list = write(R"([
        {"startTime": "2024-06-01T10:00:00.000+02:00", "endTime": "2024-06-01T10:30:00.000+02:00",
         "timelinePath": [{"point": "geo:46.5,7.5", "durationMinutesOffsetFromStartTime": "10"}]},
        {"startTime": "2024-06-01T11:00:00.000+02:00", "endTime": "2024-06-01T11:20:00.000+02:00",
         "visit": {"topCandidate": {"placeLocation": "geo:46.6,7.6"}}}])");
    QTest::newRow("list of segments: path minutes after the start")
        << list << 200.0 << 3 << 0 << utc("2024-06-01T08:10:00Z") << 46.5 << 7.5 << none;
    QTest::newRow("list of segments: visit")
        << list << 200.0 << 3 << 0 << utc("2024-06-01T09:10:00Z") << 46.6 << 7.6 << none;
}

void tst_location_history::points()
{
    QFETCH(QString, path);
    QFETCH(double, limit);
    QFETCH(int, count);
    QFETCH(int, inaccurate);
    QFETCH(qint64, at);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, ele);

    const location_history history(path, limit);
    QVERIFY2(history.error.isEmpty(), qPrintable(history.error));
    QCOMPARE(history.tracks.size(), 1);
    QCOMPARE(history.tracks.first().points.size(), count);
    QCOMPARE(history.inaccurate, inaccurate);
    QCOMPARE(history.problems.size(), inaccurate > 0 ? 1 : 0);

    const gps_track track(history.tracks);
    QCOMPARE(track.left_out(), 0);
    // Long enough to span the visits.
    const track_match m = track.match(at, 60 * 60 * 1000);
    QVERIFY(m.how == track_match::kind::exact || m.how == track_match::kind::interpolated);
    QVERIFY2(qAbs(m.lat - lat) < 1e-9 && qAbs(m.lon - lon) < 1e-9,
        qPrintable(QStringLiteral("%1, %2").arg(m.lat, 0, 'f', 9).arg(m.lon, 0, 'f', 9)));
    QCOMPARE(m.elevation.has_value(), !qIsNaN(ele));
    if (m.elevation)
        QCOMPARE(*m.elevation, ele);
}

void tst_location_history::without_history_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");

    QTest::newRow("cut short") << QByteArray(R"({"locations": [{"latitudeE7": 1)") << "is not a JSON file";
    QTest::newRow("empty history") << QByteArray(R"({"locations": []})") << "";
    QTest::newRow("other JSON") << QByteArray(R"({"type": "FeatureCollection", "features": []})")
                                << "holds no location history";
}

void tst_location_history::without_history()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const location_history history(write(content));
    QVERIFY2(history.error.contains(error), qPrintable(history.error));
    QCOMPARE(history.tracks.isEmpty(), !error.isEmpty());
    if (error.isEmpty())
        QCOMPARE(history.problems, QStringList { "the file holds no location" });
    QVERIFY(location_history(dir.filePath("none.json")).error.contains("cannot be opened"));
}

QTEST_GUILESS_MAIN(tst_location_history)
#include "tst_location_history.moc"
