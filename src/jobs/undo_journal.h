#pragma once

#include "exif/file_stamp.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QLockFile;

// The restore data of every sync and removal, kept on disk as a history of
// runs so that undo outlives the program, a crash, and later runs. Each
// batch of a run is one part file, on the disk (flushed, renamed, folder
// synced) before any of its photos is touched. Files that cannot be read are
// moved aside, never deleted.
class undo_journal {
public:
    using tag_map = std::map<std::string, std::string>;
    using position = std::pair<double, double>;

    struct entry {
        QString path;
        // What undo writes back, in exiftool's write form.
        tag_map restore;
        // When our write into the file began.
        QDateTime written;
        // What the write meant the photo to hold: a position, or none. Unknown
        // for entries kept by older versions.
        bool intended_known = false;
        std::optional<position> intended;
        // The GPS group as read back after our write, once it was, and the
        // file's stamp taken just before that read: while the file keeps
        // it, it still holds `after`.
        std::optional<tag_map> after;
        std::optional<file_stamp> stamp;
        // Our write made the file (a sidecar); undo removes it.
        bool created = false;
    };

    struct run_info {
        QString id;
        // "sync" or "removal"; empty when the run's description is damaged.
        QString operation;
        QDateTime started;
        QStringList folders;
        int photos = 0;
        // Photos whose restore data cannot be read, and the files that held them.
        int damaged_photos = 0;
        QStringList damaged_files;
        qint64 bytes = 0;
    };

    struct run {
        run_info info;
        std::vector<entry> entries;
    };

    // The user's data folder, sub-folder "undo".
    static QString default_folder();
    // Runs beyond the newest ones are dropped, oldest first, once all runs
    // together take more than this.
    static constexpr int runs_always_kept = 20;
    static constexpr qint64 size_limit = 100 * 1024 * 1024;
    // For tests: bytes the journal may still write before the disk is "full".
    static qint64 space_left_for_tests;

    explicit undo_journal(const QString& folder = default_folder());
    ~undo_journal();
    Q_DISABLE_COPY_MOVE(undo_journal)

    const QString& folder() const { return where; }

    // One writer at a time, across processes. Waits up to `wait_msecs` for
    // another writer; a lock left by a killed program is taken over.
    bool lock(int wait_msecs, QString* error);
    void unlock();

    // Every run, newest first; a journal of an older version becomes a run.
    std::vector<run_info> runs();
    bool has_runs() { return !runs().empty(); }
    // A run's readable entries; files that cannot be read are named in its info.
    std::optional<run> load(const QString& id);
    // The run's photos that a newer run wrote again.
    QSet<QString> written_later(const QString& id);

    // Starts a run of its own; nothing is stored until the first record.
    void begin(const QString& operation, const QStringList& folders);
    const QString& current_run() const { return current; }
    // Adds entries as a new part of the current run; true once on the disk.
    bool record(const std::vector<entry>& entries, int* part, QString* error);
    // Replaces a part of the current run, e.g. with what was read back; an
    // empty list removes it.
    bool rewrite(int part, const std::vector<entry>& entries, QString* error);
    // Ends the current run: an empty run is removed, old runs beyond the
    // limits are dropped.
    void finish();

    // Keeps only the given photos of a run (after an undo restored the rest);
    // the run goes when none is left. Damaged files go to the folder "damaged".
    bool keep(const QString& id, const QSet<QString>& paths, QString* error);
    // Removes a run and its restore data on the user's word.
    bool discard(const QString& id);

private:
    QString run_folder(const QString& id) const;
    void adopt_old_journal();
    void move_aside(const QString& file);
    bool store_run_header(QString* error);

    QString where;
    std::unique_ptr<QLockFile> lock_file;
    QString current;
    QString current_operation;
    QStringList current_folders;
    QDateTime current_started;
    int parts_stored = 0;
};

// What a run did, for people: "25 positions written", "GPS data removed from
// 3 photos".
QString run_summary(const undo_journal::run_info& info);
