// Writing positions end to end: the window's sync, undo and removal handlers
// against real photo files, drawn by QImage, tagged and read back by the
// command-line exiftool.

#include "app/mainwindow.h"
#include "app/table_panel.h"
#include "dialogs/dialog_camera_clock.h"
#include "geo/gpx_parser.h"
#include "jobs/undo_journal.h"

#include "../exif/test_files.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <map>
#include <memory>

namespace {

// exiftool prints coordinates to 0.01 arc-second; a proposal from a photo
// carries what it printed.
constexpr double printed_degree = 3e-6;
// A typed position passes through a float before it is written.
constexpr double typed_degree = 1e-5;

using tag_values = QJsonObject;

struct photo {
    QString name; // inside the photo folder; the suffix picks the format
    QString recorded; // DateTimeOriginal as exiftool writes it
    QStringList tags; // further exiftool assignments
};

QStringList position_tags(double lat, double lon)
{
    return { QStringLiteral("-GPSLatitude=%1").arg(std::fabs(lat), 0, 'f', 6),
        QStringLiteral("-GPSLatitudeRef=%1").arg(lat < 0 ? 'S' : 'N'),
        QStringLiteral("-GPSLongitude=%1").arg(std::fabs(lon), 0, 'f', 6),
        QStringLiteral("-GPSLongitudeRef=%1").arg(lon < 0 ? 'W' : 'E') };
}

// One value for each of the 32 tags that undo restores; the area's text has
// letters outside ASCII and an equals sign, which the journal must carry.
const QStringList all_gps_tags = { "-GPSAltitude=512.37", "-GPSAltitudeRef=0",
    "-GPSAreaInformation=Altstadt Zürich – Weg=Ziel", "-GPSDOP=2.5", "-GPSDateStamp=2019:05:01",
    "-GPSDestBearing=123.45", "-GPSDestBearingRef=T", "-GPSDestDistance=3.25", "-GPSDestDistanceRef=K",
    "-GPSDestLatitude=47.123456", "-GPSDestLatitudeRef=S", "-GPSDestLongitude=8.654321",
    "-GPSDestLongitudeRef=W", "-GPSDifferential#=1", "-GPSHPositioningError=4.5", "-GPSImgDirection=271.5",
    "-GPSImgDirectionRef=M", "-GPSLatitude=48.136761", "-GPSLatitudeRef=N", "-GPSLongitude=11.582439",
    "-GPSLongitudeRef=E", "-GPSMapDatum=WGS-84", "-GPSMeasureMode=3", "-GPSProcessingMethod=GPS",
    "-GPSSatellites=07", "-GPSSpeed=12.5", "-GPSSpeedRef#=K", "-GPSStatus#=A", "-GPSTimeStamp=10:00:00.53",
    "-GPSTrack=88.25", "-GPSTrackRef=T", "-GPSVersionID=2.3.0.0" };

bool has_position(const tag_values& tags)
{
    return tags.contains("Composite:GPSLatitude") && tags.contains("Composite:GPSLongitude");
}

QStringList gps_keys(const tag_values& tags)
{
    QStringList keys;
    for (const QString& key : tags.keys()) {
        if (key.startsWith("GPS:"))
            keys << key;
    }
    return keys;
}

// Everything but what the file system says about the file.
tag_values without_file_system(tag_values tags)
{
    for (const QString& key : tags.keys()) {
        if (key.startsWith("System:"))
            tags.remove(key);
    }
    return tags;
}

// Compares the GPS group of two numerical readings of a file: undo restores
// every value exactly.
QString gps_difference(const tag_values& expected, const tag_values& actual)
{
    QStringList keys = gps_keys(expected) + gps_keys(actual);
    keys.removeDuplicates();
    for (const QString& key : keys) {
        const QJsonValue want = expected.value(key);
        const QJsonValue got = actual.value(key);
        if (want.isUndefined() || got.isUndefined())
            return QStringLiteral("%1 only in the %2 reading")
                .arg(key, want.isUndefined() ? "second" : "first");
        if (want.isDouble() && got.isDouble()) {
            if (std::fabs(want.toDouble() - got.toDouble()) > 1e-12)
                return QStringLiteral("%1: %2 != %3")
                    .arg(key)
                    .arg(want.toDouble(), 0, 'g', 12)
                    .arg(got.toDouble(), 0, 'g', 12);
        } else if (want != got) {
            return QStringLiteral("%1: %2 != %3")
                .arg(key, want.toVariant().toString(), got.toVariant().toString());
        }
    }
    return {};
}

// Answers the window's message boxes in order by clicking the button with the
// given text. A box nobody expected gets Escape, so the test fails instead of
// waiting forever.
class box_answerer : public QObject {
public:
    struct box_seen {
        QString title;
        QString text;
        QString details;
    };

    explicit box_answerer(const QStringList& answers = {})
        : answers(answers)
    {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, &box_answerer::poll);
        timer.start();
    }

    QStringList answers;
    QList<box_seen> seen;
    int unexpected = 0;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        seen.append({ box->windowTitle(), box->text(), box->detailedText() });
        if (!answers.isEmpty()) {
            const QString answer = answers.takeFirst();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text().remove('&') == answer) {
                    button->click();
                    return;
                }
            }
        }
        ++unexpected;
        QTest::keyClick(box, Qt::Key_Escape);
    }

    QTimer timer;
};

} // namespace

class tst_sync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sync_from_sources_data();
    void sync_from_sources();
    void typed_position_data();
    void typed_position();
    void questions_data();
    void questions();
    void remove_all_gps_data();
    void remove_all_gps();
    void removal_with_no_photos_asks_nothing();
    void failed_writes_data();
    void failed_writes();
    void sync_without_writes_adds_no_run();
    void sync_from_track();
    void decisions_per_photo_data();
    void decisions_per_photo();

private:
    QStringList create(const QList<photo>& photos);
    std::map<QString, tag_values> read(const QStringList& paths);
    std::map<QString, QByteArray> checksums(const QStringList& paths);
    bool make_unwritable(const QStringList& paths);
    void load(const QStringList& paths);
    void choose_mode(int mode);
    void type_position(const QString& lat, const QString& lon);
    QAbstractItemModel* table() const;
    // After a write the table stays, with a line on what happened.
    bool kept_with_summary() const;
    QAbstractButton* button(const char* name) const;

    QTemporaryDir settings_dir;
    std::unique_ptr<QTemporaryDir> dir;
    QString folder;
    std::unique_ptr<MainWindow> window;
    QStringList immutable;
    bool chattr_works = true;
};

void tst_sync::initTestCase()
{
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setApplicationName("Vestra");
    // The mode radios save the settings; keep them away from the user's own.
    QVERIFY(settings_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    int code = -1;
    test_files::exiftool({ "-ver" }, &code);
    QVERIFY2(code == 0, "the tests need the exiftool command");
}

void tst_sync::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    // A journal left by the case before would enable undo at the start.
    QDir(undo_journal::default_folder()).removeRecursively();
    // Every photo lives under a path with spaces and letters outside ASCII.
    folder = dir->path() + QStringLiteral("/Reise nach Zürich – Tag 1");
    QVERIFY(QDir().mkpath(folder));
    window = std::make_unique<MainWindow>();
    window->on_button_reset_clicked();
}

void tst_sync::cleanup()
{
    if (!immutable.isEmpty()) {
        QProcess::execute("chattr", QStringList { "-i" } + immutable);
        immutable.clear();
    }
    window.reset();
    dir.reset();
}

QStringList tst_sync::create(const QList<photo>& photos)
{
    QStringList paths;
    QStringList lines { "-q", "-m", "-overwrite_original" };
    for (const photo& p : photos) {
        const QString path = folder + '/' + p.name;
        QImage image(32, 24, QImage::Format_RGB32);
        image.fill(QColor(40, 90, 160));
        if (!image.save(path)) {
            qWarning() << "cannot draw" << path;
            return {};
        }
        paths << path;
        lines << QStringLiteral("-DateTimeOriginal=%1").arg(p.recorded) << p.tags << path << "-execute";
    }
    int code = -1;
    test_files::exiftool_argfile(dir->filePath("tag.args"), lines, &code);
    if (code != 0) {
        qWarning() << "exiftool could not tag the photos";
        return {};
    }
    return paths;
}

std::map<QString, tag_values> tst_sync::read(const QStringList& paths)
{
    const QByteArray json = test_files::exiftool_argfile(
        dir->filePath("read.args"), QStringList { "-j", "-n", "-G1", "-a", "-q" } + paths).toUtf8();
    std::map<QString, tag_values> result;
    for (const QJsonValue& entry : QJsonDocument::fromJson(json).array()) {
        const QJsonObject tags = entry.toObject();
        result[tags.value("SourceFile").toString()] = tags;
    }
    return result;
}

std::map<QString, QByteArray> tst_sync::checksums(const QStringList& paths)
{
    std::map<QString, QByteArray> result;
    for (const QString& path : paths)
        result[path] = test_files::sha256(path);
    return result;
}

// Root writes through file permissions, so a read-only file is no obstacle
// here. An immutable file is; where the file system has no such flag, the
// photo becomes a text file, which exiftool refuses to write.
bool tst_sync::make_unwritable(const QStringList& paths)
{
    if (chattr_works && QProcess::execute("chattr", QStringList { "+i" } + paths) == 0) {
        immutable << paths;
        bool all = true;
        for (const QString& path : paths)
            all = all && !QFile(path).open(QIODevice::Append);
        if (all)
            return true;
    }
    if (chattr_works) {
        qInfo("chattr +i is of no use here; unwritable photos are text files");
        chattr_works = false;
    }
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write("not a photo\n") < 0)
            return false;
    }
    return true;
}

void tst_sync::load(const QStringList& paths)
{
    window->on_button_reset_clicked();
    window->load_files(paths);
}

void tst_sync::choose_mode(int mode)
{
    const char* const radios[]
        = { "radio_gps_use_prev", "radio_gps_use_next", "radio_gps_use_closest", "radio_gps_set" };
    button(radios[mode])->click();
}

void tst_sync::type_position(const QString& lat, const QString& lon)
{
    window->findChild<QLineEdit*>("lineedit_lat")->setText(lat);
    window->findChild<QLineEdit*>("lineedit_lon")->setText(lon);
}

QAbstractItemModel* tst_sync::table() const
{
    return window->findChild<QTableView*>("table_view")->model();
}

bool tst_sync::kept_with_summary() const
{
    const QString summary = window->findChild<QLabel*>("label_summary")->text();
    if (table()->rowCount() == 0 || !(summary.startsWith("Last write") || summary.startsWith("Undone")))
        qWarning() << table()->rowCount() << summary;
    return table()->rowCount() > 0 && (summary.startsWith("Last write") || summary.startsWith("Undone"));
}

QAbstractButton* tst_sync::button(const char* name) const
{
    return window->findChild<QAbstractButton*>(name);
}

void tst_sync::sync_from_sources_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("suffix");
    // Which source (1 at 10:00, 2 at 10:06) the photos of 10:01 and 10:05 take.
    QTest::addColumn<int>("source_a");
    QTest::addColumn<int>("source_b");

    // Each kind of file once; the bridge tests cover every kind in every way.
    QTest::newRow("previous, jpg") << 0 << "jpg" << 1 << 1;
    QTest::newRow("next, png") << 1 << "png" << 2 << 2;
    QTest::newRow("closest, tif") << 2 << "tif" << 1 << 2;
}

void tst_sync::sync_from_sources()
{
    QFETCH(int, mode);
    QFETCH(QString, suffix);
    QFETCH(int, source_a);
    QFETCH(int, source_b);

    const double lat[] = { 0, 48.5, -33.8568 };
    const double lon[] = { 0, 11.25, -70.6483 };
    const QStringList paths = create({
        { "Quelle eins." + suffix, "2019:05:01 10:00:00",
            position_tags(lat[1], lon[1]) + QStringList { "-GPSAltitude=500" } },
        { "Ohne GPS ä." + suffix, "2019:05:01 10:01:00", {} },
        { "Ohne GPS ö." + suffix, "2019:05:01 10:05:00", {} },
        { "Quelle zwei." + suffix, "2019:05:01 10:06:00", position_tags(lat[2], lon[2]) },
    });
    QCOMPARE(paths.size(), 4);
    const QString &a = paths[1], &b = paths[2];
    const QStringList sources { paths[0], paths[3] };
    const auto sources_before = checksums(sources);

    load(paths);
    choose_mode(mode);
    QCOMPARE(table()->rowCount(), 4);
    QVERIFY(!button("button_undo")->isEnabled());

    box_answerer answerer;
    button("button_sync")->click();
    QCOMPARE(answerer.seen.size(), 0);
    QVERIFY(kept_with_summary());
    // The rows show the photos as they are now: written positions are their own.
    for (int row = 0; row < 4; ++row)
        QCOMPARE(table()->index(row, 2).data().toString().left(1), QString("←"));
    QVERIFY2(window->findChild<QLabel*>("label_summary")->text().contains("2 positions written, of 4 photos; 2 kept their own"),
        qPrintable(window->findChild<QLabel*>("label_summary")->text()));
    QVERIFY(button("button_undo")->isEnabled());
    QVERIFY(checksums(sources) == sources_before);

    auto after = read(paths);
    for (const auto& [path, source] : { std::pair { a, source_a }, std::pair { b, source_b } }) {
        const tag_values& tags = after[path];
        QVERIFY2(has_position(tags), qPrintable(path));
        QVERIFY(std::fabs(tags["Composite:GPSLatitude"].toDouble() - lat[source]) < printed_degree);
        QVERIFY(std::fabs(tags["Composite:GPSLongitude"].toDouble() - lon[source]) < printed_degree);
        QCOMPARE(tags["GPS:GPSLatitudeRef"].toString(), QString(lat[source] < 0 ? "S" : "N"));
        QCOMPARE(tags["GPS:GPSLongitudeRef"].toString(), QString(lon[source] < 0 ? "W" : "E"));
        // Only the position travels, not the source's altitude.
        QVERIFY(!tags.contains("GPS:GPSAltitude"));
        QCOMPARE(tags["ExifIFD:DateTimeOriginal"].toString(),
            QString(path == a ? "2019:05:01 10:01:00" : "2019:05:01 10:05:00"));
    }

    button("button_undo")->click();
    QVERIFY(!button("button_undo")->isEnabled());
    QCOMPARE(answerer.seen.size(), 0);
    after = read(paths);
    QCOMPARE(gps_keys(after[a]), QStringList());
    QCOMPARE(gps_keys(after[b]), QStringList());
    QVERIFY(checksums(sources) == sources_before);
}

void tst_sync::typed_position_data()
{
    QTest::addColumn<QString>("lat_text");
    QTest::addColumn<QString>("lon_text");
    QTest::addColumn<bool>("expect_position");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");

    QTest::newRow("decimal, south and east") << "-33.8568"
                                             << "151.2153" << true << -33.8568 << 151.2153;
    QTest::newRow("seconds with spaces, west") << "51° 28' 40\" N"
                                               << "0° 7' 39\" W" << true << 51.477778 << -0.1275;
    QTest::newRow("latitude empty: GPS cleared") << ""
                                                 << "151.2153" << false << 0.0 << 0.0;
}

void tst_sync::typed_position()
{
    QFETCH(QString, lat_text);
    QFETCH(QString, lon_text);
    QFETCH(bool, expect_position);
    QFETCH(double, lat);
    QFETCH(double, lon);

    const QStringList paths = create({
        { "Mit GPS.jpg", "2019:05:01 10:00:00",
            position_tags(48.5, 11.25)
                + QStringList { "-GPSAltitude=512.3", "-GPSAltitudeRef=0", "-GPSImgDirection=271.5" } },
        { "Ohne GPS.png", "2019:05:01 10:05:00", {} },
        { "Nur Höhe.tif", "2019:05:01 10:10:00", { "-GPSAltitude=12.5", "-GPSAltitudeRef=0" } },
    });
    QCOMPARE(paths.size(), 3);
    const auto before = read(paths);

    load(paths);
    choose_mode(3);
    type_position(lat_text, lon_text);

    box_answerer answerer({ "Continue" });
    button("button_sync")->click();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QString("Continue?"));
    QCOMPARE(
        answerer.seen[0].text, QString("Some photos have a position of their own, which would be replaced."));
    QVERIFY(kept_with_summary());
    QVERIFY(button("button_undo")->isEnabled());

    auto after = read(paths);
    for (const QString& path : paths) {
        const tag_values& tags = after[path];
        QCOMPARE(has_position(tags), expect_position);
        if (expect_position) {
            QVERIFY2(
                std::fabs(tags["Composite:GPSLatitude"].toDouble() - lat) < typed_degree, qPrintable(path));
            QVERIFY2(
                std::fabs(tags["Composite:GPSLongitude"].toDouble() - lon) < typed_degree, qPrintable(path));
        }
        for (const char* gone : { "GPS:GPSAltitude", "GPS:GPSAltitudeRef", "GPS:GPSImgDirection" })
            QVERIFY2(!tags.contains(gone), gone);
        QCOMPARE(tags["ExifIFD:DateTimeOriginal"], before.at(path)["ExifIFD:DateTimeOriginal"]);
    }

    button("button_undo")->click();
    QVERIFY(!button("button_undo")->isEnabled());
    after = read(paths);
    for (const QString& path : paths)
        QVERIFY2(gps_difference(before.at(path), after[path]).isEmpty(),
            qPrintable(path + ": " + gps_difference(before.at(path), after[path])));
    QCOMPARE(after[paths[0]]["GPS:GPSAltitude"].toDouble(), 512.3);
    QCOMPARE(after[paths[2]]["GPS:GPSAltitude"].toDouble(), 12.5);
    QVERIFY(!has_position(after[paths[1]]));
    QVERIFY(!has_position(after[paths[2]]));
}

void tst_sync::questions_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("written");

    const QString unassigned
        = "Not every photo gets a position in the current mode.";
    const QString overwrite = "Some photos have a position of their own, which would be replaced.";
    QTest::newRow("unassigned, continue anyway") << 0 << "Continue anyway" << unassigned << true;
    QTest::newRow("unassigned, select a different mode")
        << 0 << "Select a different mode" << unassigned << false;
    QTest::newRow("overwrite, abort") << 3 << "Abort" << overwrite << false;
}

void tst_sync::questions()
{
    QFETCH(int, mode);
    QFETCH(QString, answer);
    QFETCH(QString, question);
    QFETCH(bool, written);

    // In mode 0 the early photo has no source before it; it carries an
    // altitude but no position of its own.
    const QStringList paths = create({
        { "Früh.jpg", "2019:05:01 09:00:00",
            { "-GPSAltitude=250", "-GPSAltitudeRef=0", "-Artist=K. Muster" } },
        { "Quelle.jpg", "2019:05:01 10:00:00", position_tags(-12.5, -45.25) },
        { "Spät.jpg", "2019:05:01 11:00:00", { "-Artist=K. Muster" } },
    });
    QCOMPARE(paths.size(), 3);
    const auto bytes_before = checksums(paths);
    const auto before = read(paths);

    load(paths);
    choose_mode(mode);
    type_position("1.5", "2.5");

    box_answerer answerer({ answer });
    button("button_sync")->click();
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QString("Continue?"));
    QCOMPARE(answerer.seen[0].text, question);

    if (!written) {
        QVERIFY(checksums(paths) == bytes_before);
        QCOMPARE(table()->rowCount(), 3);
        QVERIFY(!button("button_undo")->isEnabled());
        return;
    }

    QVERIFY(kept_with_summary());
    QVERIFY(button("button_undo")->isEnabled());
    const auto after = read(paths);
    // No proposal: empty position tags are written, nothing else goes.
    QVERIFY(!has_position(after.at(paths[0])));
    QCOMPARE(without_file_system(after.at(paths[0])), without_file_system(before.at(paths[0])));
    QVERIFY(test_files::sha256(paths[1]) == bytes_before.at(paths[1]));
    const tag_values& late = after.at(paths[2]);
    QVERIFY(has_position(late));
    QVERIFY(std::fabs(late["Composite:GPSLatitude"].toDouble() + 12.5) < printed_degree);
    QVERIFY(std::fabs(late["Composite:GPSLongitude"].toDouble() + 45.25) < printed_degree);
    QCOMPARE(late["IFD0:Artist"].toString(), QString("K. Muster"));
}

void tst_sync::remove_all_gps_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void tst_sync::remove_all_gps()
{
    QFETCH(bool, confirm);

    const QStringList paths = create({
        { "Alle Tags.jpg", "2019:05:01 10:00:00", all_gps_tags },
        { "Süd West.png", "2019:05:01 10:01:00",
            position_tags(-33.8568, -70.6483) + QStringList { "-GPSAltitude=12.3", "-GPSAltitudeRef=1" } },
        { "Position.tif", "2019:05:01 10:02:00", position_tags(46.501222, 6.25) },
        { "Ohne GPS.jpg", "2019:05:01 10:03:00", {} },
    });
    QCOMPARE(paths.size(), 4);
    const auto bytes_before = checksums(paths);
    const auto before = read(paths);
    QCOMPARE(gps_keys(before.at(paths[0])).size(), 32);

    load(paths);
    box_answerer answerer({ confirm ? "Yes" : "No" });
    window->on_label_delete_gps();
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QString("Confirm"));
    QCOMPARE(answerer.seen[0].text,
        QString("Do you really want to delete all GPS information from all currently loaded (4) images?"));

    if (!confirm) {
        QVERIFY(checksums(paths) == bytes_before);
        QCOMPARE(table()->rowCount(), 4);
        QVERIFY(!button("button_undo")->isEnabled());
        return;
    }

    QVERIFY(kept_with_summary());
    QVERIFY(button("button_undo")->isEnabled());
    auto after = read(paths);
    for (const QString& path : paths) {
        QCOMPARE(gps_keys(after[path]), QStringList());
        QCOMPARE(after[path]["ExifIFD:DateTimeOriginal"], before.at(path)["ExifIFD:DateTimeOriginal"]);
    }

    button("button_undo")->click();
    QVERIFY(!button("button_undo")->isEnabled());
    QCOMPARE(answerer.seen.size(), 1);
    after = read(paths);
    for (const QString& path : paths)
        QVERIFY2(gps_difference(before.at(path), after[path]).isEmpty(),
            qPrintable(path + ": " + gps_difference(before.at(path), after[path])));
    QCOMPARE(gps_keys(after[paths[0]]).size(), 32);
}

void tst_sync::removal_with_no_photos_asks_nothing()
{
    box_answerer answerer;
    window->on_label_delete_gps();
    QTest::qWait(50);
    QCOMPARE(answerer.seen.size(), 0);
    QVERIFY(!button("button_undo")->isEnabled());
}

void tst_sync::failed_writes_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("unwritable");

    QTest::newRow("sync, one file") << "sync" << 1;
    QTest::newRow("removal, one file") << "removal" << 1;
    QTest::newRow("undo, one file") << "undo" << 1;
    QTest::newRow("removal, twelve files") << "removal" << 12;
}

void tst_sync::failed_writes()
{
    QFETCH(QString, operation);
    QFETCH(int, unwritable);

    // Sync and undo start from photos without GPS, removal from photos with it.
    const QStringList gps = operation == "removal" ? position_tags(10.5, 20.5) : QStringList();
    QList<photo> photos = {
        { "Erste.jpg", "2019:05:01 10:00:00", gps },
        { "Zweite.png", "2019:05:01 10:01:00", gps },
        { "Dritte.tif", "2019:05:01 10:02:00", gps },
    };
    for (int i = 0; i < unwritable; ++i)
        photos.append({ QStringLiteral("Gesperrt %1.jpg").arg(i + 1, 2, 10, QChar('0')),
            QStringLiteral("2019:05:01 11:%1:00").arg(i, 2, 10, QChar('0')), gps });
    const QStringList paths = create(photos);
    QCOMPARE(paths.size(), 3 + unwritable);
    const QStringList writable = paths.mid(0, 3);
    const QStringList locked = paths.mid(3);

    load(paths);
    choose_mode(3);
    type_position("-33.8568", "151.2153");

    box_answerer answerer;
    if (operation == "undo") {
        button("button_sync")->click();
        QCOMPARE(answerer.seen.size(), 0);
    }
    QVERIFY(make_unwritable(locked));
    const auto locked_before = checksums(locked);

    answerer.answers = operation == "removal" ? QStringList { "Yes", "OK" } : QStringList { "OK" };
    if (operation == "sync")
        button("button_sync")->click();
    else if (operation == "removal")
        window->on_label_delete_gps();
    else
        button("button_undo")->click();
    QCOMPARE(answerer.unexpected, 0);
    QVERIFY(answerer.answers.isEmpty());
    QCOMPARE(answerer.seen.size(), operation == "removal" ? 2 : 1);

    const box_answerer::box_seen& warning = answerer.seen.last();
    QCOMPARE(warning.title, QString("Files not changed"));
    QVERIFY2(warning.text.startsWith(QString::number(unwritable) + ' '), qPrintable(warning.text));
    int listed = 0;
    for (const QString& path : locked)
        listed += warning.text.contains(QDir::toNativeSeparators(path)) ? 1 : 0;
    QCOMPARE(listed, std::min(unwritable, 10));
    if (unwritable > 10)
        QVERIFY(warning.text.contains(QStringLiteral("and %1 more").arg(unwritable - 10)));
    for (const QString& path : writable)
        QVERIFY2(!warning.text.contains(QDir::toNativeSeparators(path)), qPrintable(path));
    // The details give every file with exiftool's reason.
    for (const QString& path : locked)
        QVERIFY2(warning.details.contains(QDir::toNativeSeparators(path) + ": "), qPrintable(warning.details));

    QVERIFY(checksums(locked) == locked_before);
    const auto after = read(writable);
    for (const QString& path : writable) {
        // Sync gives the typed position; removal and undo take it away.
        QCOMPARE(has_position(after.at(path)), operation == "sync");
    }
    // What was written can be undone; what undo could not restore stays for another try.
    QVERIFY(button("button_undo")->isEnabled());
    QVERIFY(kept_with_summary());
}

void tst_sync::sync_without_writes_adds_no_run()
{
    const QStringList paths = create({
        { "Quelle.jpg", "2019:05:01 10:00:00", position_tags(48.5, 11.25) },
        { "Ohne GPS.jpg", "2019:05:01 10:05:00", {} },
    });
    QCOMPARE(paths.size(), 2);

    load(paths);
    choose_mode(2);
    box_answerer answerer;
    button("button_sync")->click();
    QVERIFY(button("button_undo")->isEnabled());

    // Loading again leaves the undo data alone; now both photos carry their
    // own position, so a second sync writes nothing and adds no run to undo.
    load(paths);
    QVERIFY(button("button_undo")->isEnabled());
    QCOMPARE(table()->rowCount(), 2);
    const auto bytes_before = checksums(paths);
    button("button_sync")->click();
    QCOMPARE(answerer.seen.size(), 0);
    QVERIFY(checksums(paths) == bytes_before);
    QVERIFY(kept_with_summary());
    QVERIFY(button("button_undo")->isEnabled());
    QVERIFY2(button("button_undo")->toolTip().contains("1 position written"), qPrintable(button("button_undo")->toolTip()));
}

// The track mode against exiftool's own geotagging of copies of the photos:
// same positions, altitudes and GPS times.
void tst_sync::sync_from_track()
{
    const QString gpx_path = dir->filePath("track.gpx");
    QFile gpx(gpx_path);
    QVERIFY(gpx.open(QIODevice::WriteOnly));
    gpx.write(R"(<?xml version="1.0"?><gpx version="1.1" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>
<trkpt lat="48.0" lon="11.0"><ele>500</ele><time>2019-05-01T08:00:00Z</time></trkpt>
<trkpt lat="48.1" lon="11.2"><ele>520</ele><time>2019-05-01T08:10:00Z</time></trkpt>
<trkpt lat="48.2" lon="11.1"><ele>480</ele><time>2019-05-01T08:20:00Z</time></trkpt>
<trkpt lat="48.25" lon="11.3"><ele>-5</ele><time>2019-05-01T08:40:00Z</time></trkpt>
</trkseg></trk></gpx>)");
    gpx.close();

    // The camera ran on UTC+2 and a minute ahead; the phone photo says its zone.
    const QStringList paths = create({
        { "Zwischen.jpg", "2019:05:01 10:05:30", {} },
        { "Punkt.png", "2019:05:01 10:11:00", {} },
        { "Lücke.tif", "2019:05:01 10:31:00", {} },
        { "Telefon.jpg", "2019:05:01 09:16:00", { "-OffsetTimeOriginal=+01:00" } },
        { "Eigene.jpg", "2019:05:01 10:06:00", position_tags(-1.5, -2.5) },
        { "Abends.jpg", "2019:05:01 14:00:00", {} },
    });
    QCOMPARE(paths.size(), 6);
    const QStringList tagged = paths.mid(0, 4);
    const QStringList kept = paths.mid(4);
    const auto kept_before = checksums(kept);

    // exiftool geotags copies; geosync is what it adds to photo times.
    QStringList lines;
    for (const QString& path : tagged) {
        const QString zone = path.contains("Telefon") ? "+01:00" : "+02:00";
        lines << "-q" << "-m" << "-o" << dir->filePath("oracle/") << "-geotag" << gpx_path << "-geosync=-1:00"
              << "-Geotime<${DateTimeOriginal}" + zone << path << "-execute";
    }
    test_files::exiftool_argfile(dir->filePath("oracle.args"), lines);
    QStringList oracle_paths;
    for (const QString& path : tagged)
        oracle_paths << dir->filePath("oracle/" + QFileInfo(path).fileName());
    const auto oracle = read(oracle_paths);

    load(paths);
    window->set_camera_clock(*camera_clock::from_zone_text("UTC+02:00"));
    const gpx_parser parser(gpx_path);
    window->use_tracks(parser.tracks, "Test");
    QVERIFY(button("radio_gps_gpx")->isChecked());

    // The offset comes from the photo taken at 08:10 UTC.
    QTimer::singleShot(0, [this] {
        auto* dialog = qobject_cast<dialog_camera_clock*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        int index = -1;
        for (int row = 0; row < table()->rowCount(); ++row) {
            if (table()->index(row, 0).data().toString() == "Punkt.png")
                index = row;
        }
        dialog->use_photo(index, QDateTime(QDate(2019, 5, 1), QTime(10, 10)));
        dialog->accept();
    });
    button("button_camera_clock")->click();
    QCOMPARE(QSettings().value("camera_clock_offset").toString(), QString("+00:01:00"));

    box_answerer answerer({ "Continue anyway" });
    button("button_sync")->click();
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY(checksums(kept) == kept_before);

    auto after = read(paths);
    const QStringList utc_times { "08:04:30", "08:10:00", "08:30:00", "08:15:00" };
    for (int i = 0; i < tagged.size(); ++i) {
        const tag_values& ours = after[tagged[i]];
        const tag_values& theirs = oracle.at(oracle_paths[i]);
        QVERIFY2(has_position(ours) && has_position(theirs), qPrintable(tagged[i]));
        for (const char* key : { "Composite:GPSLatitude", "Composite:GPSLongitude" })
            QVERIFY2(std::fabs(ours[key].toDouble() - theirs[key].toDouble()) < 1e-6,
                qPrintable(tagged[i] + ' ' + key));
        QVERIFY2(std::fabs(ours["Composite:GPSAltitude"].toDouble() - theirs["Composite:GPSAltitude"].toDouble())
                < 0.01,
            qPrintable(tagged[i]));
        QCOMPARE(ours["GPS:GPSDateStamp"].toString(), QString("2019:05:01"));
        QCOMPARE(ours["GPS:GPSTimeStamp"].toString(), utc_times[i]);
    }

    button("button_undo")->click();
    after = read(paths);
    for (const QString& path : tagged)
        QCOMPARE(gps_keys(after[path]), QStringList());
    QVERIFY(checksums(kept) == kept_before);
}

// Placing the selection by hand asks before replacing a photo's own
// position; a left-out photo is not touched; the others follow the mode.
void tst_sync::decisions_per_photo_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("own_replaced");
    QTest::newRow("only the others") << "Only the others" << false;
    QTest::newRow("replace") << "Replace" << true;
}

void tst_sync::decisions_per_photo()
{
    QFETCH(QString, answer);
    QFETCH(bool, own_replaced);
    const QStringList paths = create({
        { "own.jpg", "2019:05:01 10:00:00", position_tags(48.5, 11.25) },
        { "placed.jpg", "2019:05:01 10:01:00", {} },
        { "left out.jpg", "2019:05:01 10:02:00", {} },
        { "copied.jpg", "2019:05:01 10:03:00", {} },
    });
    load(paths);
    choose_mode(0);
    const auto left_out_before = checksums({ paths[2] });
    auto* panel = window->photos_panel();
    panel->select_paths({ paths[0], paths[1] });
    {
        box_answerer answerer({ answer });
        window->place_photos(panel->selected_paths(), -33.5, 151.25);
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(answerer.seen[0].text.startsWith("own.jpg has a position of its own"));
    }
    QCOMPARE(table()->index(1, 2).data().toString().left(1), QString("◆"));
    QCOMPARE(table()->index(0, 2).data().toString().left(1), QString(own_replaced ? "◆" : "←"));
    // The check box leaves a photo out.
    QVERIFY(table()->setData(table()->index(2, 0), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(table()->index(2, 2).data().toString().left(1), QString("∅"));
    // The filter shows only the photo still without a position.
    panel->set_only_without_position(true);
    QList<bool> hidden;
    for (int row = 0; row < 4; ++row)
        hidden << panel->view()->isRowHidden(row);
    QCOMPARE(hidden, (QList<bool> { true, true, false, true }));
    panel->set_only_without_position(false);
    QVERIFY(!panel->view()->isRowHidden(0));

    {
        box_answerer answerer;
        button("button_sync")->click();
        QCOMPARE(answerer.seen.size(), 0);
    }
    auto after = read(paths);
    QVERIFY(checksums({ paths[2] }) == left_out_before);
    QCOMPARE(after[paths[1]]["Composite:GPSLatitude"].toDouble(), -33.5);
    // Written, the hand-set position is the photo's own.
    QCOMPARE(table()->index(1, 2).data().toString().left(1), QString("←"));
    QCOMPARE(after[paths[0]]["Composite:GPSLatitude"].toDouble(), own_replaced ? -33.5 : 48.5);
    // copied.jpg took the previous photo's position as it was before the write.
    QCOMPARE(after[paths[3]]["Composite:GPSLatitude"].toDouble(), 48.5);
    const QString summary = window->findChild<QLabel*>("label_summary")->text();
    QVERIFY2(summary.contains(own_replaced ? "3 positions written, of 4 photos; 1 left out of the write"
                                           : "2 positions written, of 4 photos; 1 kept its own, 1 left out of the write"),
        qPrintable(summary));

    // Removing all GPS data spares the photo left out, and says so.
    box_answerer removal({ "Yes" });
    window->on_label_delete_gps();
    QVERIFY(removal.seen.value(0).text.endsWith("1 photo left out of the write is not changed."));
    QVERIFY(checksums({ paths[2] }) == left_out_before);
    QVERIFY(!has_position(read({ paths[1] })[paths[1]]));
}

QTEST_MAIN(tst_sync)
#include "tst_sync.moc"
