// The built vestra-tag, run as a child on photos the test makes and read
// back with the command-line exiftool.

#include "../exif/test_files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <memory>

namespace {

struct outcome {
    int code = -1;
    QString out;
    QString err;
};

QString degrees(const QPointF& position)
{
    return QStringLiteral("%1, %2").arg(position.x(), 0, 'f', 8).arg(position.y(), 0, 'f', 8);
}

QJsonObject photo_entry(const QJsonDocument& report, const QString& path)
{
    for (const QJsonValue& photo : report.object().value("photos").toArray()) {
        if (photo.toObject().value("path").toString() == path)
            return photo.toObject();
    }
    return {};
}

} // namespace

class tst_vestra_tag : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void modes_data();
    void modes();
    void without_position_data();
    void without_position();
    void bad_arguments_data();
    void bad_arguments();
    void dry_run_writes_nothing();
    void undo_history();
    void guess_offset();
    void names_and_nothing_to_load();
    void unwritable_photo_among_others();

private:
    // a.jpg (10:00, own position), b.png (10:02), c.tif (10:09) and d.jpg
    // (10:10, own position); a track two hours and a minute behind them.
    void make_photos();
    outcome run(QStringList args);
    QString photo(const QString& name) const { return folder + '/' + name; }
    // The signed position a photo holds, as exiftool reads it; empty for none.
    QString position_of(const QString& name) const
    {
        return test_files::value(photo(name), "GPSPosition", true);
    }
    // The report line of one photo.
    QString line_of(const QString& report, const QString& name) const;
    // SHA-256 of each photo's bytes.
    std::map<QString, QByteArray> checksums() const;

    std::unique_ptr<QTemporaryDir> pristine;
    std::unique_ptr<QTemporaryDir> dir;
    QString folder;
    QString gpx;
    QStringList immutable;
};

void tst_vestra_tag::initTestCase()
{
    int code = -1;
    test_files::exiftool({ "-ver" }, &code);
    QVERIFY2(code == 0, "the tests need the exiftool command");
    QVERIFY(QFileInfo(QCoreApplication::applicationDirPath() + "/vestra-tag").isExecutable());
    // Made once; each test works on a copy.
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    folder = dir->filePath(QStringLiteral("Fotos Zürich"));
    make_photos();
    // The same track as KML, through gpsbabel as another program would write it.
    QCOMPARE(QProcess::execute("gpsbabel", { "-i", "gpx", "-f", gpx, "-o", "kml", "-F", dir->filePath("trip.kml") }), 0);
    pristine = std::move(dir);
}

void tst_vestra_tag::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    folder = dir->filePath(QStringLiteral("Fotos Zürich"));
    QVERIFY(QDir().mkpath(folder));
    const QString from = pristine->filePath(QStringLiteral("Fotos Zürich"));
    for (const QString& name : QDir(from).entryList(QDir::Files))
        QVERIFY(QFile::copy(from + '/' + name, photo(name)));
    gpx = dir->filePath("trip.gpx");
    QVERIFY(QFile::copy(pristine->filePath("trip.gpx"), gpx));
    QVERIFY(QFile::copy(pristine->filePath("trip.kml"), dir->filePath("trip.kml")));
}

void tst_vestra_tag::cleanup()
{
    if (!immutable.isEmpty())
        QProcess::execute("chattr", QStringList { "-i" } + immutable);
    immutable.clear();
    dir.reset();
}

void tst_vestra_tag::make_photos()
{
    const QList<QStringList> photos = {
        { "a.jpg", "10:00:00", "-GPSLatitude=48.1", "-GPSLatitudeRef=N", "-GPSLongitude=11.5",
            "-GPSLongitudeRef=E" },
        { "b.png", "10:02:00" },
        { "c.tif", "10:09:00" },
        { "d.jpg", "10:10:00", "-GPSLatitude=33.25", "-GPSLatitudeRef=S", "-GPSLongitude=151.5",
            "-GPSLongitudeRef=E" },
    };
    QStringList lines;
    for (const QStringList& p : photos) {
        QVERIFY(test_files::make_image(photo(p[0])));
        lines += QStringList { "-q", "-m", "-overwrite_original", "-DateTimeOriginal=2019:05:01 " + p[1] }
            + p.mid(2) + QStringList { photo(p[0]), "-execute" };
    }
    int code = -1;
    test_files::exiftool_argfile(dir->filePath("tag.args"), lines, &code);
    QCOMPARE(code, 0);

    gpx = dir->filePath("trip.gpx");
    QFile track(gpx);
    QVERIFY(track.open(QIODevice::WriteOnly));
    track.write(R"(<?xml version="1.0"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1"><trk><name>trip</name><trkseg>
<trkpt lat="47.0" lon="8.0"><time>2019-05-01T08:00:00Z</time></trkpt>
<trkpt lat="47.2" lon="8.2"><time>2019-05-01T08:01:00Z</time></trkpt>
<trkpt lat="48.0" lon="9.0"><time>2019-05-01T08:09:00Z</time></trkpt>
</trkseg></trk></gpx>
)");
}

outcome tst_vestra_tag::run(QStringList args)
{
    args.replaceInStrings("%F", folder).replaceInStrings("%G", gpx).replaceInStrings("%K", dir->filePath("trip.kml"));
    QProcess process;
    // The undo journal and the settings stay in this test's folder.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir->filePath("home"));
    env.insert("XDG_DATA_HOME", dir->filePath("data"));
    env.insert("XDG_CONFIG_HOME", dir->filePath("config"));
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationDirPath() + "/vestra-tag", args);
    const bool finished = process.waitForFinished(60000);
    const outcome result { finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError()) };
    // A run that did not end by itself says why, for a failure on a busy machine.
    if (result.code == -1)
        qWarning("vestra-tag %s: %s (exit status %d)\n%s", qPrintable(args.join(' ')),
            qPrintable(process.errorString()), process.exitCode(), qPrintable(result.err));
    return result;
}

QString tst_vestra_tag::line_of(const QString& report, const QString& name) const
{
    for (const QString& line : report.split('\n')) {
        if (line.startsWith(photo(name) + ": "))
            return line;
    }
    return {};
}

std::map<QString, QByteArray> tst_vestra_tag::checksums() const
{
    std::map<QString, QByteArray> sums;
    for (const char* name : { "a.jpg", "b.png", "c.tif", "d.jpg" })
        sums[name] = test_files::sha256(photo(name));
    return sums;
}

void tst_vestra_tag::modes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("b_from");
    QTest::addColumn<QPointF>("b_pos");
    QTest::addColumn<QString>("c_from");
    QTest::addColumn<QPointF>("c_pos");

    const QPointF a(48.1, 11.5);
    const QPointF d(-33.25, 151.5);
    const QString from_a = "from the previous photo %F/a.jpg";
    const QString from_d = "from the next photo %F/d.jpg";
    QTest::newRow("previous") << QStringList { "--mode", "previous", "%F" } << from_a << a << from_a << a;
    QTest::newRow("next") << QStringList { "--mode", "next", "%F" } << from_d << d << from_d << d;
    QTest::newRow("closest") << QStringList { "%F" } << from_a << a << from_d << d;
    QTest::newRow("position") << QStringList { "--mode", "position", "--position", "-19.5, 46.25", "%F" }
                              << "typed position" << QPointF(-19.5, 46.25) << "typed position"
                              << QPointF(-19.5, 46.25);
    QTest::newRow("position by a town's name")
        << QStringList { "--position", "Arezzo, Italy", "--place-names", "%F" } << "typed position"
        << QPointF(43.46276, 11.88068) << "typed position" << QPointF(43.46276, 11.88068);
    // Camera at UTC+2 and a minute fast: b is the track's second point, c
    // lies seven eighths of the way to the third.
    QTest::newRow("track") << QStringList { "--gpx", "%G", "--camera-zone", "+02:00", "--clock-offset",
        "00:01:00", "%F" } << "track point 2019-05-01T08:01:00Z"
                           << QPointF(47.2, 8.2) << "interpolated on the track" << QPointF(47.9, 8.9);
    QTest::newRow("track from KML, with direction") << QStringList { "--track", "%K", "--camera-zone", "+02:00",
        "--clock-offset", "00:01:00", "--direction", "%F" } << "track point 2019-05-01T08:01:00Z"
                           << QPointF(47.2, 8.2) << "interpolated on the track" << QPointF(47.9, 8.9);
    QTest::newRow("track, drifting clock") << QStringList { "--gpx", "%G", "--camera-zone", "+02:00",
        "--drift", "2019-05-01T10:00:00=2019-05-01T09:59:00,2019-05-02T10:00:00=2019-05-02T09:59:00", "%F" }
                                           << "track point 2019-05-01T08:01:00Z" << QPointF(47.2, 8.2)
                                           << "interpolated on the track" << QPointF(47.9, 8.9);
}

void tst_vestra_tag::modes()
{
    QFETCH(QStringList, args);
    QFETCH(QString, b_from);
    QFETCH(QPointF, b_pos);
    QFETCH(QString, c_from);
    QFETCH(QPointF, c_pos);

    const outcome result = run(args);
    QCOMPARE(result.code, 0);
    const auto expect = [&](const QString& name, const QString& from, const QPointF& pos) {
        const QString said = QString(from).replace("%F", folder) + "; written " + degrees(pos);
        QVERIFY2(line_of(result.out, name).contains(said), qPrintable(result.out));
        const QStringList held = position_of(name).split(' ');
        QCOMPARE(held.size(), 2);
        QVERIFY(qAbs(held[0].toDouble() - pos.x()) < 1e-6 && qAbs(held[1].toDouble() - pos.y()) < 1e-6);
    };
    expect("b.png", b_from, b_pos);
    expect("c.tif", c_from, c_pos);
    // From 47.2, 8.2 to 48.0, 9.0 (107 km) in eight minutes: north-east at about 805 km/h.
    if (args.contains("--direction")) {
        QCOMPARE(qRound(test_files::value(photo("c.tif"), "GPSTrack", true).toDouble()), 34);
        QCOMPARE(qRound(test_files::value(photo("c.tif"), "GPSSpeed", true).toDouble() / 5) * 5, 805);
    }
    if (args.contains("--place-names")) {
        QCOMPARE(test_files::value(photo("c.tif"), "IPTC:City"), QString("Arezzo"));
        QCOMPARE(test_files::value(photo("b.png"), "XMP-photoshop:Country"), QString("Italy"));
        QCOMPARE(test_files::value(photo("a.jpg"), "XMP-photoshop:City"), QString());
    }
    // Photos with a position of their own keep it.
    QVERIFY(line_of(result.out, "a.jpg").contains("own position; kept 48.10000000, 11.50000000"));
    QCOMPARE(position_of("d.jpg"), QString("-33.25 151.5"));
    QVERIFY(result.out.endsWith("2 written, 2 unchanged, 0 failed, 0 without position\n"));
}

void tst_vestra_tag::without_position_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");

    QTest::newRow("too far from the previous photo")
        << QStringList { "--mode", "previous", "--max-diff", "5", "%F" } << "too far in time from any source";
    QTest::newRow("no earlier photo with a position") << QStringList { "--mode", "previous", "%F/b.png",
        "%F/c.tif", "%F/d.jpg" } << "no photo with a position to take it from";
    // c is a minute from the nearest point; seconds count, not only minutes.
    QTest::newRow("too far from the track") << QStringList { "--gpx", "%G", "--camera-zone", "+02:00",
        "--clock-offset", "00:01:00", "--max-diff", "30s", "%F" }
                                            << "too far in time from any source";
}

void tst_vestra_tag::without_position()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);

    const auto before = checksums();
    const outcome result = run(args);
    QCOMPARE(result.code, 1);
    QVERIFY2(line_of(result.out, "c.tif").contains("no position: " + reason + "; not written"),
        qPrintable(result.out));
    QCOMPARE(checksums().at("c.tif"), before.at("c.tif"));
}

void tst_vestra_tag::bad_arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("named");

    QTest::newRow("latitude out of range") << QStringList { "--position", "91, 0", "%F" } << "91, 0";
    QTest::newRow("position with its reason")
        << QStringList { "--position", "48°61', 11", "%F" } << "minutes must be below 60";
    QTest::newRow("missing GPX file") << QStringList { "--gpx", "%F/none.gpx", "%F" } << "none.gpx";
    QTest::newRow("unknown mode") << QStringList { "--mode", "sideways", "%F" } << "sideways";
    QTest::newRow("unreadable duration") << QStringList { "--max-diff", "5x", "%F" } << "5x";
    QTest::newRow("drift running backwards") << QStringList { "--drift",
        "2019-05-02T10:00:00=2019-05-02T10:00:00,2019-05-01T10:00:00=2019-05-01T10:00:00", "%F" }
                                             << "--drift";
    QTest::newRow("unknown zone") << QStringList { "--camera-zone", "Mars/Olympus", "%F" } << "Mars/Olympus";
    QTest::newRow("missing path") << QStringList { "%F/none.jpg" } << "none.jpg";
    QTest::newRow("undo with two runs") << QStringList { "--undo", "a", "b" } << "--undo";
    QTest::newRow("town of many") << QStringList { "--position", "Springfield", "%F" } << "Springfield, Illinois";
    QTest::newRow("direction without a track") << QStringList { "--direction", "%F" } << "--direction";
    QTest::newRow("offset guessed without a track") << QStringList { "--guess-offset", "%F" } << "--guess-offset";
    QTest::newRow("track without GPX") << QStringList { "--mode", "track", "%F" } << "--gpx";
}

void tst_vestra_tag::bad_arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, named);

    const auto before = checksums();
    const outcome result = run(args);
    QCOMPARE(result.code, 2);
    QVERIFY2(result.err.contains(named), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QVERIFY(checksums() == before);
}

void tst_vestra_tag::dry_run_writes_nothing()
{
    const auto before = checksums();
    const outcome json = run({ "--dry-run", "--format", "json", "%F" });
    QCOMPARE(json.code, 0);
    QJsonParseError error;
    const QJsonDocument report = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(report.object().value("photos").toArray().size(), 4);
    const QJsonObject b = photo_entry(report, photo("b.png"));
    QCOMPARE(b.value("status").toString(), QString("would_write"));
    QCOMPARE(b.value("source").toString(), photo("a.jpg"));
    QCOMPARE(b.value("latitude").toDouble(), 48.1);
    QCOMPARE(photo_entry(report, photo("d.jpg")).value("status").toString(), QString("kept"));
    const QJsonObject summary = report.object().value("summary").toObject();
    QCOMPARE(summary.value("would_write").toInt(), 2);
    QCOMPARE(summary.value("written").toInt(), 0);

    const outcome csv = run({ "--dry-run", "--format", "csv", "--mode", "previous", "--max-diff", "5",
        "--camera-zone", "UTC", "%F" });
    QCOMPARE(csv.code, 1);
    const QStringList rows = csv.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 5);
    QVERIFY(rows[0].startsWith("path,local_time,utc_time,outcome"));
    QVERIFY(rows.contains(
        photo("c.tif") + ",2019-05-01T10:09:00,2019-05-01T10:09:00Z,none,,too_far,,,no_position,,camera"));
    QVERIFY(csv.err.contains("Dry run: 1 would be written"));

    QVERIFY(checksums() == before);
    QVERIFY(!QFileInfo::exists(dir->filePath("data/Kaltrin/Vestra/undo")));
}

// Runs are undone newest first; an older run leaves alone what a later one
// wrote again, unless forced.
void tst_vestra_tag::undo_history()
{
    QCOMPARE(run({ "--position", "-19.5, 46.25", "--overwrite", "%F" }).code, 0);
    QCOMPARE(run({ "--remove-gps", "%F" }).code, 0);
    const outcome list = run({ "--undo-list" });
    QCOMPARE(list.code, 0);
    const QStringList runs = list.out.split('\n', Qt::SkipEmptyParts).filter(" on 20");
    QCOMPARE(runs.size(), 2);
    QVERIFY2(runs[0].contains("GPS data removed from 4 photos") && runs[1].contains("4 positions written"),
        qPrintable(list.out));
    QVERIFY(runs[1].contains("written again by a later run"));
    const QString older = runs[1].section(' ', 0, 0);

    // Its photos were written again later: that run goes first.
    const outcome refused = run({ "--undo", older });
    QCOMPARE(refused.code, 1);
    QVERIFY2(line_of(refused.out, "a.jpg").contains("NOT RESTORED: Written again by a later run"), qPrintable(refused.out));
    QCOMPARE(position_of("a.jpg"), QString());

    const outcome newest = run({ "--undo" });
    QCOMPARE(newest.code, 0);
    QVERIFY2(line_of(newest.out, "a.jpg").endsWith(": restored"), qPrintable(newest.out));
    QCOMPARE(position_of("a.jpg"), QString("-19.5 46.25"));
    QCOMPARE(run({ "--undo", older }).code, 0);
    QCOMPARE(position_of("a.jpg"), QString("48.1 11.5"));
    QCOMPARE(position_of("b.png"), QString());
    // The journal is gone with the last run.
    QVERIFY(run({ "--undo-list" }).out.contains("nothing to undo"));
    const outcome again = run({ "--undo" });
    QCOMPARE(again.code, 1);
    QVERIFY(again.err.contains("nothing to undo"));
}

// The camera was set to UTC, two hours behind the track's local time.
void tst_vestra_tag::guess_offset()
{
    const auto before = checksums();
    const outcome result = run({ "--gpx", "%G", "--camera-zone", "UTC", "--overwrite", "--guess-offset", "%F" });
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.startsWith("0 of 4 photos lie on the track now. With the camera 2:0")
            && result.out.contains("\n--clock-offset +02:0"),
        qPrintable(result.out));
    QVERIFY(checksums() == before);
}

// A name that is not UTF-8 (an old card, another locale) is named, not
// dropped; nothing to load at all has an exit status of its own.
void tst_vestra_tag::names_and_nothing_to_load()
{
    const QString odd = dir->filePath("odd");
    QVERIFY(QDir().mkpath(odd));
    QVERIFY(QFile::copy(photo("b.png"), odd + "/good.png"));
    const QByteArray latin1 = QFile::encodeName(odd) + "/caf\xe9.png";
    QVERIFY(::link(QFile::encodeName(photo("c.tif")).constData(), latin1.constData()) == 0);
    // Qt cannot remove a name it cannot decode; the test's folder would stay.
    const std::unique_ptr<const char, void (*)(const char*)> unlinked(latin1.constData(), [](const char* name) { ::unlink(name); });
    const outcome result = run({ "--position", "1, 2", "--dry-run", odd });
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains("not loaded: " + odd + "/caf\\xE9.png (its name is not UTF-8"), qPrintable(result.err));
    QVERIFY2(result.out.contains("good.png: ") && result.out.contains("caf\\xE9.png: NOT LOADED"), qPrintable(result.out));

    const QString notes = dir->filePath("notes");
    QVERIFY(QDir().mkpath(notes));
    QFile text(notes + "/notes.txt");
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.close();
    const outcome none = run({ "--position", "1, 2", notes });
    QCOMPARE(none.code, 3);
    QVERIFY(none.err.contains("no photos among the paths"));
}

// Root writes through file permissions, so a read-only file is no obstacle
// here. An immutable file is; where the file system has no such flag, the
// photo becomes a text file, which exiftool refuses to write.
void tst_vestra_tag::unwritable_photo_among_others()
{
    const QString b = photo("b.png");
    if (QProcess::execute("chattr", { "+i", b }) == 0)
        immutable << b;
    if (QFile(b).open(QIODevice::Append)) {
        QFile text(b);
        QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate) && text.write("not a photo\n") > 0);
    }

    const outcome result = run({ "--position", "-19.5, 46.25", "--format", "json", "%F" });
    QCOMPARE(result.code, 1);
    const QJsonDocument report = QJsonDocument::fromJson(result.out.toUtf8());
    const QJsonObject failed = photo_entry(report, b);
    QCOMPARE(failed.value("status").toString(), QString("failed"));
    QVERIFY2(!failed.value("error").toString().isEmpty(), qPrintable(result.out));
    QCOMPARE(photo_entry(report, photo("c.tif")).value("status").toString(), QString("written"));
    QCOMPARE(report.object().value("summary").toObject().value("failed").toInt(), 1);
    QCOMPARE(position_of("c.tif"), QString("-19.5 46.25"));
}

QTEST_GUILESS_MAIN(tst_vestra_tag)
#include "tst_vestra_tag.moc"
