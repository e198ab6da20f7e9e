#include "exif/exiftool.h"
#include "exif/exiftool_data.h"

#include "test_files.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <set>

using tag_map = kal::_exiftool2::tag_map;
Q_DECLARE_METATYPE(tag_map)

namespace {

bool forbidden(const std::string& name)
{
    const auto& tags = kal::exiftool_data::forbidden_tags;
    return std::find(tags.begin(), tags.end(), name) != tags.end();
}

std::set<QString> words(const QString& text)
{
    std::set<QString> result;
    for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")),
                                          Qt::SkipEmptyParts))
        result.insert(word);
    return result;
}

} // namespace

class tst_exiftool_data : public QObject {
    Q_OBJECT

private slots:
    void writable_extensions();
    void filesystem_tags();

    void forbidden_members_data();
    void forbidden_members();
    void forbidden_table_shape();
    void gps_group_is_writable();
    void photo_tags_left_are_writable();

    void remove_nonwriteable_tags_data();
    void remove_nonwriteable_tags();
};

void tst_exiftool_data::writable_extensions()
{
    const std::set<std::string> expected{
        "3g2", "3gp", "aax", "ai",  "arw", "cr2",  "crw",  "cs1", "dcp",  "dng",  "dr4",
        "dvb", "eps", "erf", "exif", "exv", "f4a",  "f4v",  "fff", "gif",  "hdp",  "icc",
        "iiq", "ind", "jng", "jp2", "jpeg", "jpg", "m4a",  "m4v", "mef",  "mie",  "mng",
        "mos", "mov", "mp4", "mpo", "mqv", "mrw",  "nef",  "nrw", "orf",  "pbm",  "pdf",
        "pef", "pgm", "png", "ppm", "ps",  "psb",  "psd",  "qtif", "raf", "raw",  "rw2",
        "rwl", "sr2", "srw", "thm", "tif", "tiff", "vrd",  "wdp", "x3f",  "xmp"};
    QCOMPARE(expected.size(), std::size_t(65));
    QVERIFY(kal::exiftool_data::writable_file_extensions == expected);
    for (const char* absent : {"JPG", "heic", "gz", "", ".jpg"})
        QVERIFY(!kal::exiftool_data::writable_file_extensions.count(absent));
}

void tst_exiftool_data::filesystem_tags()
{
    QVERIFY(kal::exiftool_data::filesystem_tags ==
            (std::vector<std::string>{"FileAccessDate", "FileCreateDate", "FileModifyDate"}));
}

void tst_exiftool_data::forbidden_members_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("member");

    for (const char* name :
         {"ExifToolVersion", "Warning", "Error", "FileName", "Directory", "FileSize", "FileType",
          "MIMEType", "FilePermissions", "FileAccessDate", "FileInodeChangeDate", "Aperture",
          "ShutterSpeed", "LightValue", "ScaleFactor35efl", "FocalLength35efl",
          "CircleOfConfusion", "FOV", "DOF", "HyperfocalDistance", "GPSPosition",
          "SubSecDateTimeOriginal", "ThumbnailOffset", "ThumbnailLength", "StripOffsets",
          "StripByteCounts", "JFIFVersion", "EncodingProcess", "CurrentIPTCDigest",
          "A100DataOffset", "AFInfo2Version", "ZipCompressedSize", "ZipFileName", "iTunSMPB",
          "iTunTool", "iTunesU", "GPSCoordinates"})
        QTest::newRow(name) << name << true;

    for (const char* name :
         {"DateTimeOriginal", "Model", "LensModel", "Lens", "FNumber", "ISO", "FocalLength",
          "Orientation", "Rating", "ImageWidth", "ImageHeight", "ExifImageWidth",
          "ExifImageHeight", "Software", "CreatorTool", "FileModifyDate", "FileCreateDate",
          "GPSLatitude", "GPSLatitudeRef", "GPSLongitude", "GPSLongitudeRef", "GPSAltitude",
          "GPSAltitudeRef", "GPSTimeStamp", "GPSDateStamp", "GPSVersionID", "aperture", "",
          "GPS:all", "GPSLatitude#"})
        QTest::newRow(*name ? name : "empty name") << name << false;
}

void tst_exiftool_data::forbidden_members()
{
    QFETCH(QString, name);
    QFETCH(bool, member);
    QCOMPARE(forbidden(name.toStdString()), member);
}

void tst_exiftool_data::forbidden_table_shape()
{
    const auto& tags = kal::exiftool_data::forbidden_tags;
    QVERIFY(tags.size() > 1000);
    QCOMPARE(std::set<std::string>(tags.begin(), tags.end()).size(), tags.size());
    const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_-]{2,}$"));
    for (const std::string& name : tags)
        QVERIFY2(allowed.match(QString::fromStdString(name)).hasMatch(), name.c_str());
}

void tst_exiftool_data::gps_group_is_writable()
{
    // Everything the synchronisation writes or clears lives in this group.
    const QString list = test_files::exiftool({"-listx", "-GPS:All"});
    const QRegularExpression tag(QStringLiteral("<tag [^>]*name='([^']+)'"));
    int seen = 0;
    for (auto it = tag.globalMatch(list); it.hasNext(); ++seen) {
        const QString name = it.next().captured(1);
        if (name != QLatin1String("GPSPosition") && name != QLatin1String("GPSCoordinates"))
            QVERIFY2(!forbidden(name.toStdString()), qPrintable(name));
    }
    QVERIFY(seen > 20);
}

void tst_exiftool_data::photo_tags_left_are_writable()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("camera.jpg"));
    QVERIFY(test_files::make_image(path, 320, 240));
    QVERIFY(test_files::tag(path, {"-Model=X100", "-FNumber=2.8", "-ExposureTime=1/250",
                                   "-FocalLength=24", "-GPSLatitude=48 8 12.34",
                                   "-GPSLatitudeRef=N", "-GPSLongitude=11 34 56.78",
                                   "-GPSLongitudeRef=E", "-DateTimeOriginal=2019:05:01 10:00:00",
                                   "-XMP-dc:Creator=Jane"}));
    const tag_map read = kal::_exiftool2::instance()->read_exif_data(path, false, false);
    QVERIFY(read.count("GPSPosition"));

    const std::set<QString> writable =
        words(test_files::exiftool({"-listw"}).section(QLatin1Char('\n'), 1));
    QVERIFY(writable.count(QStringLiteral("Model")));
    const tag_map left = kal::_exiftool2::remove_nonwriteable_tags(read);
    QVERIFY(left.size() < read.size());
    for (const auto& entry : left) {
        const QString name = QString::fromStdString(entry.first);
        // FileCreateDate and FileModifyDate are writable pseudo tags.
        QVERIFY2(writable.count(name) || name.startsWith(QLatin1String("File")), qPrintable(name));
    }
}

void tst_exiftool_data::remove_nonwriteable_tags_data()
{
    QTest::addColumn<tag_map>("tags");
    QTest::addColumn<tag_map>("expected");
    QTest::newRow("computed and file-system names go")
        << tag_map{{"GPSPosition", "x"}, {"GPSLatitude#", "48.1"}, {"FileName", "a.jpg"}}
        << tag_map{{"GPSLatitude#", "48.1"}};
    QTest::newRow("case matters") << tag_map{{"aperture", "2.8"}, {"Aperture", "2.8"}}
                                  << tag_map{{"aperture", "2.8"}};
    QTest::newRow("group prefix is not stripped")
        << tag_map{{"Composite:GPSPosition", "x"}} << tag_map{{"Composite:GPSPosition", "x"}};
    QTest::newRow("empty") << tag_map{} << tag_map{};
}

void tst_exiftool_data::remove_nonwriteable_tags()
{
    QFETCH(tag_map, tags);
    QFETCH(tag_map, expected);
    const tag_map before = tags;
    QCOMPARE(kal::_exiftool2::remove_nonwriteable_tags(tags), expected);
    QCOMPARE(tags, before);
}

QTEST_GUILESS_MAIN(tst_exiftool_data)
#include "tst_exiftool_data.moc"
