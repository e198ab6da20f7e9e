// The jobs unit against the real exiftool: the pool gives the same results
// whatever its size, a child killed in a batch costs nothing, and the undo
// journal outlives a program killed in the middle of a sync.

#include "jobs/photo_jobs.h"

#include "../exif/test_files.h"
#include "exif/exif_cache.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>

using tag_map = photo_jobs::tag_map;

namespace {

// Every file's GPS group, numerically, as the command-line exiftool reads it.
std::map<QString, QJsonObject> gps_groups(const QStringList& paths)
{
    const QString json = test_files::exiftool(
        QStringList { QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-G1"), QStringLiteral("-a"),
            QStringLiteral("-GPS:all") }
        + paths);
    std::map<QString, QJsonObject> groups;
    for (const QJsonValue& entry : QJsonDocument::fromJson(json.toUtf8()).array()) {
        QJsonObject tags = entry.toObject();
        const QString file = tags.take(QStringLiteral("SourceFile")).toString();
        groups[file] = tags;
    }
    return groups;
}

photo_jobs::planned_write typed(const QString& path, double lat, double lon)
{
    photo_jobs::planned_write write;
    write.path = path;
    write.tags = photo_jobs::position_tags(lat_lon { lat, lon }, std::nullopt, std::nullopt, false);
    write.position = lat_lon { lat, lon };
    return write;
}

} // namespace

class tst_photo_jobs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void storage_full_data();
    void storage_full();
    void one_writer_at_a_time();
    void partial_undo();
    void loaded_numbers_stand_while_the_file_does_data();
    void loaded_numbers_stand_while_the_file_does();
    void stalled_child_during_a_load();
    void leftover_copy_data();
    void leftover_copy();
    void pool_sizes_agree();
    void killed_child_in_a_batch();
    void journal_outlives_a_killed_program();

private:
    // Photos of three kinds, each with its own recording time; every third
    // carries a full GPS group with values exiftool prints rounded.
    QStringList make_photos(const QString& folder, int count);

    QTemporaryDir dir;
};

void tst_photo_jobs::initTestCase()
{
    QVERIFY(dir.isValid());
    int code = -1;
    test_files::exiftool({ QStringLiteral("-ver") }, &code);
    QVERIFY2(code == 0, "the tests need the exiftool command");
}

QStringList tst_photo_jobs::make_photos(const QString& folder, int count)
{
    const char* const suffixes[] = { "jpg", "png", "tif" };
    QStringList paths;
    QStringList args;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("%1/Bild %2.%3").arg(folder).arg(i, 3, 10, QChar('0')).arg(suffixes[i % 3]));
        // A few large ones finish late, so answers come out of order.
        const int size = i % 7 == 0 ? 900 : 48;
        if (!test_files::make_image(path, size, size))
            return {};
        paths << path;
        QStringList lines { "-q", "-m", "-overwrite_original",
            QStringLiteral("-DateTimeOriginal=2019:05:01 10:%1:%2").arg(i / 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0')) };
        if (i % 3 == 0)
            lines << "-GPSLatitude=43.4674483333" << "-GPSLatitudeRef=S" << "-GPSLongitude=11.58243917"
                  << "-GPSLongitudeRef=W" << "-GPSAltitude=512.37" << "-GPSAltitudeRef=1"
                  << "-GPSTimeStamp=10:00:00.53" << "-GPSDateStamp=2019:05:01" << "-GPSImgDirection=271.5";
        args << lines << path << "-execute";
    }
    int code = -1;
    test_files::exiftool_argfile(dir.filePath(folder + ".args"), args, &code);
    return code == 0 ? paths : QStringList();
}

void tst_photo_jobs::storage_full_data()
{
    // The disk fills after this many steps of the job (three per photo).
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("written");
    QTest::newRow("full before the first part") << 0 << 0;
    QTest::newRow("full after the first batch") << 8 * 3 << 8;
}

void tst_photo_jobs::storage_full()
{
    QFETCH(int, steps);
    QFETCH(int, written);
    const QString folder = QStringLiteral("full%1").arg(steps);
    const QStringList paths = make_photos(folder, 12);
    QCOMPARE(paths.size(), 12);
    const auto before = gps_groups(paths);
    photo_jobs jobs(std::make_shared<kal::_exiftool2>(2), dir.filePath(folder + "-journal"));
    const int saved_batch = photo_jobs::batch_size;
    photo_jobs::batch_size = 8;
    std::vector<photo_jobs::planned_write> plan;
    for (const QString& path : paths)
        plan.push_back(typed(path, 10.5, 20.5));

    const auto fill = [](int done, int at) {
        if (done == at)
            undo_journal::space_left_for_tests = 100;
    };
    fill(0, steps);
    const photo_jobs::result result = jobs.sync(plan, [&](int done, int) { fill(done, steps); });
    undo_journal::space_left_for_tests = -1;
    photo_jobs::batch_size = saved_batch;

    QVERIFY2(result.stopped.contains("No space left on device") && result.stopped.contains(folder + "-journal"),
        qPrintable(result.stopped));
    QCOMPARE(result.written, written);
    QCOMPARE(int(result.failed.size()), 12 - written);
    // The counts are the truth: exactly the photos reported written changed.
    const auto after = gps_groups(paths);
    int changed = 0;
    for (const QString& path : paths)
        changed += after.at(path) != before.at(path);
    QCOMPARE(changed, written);
    QVERIFY(QDir(dir.filePath(folder + "-journal")).entryList({ "*.new" }, QDir::Files).isEmpty());

    // Those written stay undoable.
    const photo_jobs::result undone = jobs.undo();
    QCOMPARE(undone.written, written);
    for (const QString& path : paths)
        QCOMPARE(gps_groups({ path }).at(path), before.at(path));
}

void tst_photo_jobs::one_writer_at_a_time()
{
    const QStringList paths = make_photos("writers", 25);
    QCOMPARE(paths.size(), 25);
    const QString journal = dir.filePath("writers-journal");
    const auto untouched = gps_groups(paths.mid(20));

    // Another process writes: a second job waits, then is refused and writes nothing.
    QProcess helper;
    helper.start(SYNC_HELPER, QStringList { journal, "1.25", "2.25" } + paths.mid(0, 20));
    QVERIFY(helper.waitForStarted());
    QVERIFY(helper.waitForReadyRead(30000));
    photo_jobs second(std::make_shared<kal::_exiftool2>(1), journal);
    const int saved = photo_jobs::lock_wait_msecs;
    photo_jobs::lock_wait_msecs = 200;
    const QStringList mine = paths.mid(20);
    std::vector<photo_jobs::planned_write> plan;
    for (const QString& path : mine)
        plan.push_back(typed(path, 3.5, 4.5));
    const photo_jobs::result refused = second.sync(plan);
    photo_jobs::lock_wait_msecs = saved;
    QVERIFY(helper.waitForFinished(120000));
    QCOMPARE(helper.exitCode(), 0);
    QVERIFY2(refused.stopped.contains("Another Vestra is writing photos"), qPrintable(refused.stopped));
    QCOMPARE(int(refused.failed.size()), 5);
    QCOMPARE(gps_groups(mine), untouched);

    // Afterwards each run is one of its own, and both can be taken back.
    QVERIFY(second.sync(plan).stopped.isEmpty());
    QCOMPARE(int(second.journal().runs().size()), 2);
    QCOMPARE(second.undo().written, 5);
    QCOMPARE(second.undo().written, 20);
    QVERIFY(second.journal().runs().empty());
}

void tst_photo_jobs::partial_undo()
{
    const QStringList paths = make_photos("partial", 6);
    QCOMPARE(paths.size(), 6);
    const auto before = gps_groups(paths);
    photo_jobs jobs(std::make_shared<kal::_exiftool2>(1), dir.filePath("partial-journal"));
    std::vector<photo_jobs::planned_write> plan;
    for (const QString& path : paths)
        plan.push_back(typed(path, 60.5, 25.5));
    QCOMPARE(jobs.sync(plan).written, 6);

    // Two photos are away, one was changed by another program since.
    const QString away = dir.filePath("partial-away");
    QVERIFY(QDir().mkpath(away));
    for (const int i : { 1, 2 })
        QVERIFY(QFile::rename(paths[i], away + "/" + QFileInfo(paths[i]).fileName()));
    QVERIFY(test_files::tag(paths[3], { "-GPSLatitude=1.5" }));

    photo_jobs::result undone = jobs.undo();
    QCOMPARE(undone.written, 3);
    QCOMPARE(int(undone.failed.size()), 2);
    QVERIFY(undone.failed[0].reason.contains("not there"));
    QCOMPARE(int(undone.changed_since.size()), 1);
    QCOMPARE(undone.changed_since[0].path, paths[3]);
    QVERIFY(undone.changed_since[0].reason.contains("Changed by another program"));
    QCOMPARE(jobs.journal().runs().front().photos, 3);

    // Back in place, they are restored by another undo; the changed one only when forced.
    for (const int i : { 1, 2 })
        QVERIFY(QFile::rename(away + "/" + QFileInfo(paths[i]).fileName(), paths[i]));
    undone = jobs.undo();
    QCOMPARE(undone.written, 2);
    QCOMPARE(int(undone.changed_since.size()), 1);
    photo_jobs::undo_request forced;
    forced.force = true;
    QCOMPARE(jobs.undo(forced).written, 1);
    QVERIFY(jobs.journal().runs().empty());
    const auto after = gps_groups(paths);
    for (const QString& path : paths)
        QCOMPARE(after.at(path), before.at(path));
}

void tst_photo_jobs::loaded_numbers_stand_while_the_file_does_data()
{
    QTest::addColumn<QStringList>("change");
    QTest::newRow("as loaded") << QStringList();
    QTest::newRow("changed since") << QStringList { "-GPSLatitude=1.5", "-GPSLatitudeRef=N", "-GPSAltitude=7" };
    QTest::newRow("changed, date kept") << QStringList { "-P", "-GPS:all=" };
}

// The undo data come from the load only while the file is as the load read
// it; one changed since is read again, so the undo brings back its latest state.
void tst_photo_jobs::loaded_numbers_stand_while_the_file_does()
{
    QFETCH(QStringList, change);
    const QString folder = QStringLiteral("stand-%1").arg(QTest::currentDataTag()).replace(' ', '-');
    const QStringList paths = make_photos(folder, 6);
    QCOMPARE(paths.size(), 6);
    photo_jobs jobs(std::make_shared<kal::_exiftool2>(2), dir.filePath(folder + "-journal"));
    QCOMPARE(int(jobs.load(paths).size()), 6);
    if (!change.isEmpty()) {
        for (const QString& path : paths)
            QVERIFY(test_files::tag(path, change));
    }
    const auto before = gps_groups(paths);
    std::vector<photo_jobs::planned_write> plan;
    for (const QString& path : paths)
        plan.push_back(typed(path, 60.5, 25.5));
    QCOMPARE(jobs.sync(plan).written, 6);
    QCOMPARE(jobs.undo().written, 6);
    const auto after = gps_groups(paths);
    for (const QString& path : paths)
        QCOMPARE(after.at(path), before.at(path));
}

// A child that answers nothing (a hung network drive) is given up after the
// time limit; its photos are listed as unread, with no time made up for them.
void tst_photo_jobs::stalled_child_during_a_load()
{
    const QStringList paths = make_photos("stalled", 2);
    QCOMPARE(paths.size(), 2);
    const int saved = kal::exiftool_child::answer_timeout_msecs;
    kal::exiftool_child::answer_timeout_msecs = 500;
    auto standin = std::make_shared<kal::_exiftool2>(QStringLiteral(EXIFTOOL_STANDIN), QStringList { "stall" }, 1);
    photo_jobs jobs(standin, dir.filePath("stalled-journal"));
    const std::vector<photo_facts> photos = jobs.load(paths);
    kal::exiftool_child::answer_timeout_msecs = saved;
    QCOMPARE(int(photos.size()), 2);
    for (const photo_facts& photo : photos) {
        QVERIFY(!photo.taken.isValid());
        QCOMPARE(photo.read_error, QString("ExifTool did not answer"));
    }
}

void tst_photo_jobs::leftover_copy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("written");
    QTest::newRow("finished copy, same as the photo") << "same" << true;
    QTest::newRow("unfinished copy of ours") << "ours" << true;
    QTest::newRow("copy of another program") << "foreign" << false;
    QTest::newRow("copy cut off while copied over") << "copying" << false;
}

void tst_photo_jobs::leftover_copy()
{
    QFETCH(QString, kind);
    QFETCH(bool, written);
    const QString path = dir.filePath(QStringLiteral("leftover-%1/photo.jpg").arg(kind));
    // Noise, so the photo is larger than the blocks exiftool copies in.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage noise(400, 400, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y) % 253, (x + 3 * y) % 241));
    }
    QVERIFY(noise.save(path, nullptr, 100));
    photo_jobs jobs(std::make_shared<kal::_exiftool2>(1), dir.filePath("leftover-" + kind + "-journal"));
    if (kind == "ours")
        QCOMPARE(jobs.sync({ typed(path, 5.5, 6.5) }).written, 1);
    QFile photo(path);
    QVERIFY(photo.open(QIODevice::ReadOnly));
    QByteArray bytes = photo.readAll();
    photo.close();
    if (kind == "ours" || kind == "foreign")
        bytes = bytes.left(1000);
    else if (kind == "copying")
        bytes[bytes.size() - 10] = char(bytes[bytes.size() - 10] ^ 0x55);
    QFile copy(path + "_exiftool_tmp");
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.write(bytes);
    copy.close();

    const photo_jobs::result result = jobs.sync({ typed(path, 7.5, 8.5) });
    QCOMPARE(result.written, written ? 1 : 0);
    QCOMPARE(QFile::exists(path + "_exiftool_tmp"), !written);
    if (!written)
        QVERIFY2(result.failed.front().reason.contains("photo.jpg_exiftool_tmp"), qPrintable(result.failed.front().reason));
}

void tst_photo_jobs::pool_sizes_agree()
{
    const int children = 3;
    const QString folder = QStringLiteral("pool%1").arg(children);
    const QStringList paths = make_photos(folder, 20);
    QCOMPARE(paths.size(), 20);
    const auto before = gps_groups(paths);

    // Each file alone on one child is the reference for the pool's batches.
    auto single = std::make_shared<kal::_exiftool2>(1);
    auto pool = std::make_shared<kal::_exiftool2>(children);
    std::vector<kal::_exiftool2::photo_read> read(paths.size());
    QList<int> order;
    pool->read_many(paths, [&](int index, const kal::_exiftool2::photo_read& r) {
        read[std::size_t(index)] = r;
        order << index;
    });
    QCOMPARE(order.size(), paths.size());
    for (int i = 0; i < paths.size(); ++i) {
        kal::_exiftool2::photo_read expected;
        single->read_many({ paths[i] }, [&](int, const kal::_exiftool2::photo_read& r) { expected = r; });
        const kal::_exiftool2::photo_read& got = read[std::size_t(i)];
        QVERIFY2(expected.tags == got.tags && expected.gps == got.gps && !got.tags.empty(), qPrintable(paths[i]));
        // The load's numbers are what a write's own read would find.
        QVERIFY(got.gps == single->read_gps_numbers(paths[i]));
    }
    QVERIFY(pool->child_pids().size() == std::size_t(children));

    // Loaded through the pool, every photo gets its own facts, in the order given.
    photo_jobs jobs(pool, dir.filePath(folder + "-journal"));
    const std::vector<photo_facts> loaded = jobs.load(paths);
    QCOMPARE(int(loaded.size()), 20);
    for (int i = 0; i < paths.size(); ++i) {
        QCOMPARE(loaded[std::size_t(i)].path, paths[i]);
        QCOMPARE(loaded[std::size_t(i)].taken.time(), QTime(10, i / 60, i % 60));
    }

    std::vector<photo_jobs::planned_write> plan;
    for (int i = 0; i < paths.size(); ++i)
        plan.push_back(typed(paths[i], -33.856812 + i * 1e-5, 151.215297 - i * 1e-5));
    int last = 0;
    const photo_jobs::result synced = jobs.sync(plan, [&](int done, int total) {
        QVERIFY(done == last + 1 || done > last);
        QCOMPARE(total, 60);
        last = done;
    });
    QCOMPARE(last, 60);
    QCOMPARE(int(synced.failed.size()), 0);
    QCOMPARE(synced.written, 20);
    const auto written = gps_groups(paths);
    for (int i = 0; i < paths.size(); ++i) {
        const QJsonObject& tags = written.at(paths[i]);
        QVERIFY(std::fabs(tags["GPS:GPSLatitude"].toDouble() - (33.856812 - i * 1e-5)) < 1e-7);
        QCOMPARE(tags["GPS:GPSLatitudeRef"].toString(), QString("S"));
        QVERIFY(std::fabs(tags["GPS:GPSLongitude"].toDouble() - (151.215297 - i * 1e-5)) < 1e-7);
    }

    const photo_jobs::result undone = jobs.undo();
    QCOMPARE(int(undone.failed.size()), 0);
    QCOMPARE(undone.written, 20);
    QVERIFY(jobs.journal().runs().empty());
    const auto after = gps_groups(paths);
    for (const QString& path : paths)
        QCOMPARE(after.at(path), before.at(path));
}

void tst_photo_jobs::killed_child_in_a_batch()
{
    const QStringList paths = make_photos("killed", 40);
    QCOMPARE(paths.size(), 40);
    auto pool = std::make_shared<kal::_exiftool2>(2);
    photo_jobs jobs(pool, dir.filePath("killed-journal"));
    std::vector<photo_jobs::planned_write> plan;
    for (const QString& path : paths)
        plan.push_back(typed(path, 47.5, 8.25));

    std::vector<qint64> killed;
    const photo_jobs::result result = jobs.sync(plan, [&](int done, int) {
        // At the first news of the first batch's writes (the reads before
        // them are one step per photo; progress may come several at once).
        if (killed.empty() && done > photo_jobs::batch_size) {
            killed = pool->child_pids();
            QVERIFY(!killed.empty());
            QCOMPARE(::kill(pid_t(killed.front()), SIGKILL), 0);
        }
    });
    QVERIFY(!killed.empty());
    // The file in flight is tried again unless the child had begun writing
    // it; then it is reported, and exiftool's unfinished copy left alone.
    QVERIFY(result.failed.size() <= 1);
    for (const photo_jobs::failure& f : result.failed)
        QVERIFY2(f.reason.contains("_exiftool_tmp") && QFile::exists(f.path + "_exiftool_tmp"), qPrintable(f.reason));
    QCOMPARE(result.written + int(result.failed.size()), 40);
    for (const qint64 pid : pool->child_pids())
        QVERIFY(pid != killed.front());
    for (const auto& [path, tags] : gps_groups(paths)) {
        if (result.failed.empty() || path != result.failed.front().path)
            QCOMPARE(tags["GPS:GPSLatitude"].toDouble(), 47.5);
    }
}

void tst_photo_jobs::journal_outlives_a_killed_program()
{
    const QStringList paths = make_photos("cut off", 60);
    QCOMPARE(paths.size(), 60);
    const auto before = gps_groups(paths);
    const QString journal = dir.filePath("cut-off-journal");

    QProcess helper;
    helper.start(SYNC_HELPER, QStringList { journal, "12.5", "-7.25" } + paths);
    QVERIFY(helper.waitForStarted());
    // Killed in the middle of the first batch: its part is on disk, the next one is not.
    bool killed = false;
    while (!killed && helper.waitForReadyRead(30000)) {
        while (helper.canReadLine()) {
            if (helper.readLine().trimmed() == "done 60") {
                ::kill(pid_t(helper.processId()), SIGKILL);
                killed = true;
                break;
            }
        }
    }
    QVERIFY(killed);
    helper.waitForFinished();

    QStringList written;
    for (const auto& [path, tags] : gps_groups(paths)) {
        if (tags["GPS:GPSLatitude"].toDouble() == 12.5)
            written << path;
    }
    QVERIFY2(written.size() > 0 && written.size() < 60, qPrintable(QString::number(written.size())));

    // Something else changes a written file: undo leaves it unless forced.
    QVERIFY(test_files::tag(written.first(), { "-GPSLatitude=1.5", "-GPSLatitudeRef=N" }));

    photo_jobs jobs(std::make_shared<kal::_exiftool2>(2), journal);
    QCOMPARE(int(jobs.journal().runs().size()), 1);
    const auto contents = jobs.journal().load(jobs.journal().runs().front().id);
    QVERIFY(contents);
    QSet<QString> journaled;
    for (const undo_journal::entry& e : contents->entries)
        journaled.insert(e.path);
    for (const QString& path : written)
        QVERIFY2(journaled.contains(path), qPrintable(path));
    QVERIFY(journaled.size() < 60);

    // The killed program's lock is taken over.
    const photo_jobs::result undone = jobs.undo();
    QCOMPARE(int(undone.failed.size()), 0);
    QCOMPARE(int(undone.changed_since.size()), 1);
    QCOMPARE(undone.changed_since.front().path, written.first());
    photo_jobs::undo_request forced;
    forced.force = true;
    QCOMPARE(jobs.undo(forced).written, 1);
    QVERIFY(jobs.journal().runs().empty());
    const auto after = gps_groups(paths);
    for (const QString& path : paths)
        QVERIFY2(after.at(path) == before.at(path), qPrintable(path));
}

QTEST_MAIN(tst_photo_jobs)
#include "tst_photo_jobs.moc"
