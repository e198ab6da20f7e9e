#include "exif/exiftool_data.h"

#include "test_files.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <set>

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
    void members_data();
    void members();
    void forbidden_table_shape();
    void gps_group_is_writable();
};

void tst_exiftool_data::members_data()
{
    QTest::addColumn<bool>("extension"); // else a tag name
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("member"); // of the writable extensions or the forbidden tags

    for (const char* name : { "jpg", "jpeg", "tif", "png", "dng", "cr2", "nef", "mp4", "xmp" })
        QTest::newRow(qPrintable(QStringLiteral("writable %1").arg(name))) << true << name << true;
    // The caller lower-cases the suffix and drops the dot.
    for (const char* name : { "JPG", ".jpg", "", "gz", "txt" })
        QTest::newRow(qPrintable(QStringLiteral("not writable '%1'").arg(name))) << true << name << false;

    for (const char* name :
        { "ExifToolVersion", "Warning", "FileName", "Directory", "FileSize", "FileInodeChangeDate",
            "Aperture", "ShutterSpeed", "FOV", "GPSPosition", "GPSCoordinates", "SubSecDateTimeOriginal",
            "ThumbnailOffset", "StripOffsets", "CurrentIPTCDigest", "iTunTool", "iTunesU" })
        QTest::newRow(name) << false << name << true;
    for (const char* name : { "DateTimeOriginal", "Model", "LensModel", "FNumber", "Orientation", "Rating",
             "FileModifyDate", "FileCreateDate", "GPSLatitude", "GPSAltitudeRef", "GPSTimeStamp", "aperture",
             "", "GPS:all", "GPSLatitude#" })
        QTest::newRow(*name ? name : "empty name") << false << name << false;
}

void tst_exiftool_data::members()
{
    QFETCH(bool, extension);
    QFETCH(QString, name);
    QFETCH(bool, member);
    const std::string text = name.toStdString();
    QCOMPARE(
        extension ? kal::exiftool_data::writable_file_extensions.count(text) == 1 : forbidden(text), member);
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
    const QString list = test_files::exiftool({ "-listx", "-GPS:All" });
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
