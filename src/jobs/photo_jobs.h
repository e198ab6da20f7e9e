#pragma once

#include "exif/exiftool.h"
#include "geo/gps_pos.h"
#include "jobs/undo_journal.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class table_data_model;

// The work on many photos behind the window and the terminal tool: loading,
// writing proposals, removing GPS data and undoing either. Every write keeps
// its restore data in the undo journal first and is checked afterwards.
class photo_jobs {
public:
    using tag_map = std::map<std::string, std::string>;

    struct failure {
        QString path;
        // The first line of exiftool's message, or what went wrong instead.
        QString reason;
    };

    struct result {
        int written = 0;
        std::vector<failure> failed;
        // Set when the journal could not be kept; nothing was written then.
        QString journal_error;
    };

    // One file's write: the tags, and the position it must hold afterwards
    // (none: no position at all).
    struct planned_write {
        QString path;
        tag_map tags;
        std::optional<std::pair<double, double>> position;
    };

    // Work done and work in all, in steps of one file.
    using progress = std::function<void(int done, int total)>;

    explicit photo_jobs(std::shared_ptr<kal::_exiftool2> bridge = kal::_exiftool2::instance(),
        const QString& journal_folder = undo_journal::default_folder());

    // Reads the photos among the files (the writable kinds) into the metadata
    // cache and adds them to the table, in the order given.
    void load(const QStringList& files, table_data_model& table, const progress& step = {});

    // What a sync writes: every row that has a proposal.
    static std::vector<planned_write> sync_plan(const table_data_model& table);
    result sync(const std::vector<planned_write>& plan, const progress& step = {});
    result remove_gps(const QStringList& paths, const progress& step = {});
    // Writes the journal's restore data back and removes the journal.
    result undo(const progress& step = {});

    undo_journal& journal() { return log; }

    // The GPS tags a sync may write or clear, in the order they are recorded.
    static const std::vector<std::string>& undo_tags();
    // What a sync writes for one proposal; with clear_others the GPS tags
    // besides the position are emptied too.
    static tag_map position_tags(const gps_pos& position, bool clear_others);
    // What puts a file's GPS group back as it was, from its numbers as
    // read_gps_numbers gives them: every tag it had, exactly, and every tag
    // a write may add removed.
    static tag_map restore_tags(const tag_map& numbers);
    // The signed position a file's GPS numbers hold, if any.
    static std::optional<std::pair<double, double>> position_of(const tag_map& numbers);

private:
    result write_all(const QString& operation, const std::vector<planned_write>& plan, const progress& step);

    std::shared_ptr<kal::_exiftool2> bridge;
    undo_journal log;
};

// The files a path stands for: a file itself, or the readable files directly
// inside a folder (with recursive, in its sub-folders too).
QStringList expand_path(const QString& path, bool recursive = false);
