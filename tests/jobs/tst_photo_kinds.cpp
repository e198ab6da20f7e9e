// Every kind of photo a photographer has, through the real ExifTool: each is
// loaded, gets its position written and verified, and the undo puts it back.
// A raw file can keep its position in an XMP sidecar instead, never touched.

#include "jobs/photo_jobs.h"

#include "../exif/test_files.h"

#include <QCryptographicHash>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

QByteArray box(const char* type, const QByteArray& payload)
{
    QByteArray out;
    const quint32 size = quint32(8 + payload.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((size >> shift) & 0xff));
    return out + QByteArray(type, 4) + payload;
}

QByteArray be32(quint32 value)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
    return out;
}

// The smallest film ExifTool takes: a file type box, a movie header and no media.
bool make_video(const QString& path)
{
    QByteArray header = QByteArray(4, '\0') + be32(3600000000u) + be32(3600000000u) + be32(1000) + be32(0)
        + be32(0x00010000) + QByteArray("\x01\x00", 2) + QByteArray(10, '\0');
    for (const quint32 m : { 0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u })
        header += be32(m);
    header += QByteArray(24, '\0') + be32(2);
    QFile file(path);
    return file.open(QIODevice::WriteOnly)
        && file.write(box("ftyp", QByteArray("isom") + be32(512) + "isomiso2mp41") + box("moov", box("mvhd", header))
               + box("mdat", {}))
        > 0;
}

bool run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray sha(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

} // namespace

class tst_photo_kinds : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void every_kind_data();
    void every_kind();
    void raw_position_in_a_sidecar();
    void place_names_data();
    void place_names();

private:
    // Makes the photo; false when nothing on this machine can.
    bool make(const QString& kind, const QString& path);

    QTemporaryDir dir;
    std::shared_ptr<kal::_exiftool2> bridge;
};

void tst_photo_kinds::initTestCase()
{
    QVERIFY(dir.isValid());
    bridge = std::make_shared<kal::_exiftool2>(1);
    // The kinds come from the ExifTool in use.
    for (const char* kind : { "jpg", "heic", "avif", "webp", "dng", "cr3", "nef", "mp4", "mov", "png", "tif" })
        QVERIFY2(bridge->file_types().writable.contains(QString::fromLatin1(kind)), kind);
    QVERIFY(!bridge->file_types().writable.contains("avi"));
}

bool tst_photo_kinds::make(const QString& kind, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString png = path + ".png";
    if (kind == "heic" || kind == "avif") {
        if (!test_files::make_image(png, 64, 64))
            return false;
        const QStringList args = kind == "avif" ? QStringList { "-A", "-p", "chroma=422", "-o", path, png }
                                                : QStringList { "-o", path, png };
        return run("heif-enc", args) && QFile::remove(png);
    }
    if (kind == "webp")
        return QImageWriter::supportedImageFormats().contains("webp") && test_files::make_image(path);
    if (kind == "dng") {
        // A TIFF that ExifTool treats as the raw kind its name says.
        return test_files::make_image(png.left(png.size() - 4) + ".tif")
            && QFile::rename(png.left(png.size() - 4) + ".tif", path);
    }
    if (kind == "mp4")
        return make_video(path);
    return test_files::make_image(path);
}

void tst_photo_kinds::every_kind_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind : { "heic", "avif", "webp", "dng", "mp4" })
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void tst_photo_kinds::every_kind()
{
    QFETCH(QString, kind);
    const QString path = dir.filePath(QStringLiteral("every/photo.%1").arg(kind));
    QVERIFY2(make(kind, path), qPrintable("cannot make a " + kind));
    const QString time_tag = kind == "mp4" ? "-QuickTime:CreateDate=2019:05:01 08:00:00" : "-DateTimeOriginal=2019:05:01 10:00:00";
    QVERIFY(test_files::tag(path, { time_tag }));

    photo_jobs jobs(bridge, dir.filePath("every-journal-" + kind));
    const std::vector<photo_facts> photos = jobs.load({ path });
    QCOMPARE(int(photos.size()), 1);
    QCOMPARE(photos[0].time_from, time_source::camera);
    if (kind == "mp4") {
        // Stored in UTC, shown in the computer's time with its zone kept.
        QCOMPARE(photos[0].kind, file_kind::video);
        QCOMPARE(photos[0].taken.toUTC(), QDateTime(QDate(2019, 5, 1), QTime(8, 0), Qt::UTC));
    }

    assignment_settings settings;
    settings.mode = sync_mode::typed;
    settings.typed = lat_lon { -33.8568123, 151.2152967 };
    const auto plan = photo_jobs::plan(photos, assign(photos, settings), settings, {});
    const photo_jobs::result written = jobs.sync(plan);
    for (const auto& list : { written.failed, written.unverified })
        QVERIFY2(list.empty(), qPrintable(list.empty() ? QString() : list.front().reason));
    QCOMPARE(written.written, 1);
    const std::optional<lat_lon> stored = photo_jobs::position_of(*bridge->read_gps_numbers(path));
    QVERIFY(stored && std::fabs(stored->first + 33.8568123) < 1e-7 && std::fabs(stored->second - 151.2152967) < 1e-7);

    QCOMPARE(jobs.undo().written, 1);
    QVERIFY(!photo_jobs::position_of(*bridge->read_gps_numbers(path)));
}

void tst_photo_kinds::raw_position_in_a_sidecar()
{
    const QString raw = dir.filePath("sidecar/IMG_1.CR2");
    const QString jpeg = dir.filePath("sidecar/IMG_1.JPG");
    const QString other = dir.filePath("sidecar/IMG_2.NEF");
    QVERIFY(make("dng", raw) && make("dng", other) && test_files::make_image(jpeg));
    for (const QString& path : { raw, jpeg, other })
        QVERIFY(test_files::tag(path, { "-DateTimeOriginal=2019:05:01 10:00:00" }));
    // IMG_2's sidecar is there already, with something else in it.
    QVERIFY(run("exiftool", { "-q", "-XMP-dc:Title=Harbour", "-XMP-exif:GPSLatitude#=1", "-XMP-exif:GPSLongitude#=2",
        dir.filePath("sidecar/IMG_2.NEF.xmp") }));
    const QByteArray raw_before = sha(raw);

    photo_jobs jobs(bridge, dir.filePath("sidecar-journal"));
    const std::vector<photo_facts> photos = jobs.load({ raw, jpeg, other });
    // A raw file's position may live in its sidecar only.
    QCOMPARE(*photos[2].own, (lat_lon { 1, 2 }));
    QCOMPARE(photos[2].position_from, dir.filePath("sidecar/IMG_2.NEF.xmp"));

    assignment_settings settings;
    settings.mode = sync_mode::typed;
    settings.typed = lat_lon { 64.1466, -21.9426 };
    photo_jobs::write_options options;
    options.policy = photo_jobs::overwrite_policy::overwrite;
    options.sidecars = true;
    const auto plan = photo_jobs::plan(photos, assign(photos, settings), settings, options);
    const photo_jobs::result written = jobs.sync(plan);
    QCOMPARE(written.written, 3);
    QCOMPARE(sha(raw), raw_before);
    for (const QString& sidecar : { raw + ".xmp", other + ".xmp" }) {
        const std::optional<lat_lon> stored = photo_jobs::position_of(*bridge->read_gps_numbers(sidecar));
        QVERIFY2(stored && std::fabs(stored->first - 64.1466) < 1e-7, qPrintable(sidecar));
    }
    QCOMPARE(test_files::value(other + ".xmp", "XMP-dc:Title"), QString("Harbour"));

    // Undo removes the sidecar it made and puts the other back as it was.
    QCOMPARE(jobs.undo().written, 3);
    QVERIFY(!QFile::exists(raw + ".xmp"));
    QCOMPARE(*photo_jobs::position_of(*bridge->read_gps_numbers(other + ".xmp")), (lat_lon { 1, 2 }));
    QCOMPARE(test_files::value(other + ".xmp", "XMP-dc:Title"), QString("Harbour"));
    QCOMPARE(sha(raw), raw_before);
}

void tst_photo_kinds::place_names_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("own"); // names the photo has before
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("city"); // XMP's city afterwards
    QTest::addColumn<QString>("iptc_city");

    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");

    // IPTC made by exiftool without a character set: other software reads it as Latin-1.
    const QStringList siena { "-XMP-photoshop:City=Siena", "-IPTC:City=Siena" };
    const double sp[] = { -23.5475, -46.6361 };
    const double arezzo[] = { 43.4633, 11.8796 };
    QTest::newRow("jpeg, none before") << "jpg" << QStringList() << false << "São Paulo" << "São Paulo" << sp[0] << sp[1];
    QTest::newRow("jpeg, its own kept") << "jpg" << siena << false << "Siena" << "Siena" << sp[0] << sp[1];
    QTest::newRow("jpeg, replaced, Latin-1 IPTC kept from UTF-8")
        << "jpg" << siena << true << "São Paulo" << "Siena" << sp[0] << sp[1];
    QTest::newRow("jpeg, replaced, plain name into Latin-1 IPTC")
        << "jpg" << siena << true << "Arezzo" << "Arezzo" << arezzo[0] << arezzo[1];
    QTest::newRow("heic, XMP only") << "heic" << QStringList() << false << "São Paulo" << "" << sp[0] << sp[1];
}

void tst_photo_kinds::place_names()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, own);
    QFETCH(bool, replace);
    QFETCH(QString, city);
    QFETCH(QString, iptc_city);
    QFETCH(double, lat);
    QFETCH(double, lon);

    const QString path = dir.filePath(QStringLiteral("names/%1.%2").arg(QTest::currentDataTag()).arg(kind));
    QVERIFY(make(kind, path));
    QVERIFY(test_files::tag(path, QStringList { "-DateTimeOriginal=2019:05:01 10:00:00" } + own));
    const auto before = bridge->read_gps_numbers(path);
    QVERIFY(before);

    photo_jobs jobs(bridge, dir.filePath("names-journal"));
    const std::vector<photo_facts> photos = jobs.load({ path });
    assignment_settings settings;
    settings.mode = sync_mode::typed;
    settings.typed = lat_lon { lat, lon };
    photo_jobs::write_options options;
    options.place_names = true;
    options.replace_place_names = replace;
    const photo_jobs::result written = jobs.sync(photo_jobs::plan(photos, assign(photos, settings), settings, options));
    for (const auto& list : { written.failed, written.unverified })
        QVERIFY2(list.empty(), qPrintable(list.empty() ? QString() : list.front().reason));
    QCOMPARE(written.written, 1);
    QCOMPARE(test_files::value(path, "XMP-photoshop:City"), city);
    QCOMPARE(test_files::value(path, "IPTC:City"), iptc_city);
    if (own.isEmpty() && kind == "jpg") {
        QCOMPARE(test_files::value(path, "XMP-photoshop:Country"), QString("Brazil"));
        QCOMPARE(test_files::value(path, "IPTC:CodedCharacterSet"), QString("UTF8"));
        QCOMPARE(test_files::value(path, "XMP-iptcCore:CountryCode"), QString("BR"));
    }

    QCOMPARE(jobs.undo().written, 1);
    QCOMPARE(*bridge->read_gps_numbers(path), *before);
}

QTEST_MAIN(tst_photo_kinds)
#include "tst_photo_kinds.moc"
