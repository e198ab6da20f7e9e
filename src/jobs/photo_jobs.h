#pragma once

#include "engine/assignment.h"
#include "exif/exiftool.h"
#include "exif/file_kinds.h"
#include "exif/photo_facts.h"
#include "geo/gps_pos.h"
#include "jobs/path_listing.h"
#include "jobs/undo_journal.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>


// The work on many photos behind the window and the terminal tool: loading,
// writing proposals, removing GPS data and undoing either. Every write keeps
// its restore data in the undo journal first and is checked afterwards; one
// process writes at a time.
class photo_jobs {
public:
    using tag_map = std::map<std::string, std::string>;

    struct failure {
        QString path;
        // The first line of exiftool's message, or what went wrong instead.
        QString reason;
    };

    // What became of the photos of one write or undo.
    struct result {
        // Changed and verified (undo: restored).
        int written = 0;
        // Already as meant; nothing needed writing.
        QStringList unchanged;
        // Not changed, each with its reason.
        std::vector<failure> failed;
        // Changed, but the read-back does not show what was meant, or could
        // not be made.
        std::vector<failure> unverified;
        // Undo: changed by another program since our write, so left alone.
        std::vector<failure> changed_since;
        // Why the job stopped before its end (undo data not stored, another
        // writer); the photos it did not reach are among `failed`.
        QString stopped;
        // Undo: journal files that could not be read, and the photos they held.
        QStringList damaged;
        int damaged_photos = 0;
        // The run written or undone.
        QString run;
    };

    // One photo's write: the tags, the file they go into (the photo, or a
    // sidecar), and the position it must hold afterwards (none: no position).
    struct planned_write {
        QString path;
        tag_map tags;
        std::optional<lat_lon> position;
        // Empty: the photo itself.
        QString target;
        // Place names for the position; written only into a photo that holds
        // none yet, unless replace_names.
        tag_map names;
        bool replace_names = false;
        const QString& file() const { return target.isEmpty() ? path : target; }
    };

    // Whether photos with a position of their own take a proposal too.
    enum class overwrite_policy { keep_own, overwrite };
    // How positions are written.
    struct write_options {
        overwrite_policy policy = overwrite_policy::keep_own;
        // Raw files keep their position in an XMP sidecar, and are never opened for writing.
        bool sidecars = false;
        sidecar_naming naming = sidecar_naming::with_extension;
        // The nearest town's name, region and country go with each position.
        bool place_names = false;
        bool replace_place_names = false;
    };
    // Where a position is kept: EXIF's GPS group, XMP, or a video's tags.
    enum class position_store { exif, xmp, video };

    struct undo_request {
        // Empty: the newest run.
        QString run;
        // Only these photos of the run; empty: all of them.
        QSet<QString> only;
        // Restore also photos changed by another program since our write.
        bool force = false;
    };

    // Work done and work in all, in steps of one file.
    using progress = std::function<void(int done, int total)>;

    // How long a job waits for another process that is writing photos.
    static int lock_wait_msecs;
    // Photos per journal part: their restore data is on disk before any of
    // them is written, and a batch keeps every child busy.
    static int batch_size;

    explicit photo_jobs(std::shared_ptr<kal::_exiftool2> bridge = kal::_exiftool2::instance(),
        const QString& journal_folder = undo_journal::default_folder());

    // Reads the photos among the files (the kinds ExifTool writes) into the
    // metadata cache and gives their facts, in the order given; files `known`
    // says are listed already are not read again; the files that are no
    // photos go to `passed_over`. A raw file's position may come from its sidecar.
    std::vector<photo_facts> load(const QStringList& files, const progress& step = {},
        const std::function<bool(const QString&)>& known = {},
        std::vector<path_listing::skipped>* passed_over = nullptr);

    // What a sync writes: every photo with a proposal, but those that would
    // lose their own position when they are to keep it.
    static std::vector<planned_write> plan(const std::vector<photo_facts>& photos,
        const std::vector<assignment>& results, const assignment_settings& settings, const write_options& options);
    result sync(const std::vector<planned_write>& plan, const progress& step = {});
    result remove_gps(const std::vector<photo_facts>& photos, const write_options& options, const progress& step = {});
    // Writes a run's restore data back; photos that could not be restored
    // stay in the journal for another try.
    result undo(const undo_request& request, const progress& step = {});
    result undo() { return undo(undo_request()); }

    // Removes a run's undo data on the user's word.
    bool discard(const QString& run, QString* error);

    undo_journal& journal() { return log; }

    // Why a photo cannot be written because of a temporary file that an
    // earlier write of exiftool left beside it; empty when there is none, or
    // it is an unfinished copy of ours that can go.
    QString leftover_problem(const QString& path);

    // The GPS tags a sync may write or clear, in the order they are recorded.
    static const std::vector<std::string>& undo_tags();
    // What a sync writes for one proposal (no position: remove it); with
    // clear_others the GPS tags besides the position are emptied too.
    static tag_map position_tags(const std::optional<lat_lon>& position, const std::optional<double>& altitude,
        const std::optional<qint64>& gps_time_msecs, bool clear_others, position_store where = position_store::exif);
    // The track's direction of travel and speed (GPSTrack, GPSImgDirection, GPSSpeed).
    static void add_course(tag_map& tags, const std::optional<double>& course, const std::optional<double>& speed_kmh,
        position_store where);
    // The place names for a position where photo libraries read them (XMP,
    // and IPTC in JPEG and TIFF files); empty at sea. Names a town has not
    // are empty, so that replacing names leaves none of the old ones.
    static tag_map place_name_tags(const lat_lon& position, bool iptc);
    // Of a planned write's names, those to send to a file holding `before`.
    static tag_map names_to_write(const planned_write& write, const tag_map& before);
    // What puts the groups a write touches back as they were, from the
    // file's numbers as read_gps_numbers gives them: every tag it had,
    // exactly, and every tag the write may add removed.
    static tag_map restore_tags(const tag_map& numbers, const tag_map& written);
    // Whether the numbers hold what the restore tags would write.
    static bool holds(const tag_map& numbers, const tag_map& restore);
    // The signed position a file's GPS numbers hold, if any.
    static std::optional<lat_lon> position_of(const tag_map& numbers);

private:
    struct write_item;
    result write_all(const QString& operation, const std::vector<planned_write>& plan, const progress& step);
    void write_batch(std::vector<write_item>& batch, result& out, const progress& advance);
    void read_sidecars(std::vector<photo_facts>& facts);
    static position_store store_for(const photo_facts& photo, const write_options& options, QString* target);
    // Removes an unfinished copy of ours; the reason when something else lies there.
    QString clear_leftover(const QString& path, bool remove);

    std::shared_ptr<kal::_exiftool2> bridge;
    undo_journal log;
};

