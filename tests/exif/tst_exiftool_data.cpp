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

QTEST_GUILESS_MAIN(tst_exiftool_data)
#include "tst_exiftool_data.moc"
