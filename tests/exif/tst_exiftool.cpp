#include "exif/exiftool.h"

#include "test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>

using tag_map = kal::_exiftool2::tag_map;
Q_DECLARE_METATYPE(tag_map)

namespace {

const char child_marker[] = "VESTRA_TST_EXIFTOOL_CHILD";

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

QString at(const tag_map& tags, const char* name)
{
    const auto it = tags.find(name);
    return it == tags.end() ? QStringLiteral("<absent>") : QString::fromStdString(it->second);
}

// A killed process is gone once it is a zombie waiting to be reaped, or less.
bool ended(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int name_end = text.lastIndexOf(')');
    return name_end < 0 || text.mid(name_end + 2, 1) == "Z";
}

tag_map parse(const char* text)
{
    return kal::_exiftool2::parse_response(QString::fromUtf8(text), QStringLiteral("{ready}"));
}

} // namespace

class tst_exiftool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void parse_response_data();
    void parse_response();
    void split_reply_data();
    void split_reply();

    void read_tags();
    void read_group_names();

    void write_tags();
    void write_refused_by_exiftool();

    void unusual_path_data();
    void unusual_path();
    void line_breaks_never_sent();

    void write_judged_data();
    void write_judged();
    void numbers_for_restoring();
    void batches_keep_each_file_apart_data();
    void batches_keep_each_file_apart();
    void dead_child_is_replaced();
    void unanswered_requests_data();
    void unanswered_requests();

private:
    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    std::shared_ptr<kal::_exiftool2> bridge;
};

void tst_exiftool::initTestCase()
{
    QVERIFY(dir.isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("Kaltrin"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestra"));
    bridge = kal::_exiftool2::instance();
    QVERIFY(bridge == kal::_exiftool2::instance());
}

void tst_exiftool::parse_response_data()
{
    QTest::addColumn<QString>("response");
    QTest::addColumn<tag_map>("expected");

    QTest::newRow("marker and plain lines") << "-FileType=JPEG\n-Model=X100\n{ready}\n"
                                            << tag_map { { "FileType", "JPEG" }, { "Model", "X100" } };
    QTest::newRow("lines without = skipped")
        << "    1 directories scanned\n-Make=Foo\n\n{ready}" << tag_map { { "Make", "Foo" } };
    QTest::newRow("value keeps its own =") << "-Comment=a=b\n" << tag_map { { "Comment", "a=b" } };
    QTest::newRow("later name wins") << "-Rating=1\n-Rating=5\n" << tag_map { { "Rating", "5" } };
    QTest::newRow("white space trimmed") << "- Artist = Jane Doe \r\n"
                                         << tag_map { { "Artist", "Jane Doe" } };
    QTest::newRow("UTF-8 value") << "-Artist=Zoë Ünal\n" << tag_map { { "Artist", "Zoë Ünal" } };
}

void tst_exiftool::parse_response()
{
    QFETCH(QString, response);
    QFETCH(tag_map, expected);
    QCOMPARE(parse(response.toUtf8().constData()), expected);
}

void tst_exiftool::split_reply_data()
{
    QTest::addColumn<QString>("response");
    QTest::addColumn<tag_map>("tags");
    QTest::addColumn<tag_map>("numbers");

    QTest::newRow("exiftool's pick, not its copies")
        << "-ExifIFD:DateTimeOriginal=2024:07:14 10:00:00\n-XMP-exif:Copy1:DateTimeOriginal=2023:01:01 01:00:00\n"
        << tag_map { { "DateTimeOriginal", "2024:07:14 10:00:00" } } << tag_map {};
    QTest::newRow("tags not there left out") << "-Copy0:GPSPosition=-\n-Copy0:City#=-\n" << tag_map {} << tag_map {};
    QTest::newRow("every copy of a position by group")
        << "-Composite:GPSLatitude#=43.5\n-GPS:Copy2:GPSLatitude#=43.5\n-XMP-exif:Copy1:GPSLatitude#=10.25\n"
           "-GPS:GPSVersionID#=2 3 0 0\n"
        << tag_map { { "GPSLatitude#", "43.5" } }
        << tag_map { { "GPS:GPSLatitude", "43.5" }, { "XMP-exif:GPSLatitude", "10.25" }, { "GPS:GPSVersionID", "2 3 0 0" } };
    QTest::newRow("only the tags a write touches")
        << "-XMP-photoshop:City#=Arezzo\n-XMP-iptcExt:City#=Siena\n-Keys:GPSHorizontalAccuracy#=5\n"
           "-MakerNotes:GPSLatitude#=1\n-IPTC:City#=Arezzo\n-XMP-exif:DateTimeOriginal#=x\n"
        << tag_map {} << tag_map { { "XMP-photoshop:City", "Arezzo" }, { "IPTC:City", "Arezzo" } };
    QTest::newRow("exiftool's pick within a group, else the first")
        << "-GPS:Copy1:GPSAltitude#=5\n-GPS:Copy3:GPSAltitude#=7\n-GPS:Copy1:GPSSpeed#=1\n-GPS:GPSSpeed#=2\n"
        << tag_map {} << tag_map { { "GPS:GPSAltitude", "5" }, { "GPS:GPSSpeed", "2" } };
}

void tst_exiftool::split_reply()
{
    QFETCH(QString, response);
    QFETCH(tag_map, tags);
    QFETCH(tag_map, numbers);
    tag_map got_tags;
    tag_map got_numbers;
    kal::_exiftool2::split_reply(response, &got_tags, &got_numbers);
    QCOMPARE(got_tags, tags);
    QCOMPARE(got_numbers, numbers);
}

void tst_exiftool::read_tags()
{
    const QString path = file("read.tif");
    QVERIFY(test_files::make_image(path, 64, 48));
    QVERIFY(test_files::tag(path,
        { "-Artist=Jane Doe", "-UserComment=a=b", "-Make^=", "-DateTimeOriginal=2019:05:01 10:00:00" }));

    const tag_map tags = bridge->read_exif_data(path, false, false);
    QCOMPARE(at(tags, "FileType"), u("TIFF"));
    QCOMPARE(at(tags, "ImageWidth"), u("64"));
    QCOMPARE(at(tags, "ImageHeight"), u("48"));
    QCOMPARE(at(tags, "Artist"), u("Jane Doe"));
    QCOMPARE(at(tags, "UserComment"), u("a=b"));
    QCOMPARE(at(tags, "Make"), u(""));
    QCOMPARE(at(tags, "DateTimeOriginal"), u("2019:05:01 10:00:00"));
    QVERIFY(!tags.count("{ready}"));
    QVERIFY(!tags.count("GPSPosition"));

    // The bridge stays in step: a second read gives the same answer, but for
    // the file system's times, which the first read itself may move.
    const auto without_file_times = [](tag_map read) {
        for (const char* name : { "FileAccessDate", "FileInodeChangeDate", "FileModifyDate" })
            read.erase(name);
        return read;
    };
    QCOMPARE(without_file_times(bridge->read_exif_data(path, false, false)), without_file_times(tags));
}

void tst_exiftool::read_group_names()
{
    const QString path = file("groups.jpg");
    QVERIFY(test_files::make_image(path));
    QVERIFY(test_files::tag(path, { "-Model=X100" }));
    const tag_map tags = bridge->read_exif_data(path, true, false);
    QCOMPARE(at(tags, "IFD0:Model"), u("X100"));
    QVERIFY(!tags.count("Model"));
    // The group option belongs to that one request only.
    QCOMPARE(at(bridge->read_exif_data(path, false, false), "Model"), u("X100"));
}

void tst_exiftool::write_tags()
{
    const QString path = file("write.png");
    QVERIFY(test_files::make_image(path));

    const tag_map position { { "GPSLatitude#", "-33.868800" }, { "GPSLatitudeRef", "S" },
        { "GPSLongitude#", "-151.209300" }, { "GPSLongitudeRef", "W" }, { "Artist", "Jane Doe" },
        { "Model", "X100" } };
    QVERIFY(bridge->write_exif_data(path, position));
    QCOMPARE(test_files::value(path, "GPSLatitude", true).toDouble(), -33.8688);
    QCOMPARE(test_files::value(path, "GPSLongitude", true).toDouble(), -151.2093);
    QCOMPARE(test_files::value(path, "GPSLatitudeRef"), u("South"));

    const tag_map tags = bridge->read_exif_data(path, false, false);
    QCOMPARE(at(tags, "GPSPosition"), u(R"(33 deg 52' 7.68" S, 151 deg 12' 33.48" W)"));
    QCOMPARE(at(tags, "Artist"), u("Jane Doe"));

    // Removing the whole group, as "remove GPS data" does.
    QVERIFY(bridge->write_exif_data(path, { { "GPS:all", "" } }));
    const tag_map cleared = bridge->read_exif_data(path, false, false);
    QVERIFY(!cleared.count("GPSLatitude"));
    QVERIFY(!cleared.count("GPSPosition"));
    QCOMPARE(at(cleared, "Artist"), u("Jane Doe"));

    // An empty value deletes the tag; an empty map writes nothing, which is no success.
    QVERIFY(bridge->write_exif_data(path, { { "Artist", "" } }));
    const tag_map deleted = bridge->read_exif_data(path, false, false);
    QVERIFY(!deleted.count("Artist"));
    QCOMPARE(at(deleted, "Model"), u("X100"));
    QVERIFY(!bridge->write_exif_data(path, {}));
}

void tst_exiftool::write_judged_data()
{
    QTest::addColumn<tag_map>("tags");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reason");

    QTest::newRow("written") << tag_map { { "GPSLatitude#", "48.5" }, { "GPSLatitudeRef", "N" } } << true
                             << "";
    QTest::newRow("same value again: unchanged is fine")
        << tag_map { { "GPSLatitude#", "48.5" }, { "GPSLatitudeRef", "N" } } << true << "";
    QTest::newRow("deleting what is not there") << tag_map { { "GPSAltitude", "" } } << true << "";
    // exiftool writes 48 and calls the file updated, with only a warning.
    QTest::newRow("value cut short: a warning names the tag")
        << tag_map { { "GPSLatitude#", "48,7" }, { "GPSLatitudeRef", "N" } } << false << "GPSLatitude";
    QTest::newRow("every value refused: nothing to do")
        << tag_map { { "GPSLatitude#", "abc" } } << false << "isn't numeric";
    QTest::newRow("unknown tag") << tag_map { { "GPSNoSuchTag", "1" } } << false << "not defined";
}

void tst_exiftool::write_judged()
{
    QFETCH(tag_map, tags);
    QFETCH(bool, ok);
    QFETCH(QString, reason);
    const QString path = file("judged.jpg");
    if (!QFileInfo::exists(path))
        QVERIFY(test_files::make_image(path));
    const kal::write_result result = bridge->write(path, tags);
    QCOMPARE(result.ok, ok);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
    // What exiftool refused outright left the earlier value alone.
    if (!ok && reason != QLatin1String("GPSLatitude"))
        QCOMPARE(test_files::value(path, "GPSLatitude", true).toDouble(), 48.5);
}

void tst_exiftool::numbers_for_restoring()
{
    const QString path = file("numbers.jpg");
    QVERIFY(test_files::make_image(path));
    QVERIFY(test_files::tag(path,
        { "-GPSLatitude=43.4674483333", "-GPSLatitudeRef=N", "-GPSLongitude=5.1", "-GPSLongitudeRef=W",
            "-GPSTimeStamp=10:11:12.345", "-GPSVersionID=2.3.0.0" }));
    const auto numbers = bridge->read_gps_numbers(path);
    QVERIFY(numbers);
    QVERIFY(std::abs(QString::fromStdString(numbers->at("GPS:GPSLatitude")).toDouble() - 43.4674483333) < 1e-9);
    QCOMPARE(at(*numbers, "GPS:GPSLatitudeRef"), u("N"));
    QCOMPARE(at(*numbers, "GPS:GPSTimeStamp"), u("10:11:12.345"));
    QCOMPARE(at(*numbers, "GPS:GPSVersionID"), u("2 3 0 0"));

    const kal::stored_position position = bridge->read_position(path);
    QVERIFY(position.readable && position.present);
    QVERIFY(std::abs(position.lat - 43.4674483333) < 1e-9);
    QVERIFY(std::abs(position.lon + 5.1) < 1e-9);

    QVERIFY(bridge->write_exif_data(path, { { "GPS:all", "" } }));
    QCOMPARE(bridge->read_gps_numbers(path), std::optional<tag_map>(tag_map {}));
    QVERIFY(!bridge->read_position(path).present);

    QString reason;
    QVERIFY(!bridge->read_gps_numbers(file("missing.jpg"), &reason));
    QVERIFY(!reason.isEmpty());
}

void tst_exiftool::write_refused_by_exiftool()
{
    // Running as root, file permissions would not stop exiftool; a text file
    // posing as a JPEG does, whoever runs the test.
    const QString path = file("not_a_photo.jpg");
    {
        QFile text(path);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("just some text\n");
    }
    QVERIFY(!bridge->write_exif_data(path, { { "Artist", "Jane Doe" } }));
    QFile text(path);
    QVERIFY(text.open(QIODevice::ReadOnly));
    QCOMPARE(text.readAll(), QByteArray("just some text\n"));

    QVERIFY(!bridge->write_exif_data(file("missing.jpg"), { { "Artist", "Jane Doe" } }));
}

void tst_exiftool::unusual_path_data()
{
    QTest::addColumn<bool>("c_locale");
    QTest::newRow("locale of the run") << false;
    // Only the parent program starts the LANG=C run, never the child itself.
    if (qEnvironmentVariableIsEmpty(child_marker))
        QTest::newRow("LANG=C") << true;
}

void tst_exiftool::unusual_path()
{
    QFETCH(bool, c_locale);
    if (c_locale) {
        // The locale is fixed at start, so run this test again in a child.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        env.insert(QString::fromLatin1(child_marker), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("unusual_path") });
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        return;
    }

    const QString path = file(QStringLiteral("Ordner mit Ümläuten/фото №1 - été.jpg"));
    QVERIFY(test_files::make_image(path));
    QVERIFY(QFileInfo::exists(path));
    QVERIFY(bridge->write_exif_data(path, { { "Artist", "Zoë" }, { "Model", "X100" } }));
    const tag_map tags = bridge->read_exif_data(path, false, false);
    QCOMPARE(at(tags, "FileName"), u("фото №1 - été.jpg"));
    QCOMPARE(at(tags, "Artist"), u("Zoë"));
    QCOMPARE(at(tags, "Model"), u("X100"));

    // A relative name is made absolute, so it is never taken for an option.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QFileInfo(path).absolutePath());
    QVERIFY(test_files::make_image(QStringLiteral("-ver.jpg")));
    const tag_map relative = bridge->read_exif_data(QStringLiteral("-ver.jpg"), false, false);
    QVERIFY(bridge->write_exif_data(QStringLiteral("-ver.jpg"), { { "Model", "Y" } }));
    QDir::setCurrent(cwd);
    QCOMPARE(at(relative, "FileName"), u("-ver.jpg"));
    const QString absolute = QFileInfo(path).absolutePath() + QStringLiteral("/-ver.jpg");
    QCOMPARE(at(bridge->read_exif_data(absolute), "Model"), u("Y"));
}

void tst_exiftool::line_breaks_never_sent()
{
    const QString odd = file(QStringLiteral("two\nlines.jpg"));
    QVERIFY(test_files::make_image(odd));
    QVERIFY(bridge->read_exif_data(odd, false, false).empty());
    QVERIFY(!bridge->write_exif_data(odd, { { "Artist", "x" } }));
    QVERIFY(!bridge->read_exif_data(file(QStringLiteral("cr\rname.jpg"))).size());

    const QString path = file("plain.jpg");
    QVERIFY(test_files::make_image(path));
    QVERIFY(!bridge->write_exif_data(path, { { "Artist", "one\ntwo" } }));
    QVERIFY(!bridge->write_exif_data(path, { { "Artist", "one\rtwo" } }));
    QVERIFY(!bridge->write_exif_data(path, { { "Artist\n-Model", "x" } }));
    // Nothing of a refused map reaches the file, not even its clean entries.
    QVERIFY(!bridge->write_exif_data(path, { { "Artist", "a\nb" }, { "Model", "X100" } }));
    const tag_map tags = bridge->read_exif_data(path, false, false);
    QVERIFY(!tags.count("Artist"));
    QVERIFY(!tags.count("Model"));
    QCOMPARE(at(tags, "FileName"), u("plain.jpg"));
}

void tst_exiftool::dead_child_is_replaced()
{
    const QString path = file("kill.jpg");
    QVERIFY(test_files::make_image(path));

    auto own_bridge = std::make_unique<kal::_exiftool2>();
    const std::vector<qint64> first = own_bridge->child_pids();
    QCOMPARE(first.size(), std::size_t(1));
    QVERIFY(!own_bridge->read_exif_data(path).empty());

    QCOMPARE(::kill(pid_t(first.front()), SIGKILL), 0);
    QTRY_VERIFY(ended(first.front()));
    QVERIFY(own_bridge->write_exif_data(path, { { "Artist", "x" } }));
    QVERIFY(own_bridge->child_pids() != first);
    QCOMPARE(at(own_bridge->read_exif_data(path), "Artist"), u("x"));
}

void tst_exiftool::unanswered_requests_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("child stalls") << "stall"
                                  << "ExifTool did not answer";
    QTest::newRow("child dies") << "die"
                                << "stopped before it answered";
}

void tst_exiftool::unanswered_requests()
{
    QFETCH(QString, mode);
    QFETCH(QString, reason);
    const QString path = file("standin.jpg");
    QVERIFY(test_files::make_image(path));

    const int saved = kal::exiftool_child::answer_timeout_msecs;
    kal::exiftool_child::answer_timeout_msecs = 1000;
    kal::_exiftool2 standin(QStringLiteral(EXIFTOOL_STANDIN), { mode });
    QElapsedTimer timer;
    timer.start();
    const kal::write_result result = standin.write(path, { { "Artist", "x" } });
    QVERIFY(!result.ok);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
    QVERIFY2(timer.elapsed() < 10000, "an unanswered request must be given up");
    // The next request gets a new child, which fails the same way, but the
    // restarts stop after a few.
    for (int i = 0; i < 6; ++i)
        QVERIFY(!standin.read_exif_data(path).size());
    kal::exiftool_child::answer_timeout_msecs = saved;
    QVERIFY(!standin.running());
}

void tst_exiftool::batches_keep_each_file_apart_data()
{
    QTest::addColumn<int>("children");
    QTest::newRow("one request for all") << 1;
    QTest::newRow("spread over children") << 2;
}

// Many files in one request: each file's answer is its own, a broken file
// is named with exiftool's reason, and the others are written all the same.
void tst_exiftool::batches_keep_each_file_apart()
{
    QFETCH(int, children);
    const QString folder = file(QStringLiteral("batch%1").arg(children));
    QVERIFY(QDir().mkpath(folder));
    QStringList paths;
    for (const char* name : { "a.jpg", "b - März.jpg", "broken.jpg", "c.tif", "d.png", "e.jpg" }) {
        const QString path = folder + "/" + QString::fromUtf8(name);
        if (path.contains("broken")) {
            QFile garbage(path);
            QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("not a photo\n") > 0);
        } else {
            QVERIFY(test_files::make_image(path));
        }
        paths << path;
    }
    QVERIFY(test_files::tag(paths[1], { "-GPSLatitude=12.25", "-GPSLatitudeRef=S", "-GPSLongitude=3.5", "-GPSLongitudeRef=E" }));
    const int broken = 2;
    kal::_exiftool2 pool(children);
    kal::_exiftool2 single(1);

    std::vector<std::optional<tag_map>> numbers;
    const auto read_all = [&] {
        numbers.assign(std::size_t(paths.size()), std::nullopt);
        int steps = 0;
        pool.read_gps_many(
            paths, [&](int i, const std::optional<tag_map>& n, const QString&) { numbers[std::size_t(i)] = n; },
            [&](int files) { steps += files; });
        return steps;
    };
    QCOMPARE(read_all(), int(paths.size()));
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(numbers[std::size_t(i)], single.read_gps_numbers(paths[i]));

    std::vector<std::pair<QString, tag_map>> writes;
    for (const QString& path : paths)
        writes.emplace_back(path, tag_map { { "GPS:GPSLatitude#", "47.5" }, { "GPS:GPSLatitudeRef", "N" },
                                      { "GPS:GPSLongitude#", "8.25" }, { "GPS:GPSLongitudeRef", "E" } });
    std::vector<kal::write_result> results(writes.size());
    int steps = 0;
    pool.write_many(
        writes, [&](int i, const kal::write_result& r) { results[std::size_t(i)] = r; },
        [&](int files) { steps += files; });
    QCOMPARE(steps, int(paths.size()));
    QCOMPARE(read_all(), int(paths.size()));
    for (int i = 0; i < paths.size(); ++i) {
        QCOMPARE(results[std::size_t(i)].ok, i != broken);
        if (i != broken)
            QCOMPARE(at(*numbers[std::size_t(i)], "GPS:GPSLatitude"), u("47.5"));
    }
    QVERIFY2(results[broken].reason.contains("Not a valid JPG"), qPrintable(results[broken].reason));
}

QTEST_GUILESS_MAIN(tst_exiftool)
#include "tst_exiftool.moc"
