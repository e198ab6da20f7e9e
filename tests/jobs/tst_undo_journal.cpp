// The undo journal's files: runs newest first, parts that survive damage to
// others, and the layout of earlier versions taken over.

#include "jobs/undo_journal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using tag_map = undo_journal::tag_map;

class tst_undo_journal : public QObject {
    Q_OBJECT

private slots:
    void history_and_damage();

private:
    QTemporaryDir dir;
};

void tst_undo_journal::history_and_damage()
{
    const QString folder = dir.filePath("history");
    undo_journal journal(folder);
    QVERIFY(journal.runs().empty());
    QString error;
    const QDateTime when = QDateTime::currentDateTimeUtc();
    const auto entry = [&when](const char* path, const char* lat) {
        return undo_journal::entry { path, { { "GPS:GPSLatitude#", lat } }, when, true, std::pair { 1.0, 2.0 }, {}, {} };
    };
    journal.begin("sync", { "/photos" });
    int part = 0;
    QVERIFY(journal.record({ entry("/a", "1.5"), entry("/b", "2.5") }, &part, &error));
    QVERIFY(journal.record({ entry("/c", "3.5") }, &part, &error));
    QCOMPARE(part, 2);
    const QString first = journal.current_run();
    journal.finish();
    journal.begin("removal", { "/photos" });
    QVERIFY(journal.record({ entry("/a", "9") }, &part, &error));
    journal.finish();

    // Read by a journal that did not write it, as after a restart.
    undo_journal later(folder);
    const std::vector<undo_journal::run_info> runs = later.runs();
    QCOMPARE(int(runs.size()), 2);
    QCOMPARE(runs[0].operation, QString("removal"));
    QCOMPARE(runs[1].id, first);
    QCOMPARE(runs[1].photos, 3);
    QCOMPARE(runs[1].folders, QStringList { "/photos" });
    QCOMPARE(later.written_later(first), QSet<QString> { "/a" });

    // A part cut off by a full disk, and a damaged description: what can be
    // read still is, and the damage is named with the photos it held.
    const QString run_folder = folder + "/runs/" + first;
    QFile part_file(QDir(run_folder).filePath(QDir(run_folder).entryList({ "part-000002-*" }).value(0)));
    QVERIFY(part_file.open(QIODevice::ReadWrite));
    part_file.resize(part_file.size() / 2);
    part_file.close();
    QFile header(run_folder + "/run.json");
    QVERIFY(header.open(QIODevice::WriteOnly | QIODevice::Truncate));
    header.write("{\"operat");
    header.close();
    const std::optional<undo_journal::run> damaged = later.load(first);
    QVERIFY(damaged);
    QCOMPARE(int(damaged->entries.size()), 2);
    QCOMPARE(damaged->info.damaged_photos, 1);
    QCOMPARE(damaged->info.damaged_files.size(), 2);
    QCOMPARE(damaged->entries[0].restore, (tag_map { { "GPS:GPSLatitude#", "1.5" } }));

    // Undo kept "/b" back: the run keeps it, the damaged files are moved aside.
    QVERIFY(later.keep(first, { "/b" }, &error));
    QCOMPARE(later.load(first)->entries.size(), std::size_t(1));
    QCOMPARE(QDir(folder + "/damaged").entryList(QDir::Files).size(), 2);
    QVERIFY(later.keep(first, {}, &error));
    QCOMPARE(int(later.runs().size()), 1);

    // A journal of the earlier single-run layout is taken over as a run.
    const QString old = dir.filePath("old-layout");
    QVERIFY(QDir().mkpath(old));
    QFile old_header(old + "/journal.json");
    QVERIFY(old_header.open(QIODevice::WriteOnly));
    old_header.write(R"({"operation":"sync","started":"2024-05-01T10:00:00.000Z"})");
    old_header.close();
    QFile old_part(old + "/part-000001.json");
    QVERIFY(old_part.open(QIODevice::WriteOnly));
    old_part.write(R"({"entries":[{"path":"/x","written":"2024-05-01T10:00:01.000Z","restore":{"GPS:GPSLatitude":""}}]})");
    old_part.close();
    undo_journal adopted(old);
    QCOMPARE(int(adopted.runs().size()), 1);
    const std::optional<undo_journal::run> old_run = adopted.load(adopted.runs().front().id);
    QCOMPARE(old_run->info.operation, QString("sync"));
    QCOMPARE(old_run->entries.front().path, QString("/x"));
    QVERIFY(!old_run->entries.front().intended_known);
}

QTEST_GUILESS_MAIN(tst_undo_journal)
#include "tst_undo_journal.moc"
