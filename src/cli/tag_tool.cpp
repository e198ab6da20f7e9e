#include "cli/tag_tool.h"

#include "exif/exif_cache.h"
#include "exif/exiftool.h"
#include "geo/camera_clock.h"
#include "geo/coordinate_parser.h"
#include "geo/gps_pos.h"
#include "geo/gps_track.h"
#include "geo/offset_search.h"
#include "geo/track_file.h"
#include "jobs/photo_jobs.h"
#include "engine/assignment.h"
#include "places/places.h"
#include "toolkit/counted.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <optional>

#include <unistd.h>

namespace tag_tool {
namespace {

// In the order of the modes' numbers.
const QStringList mode_names = { "previous", "next", "closest", "position", "track" };

enum class action { assign, remove_gps, undo, undo_list };
enum class report_format { text, json, csv };
const QStringList format_names = { "text", "json", "csv" };

struct choices {
    action what = action::assign;
    assignment_settings settings;
    QList<track_data> tracks;
    bool overwrite = false;
    photo_jobs::write_options write;
    bool video_local = false;
    bool dry_run = false;
    QString undo_run;
    bool force = false;
    // Only search the clock offset that puts the most photos on the track.
    bool guess_offset = false;
    report_format format = report_format::text;
    path_listing listing;
};

struct report_row {
    QString path;
    QDateTime local;
    std::optional<qint64> utc;
    // "camera", "file" (the file's date stands in), or empty: no time.
    QString time_source;
    QString outcome;
    // The photo or track point the position came from.
    QString source;
    // Why there is no position.
    QString reason;
    std::optional<std::pair<double, double>> position;
    QString status;
    // ExifTool's reason, for a failed write.
    QString error;
};

struct report {
    std::vector<report_row> rows;
    bool dry_run = false;
    int count(std::initializer_list<const char*> statuses) const
    {
        return int(std::count_if(rows.begin(), rows.end(), [&](const report_row& row) {
            return std::any_of(
                statuses.begin(), statuses.end(), [&](const char* s) { return row.status == s; });
        }));
    }
    int written() const { return count({ "written", "removed", "restored" }); }
    int would_write() const { return count({ "would_write", "would_remove", "would_restore" }); }
    int unchanged() const { return count({ "kept", "unchanged" }); }
    int failed() const { return count({ "failed", "unverified", "changed_since", "skipped" }); }
    int without_position() const { return count({ "no_position" }); }
    // Why the job stopped early; damaged undo data.
    QString stopped;
    QString damaged;
};

void print(std::FILE* file, const QString& text)
{
    std::fputs(text.toUtf8().constData(), file);
}

// One line of progress on standard error, only where someone watches it.
class progress_line {
public:
    explicit progress_line(std::FILE* err)
        : err(err)
        , shown(isatty(fileno(err)))
    {
    }
    ~progress_line() { clear(); }

    photo_jobs::progress step(const QString& what)
    {
        if (!shown)
            return {};
        return [this, what](int done, int total) {
            print(err, QStringLiteral("\r%1 %2/%3").arg(what).arg(done).arg(total));
            std::fflush(err);
            dirty = true;
        };
    }
    void clear()
    {
        if (dirty)
            std::fputs("\r\033[K", err);
        dirty = false;
    }

private:
    std::FILE* err;
    bool shown;
    bool dirty = false;
};

// "90s", "5m", "2h", or a plain number of minutes as the window takes it.
std::optional<qint64> parse_duration(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9})([smh]?)$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2);
    return match.captured(1).toLongLong() * (unit == "s" ? 1 : unit == "h" ? 3600 : 60);
}

QString exiftool_line()
{
    const QString version = kal::exiftool_version();
    return version.isEmpty() ? QStringLiteral("ExifTool not found") : QStringLiteral("ExifTool ") + version;
}

// Reads the arguments into `chosen`; an exit status when the run ends here.
const QString not_utf8 = QStringLiteral("its name is not UTF-8, so ExifTool cannot be given it");

std::optional<int> read_choices(const QStringList& arguments, const std::map<QString, QString>& undecodable,
    choices& chosen, std::FILE* out, std::FILE* err)
{
    const auto fail = [err](const QString& message) {
        print(err, QStringLiteral("vestra-tag: %1\nTry 'vestra-tag --help'.\n").arg(message));
        return std::optional<int>(bad_arguments);
    };
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Gives photos a GPS position, as the Vestra window does, and writes it into the files.\n"
        "Exit status: 0 when every photo that should get a position got it and was written, "
        "1 when some could not be given one or written (or undone), 2 for bad arguments or unreadable track "
        "files, 3 when nothing among the paths is a photo it can handle."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PATH"),
        QStringLiteral("Photos, and folders standing for the photos directly inside them."),
        QStringLiteral("PATH..."));
    const QCommandLineOption recursive(
        { "r", "recursive" }, QStringLiteral("Take the photos in the folders' sub-folders too."));
    const QCommandLineOption mode(QStringLiteral("mode"),
        QStringLiteral("Where positions come from: previous, next or closest tagged photo in time, the "
                       "typed position, or the GPS track (default: closest; position with --position, "
                       "track with --gpx)."),
        QStringLiteral("MODE"));
    const QCommandLineOption max_diff(QStringLiteral("max-diff"),
        QStringLiteral("The farthest in time a source may be: minutes, or 90s, 5m, 2h; 0 for no limit "
                       "(the track mode's default is 30 minutes)."),
        QStringLiteral("DURATION"));
    const QCommandLineOption position(QStringLiteral("position"),
        QStringLiteral("The position for --mode position, in decimal degrees or degrees, minutes "
                       "and seconds, signed or with N, S, E, W, e.g. \"-19.178194, 46.501221\" or "
                       "\"19°10'41.5\"S 46°30'4.4\"E\", or a town, e.g. \"Arezzo, Italy\"."),
        QStringLiteral("LAT, LON"));
    const QCommandLineOption gpx(QStringList { QStringLiteral("gpx"), QStringLiteral("track") },
        QStringLiteral("A track file for the track mode (GPX, KML, KMZ, TCX, FIT, NMEA, IGC, GeoJSON, CSV "
                       "or a phone's location history), known by its content; may be repeated."),
        QStringLiteral("FILE"));
    const QCommandLineOption max_end(QStringLiteral("max-end"),
        QStringLiteral("How far before the track's first or after its last point a photo may lie, as "
                       "--max-diff (default: as --max-diff)."),
        QStringLiteral("DURATION"));
    const QCommandLineOption across(QStringLiteral("across-segments"),
        QStringLiteral("Interpolate across the breaks between a track's segments too."));
    const QCommandLineOption direction(QStringLiteral("direction"),
        QStringLiteral("Write the track's direction of travel and speed with the position."));
    const QCommandLineOption guess(QStringLiteral("guess-offset"),
        QStringLiteral("Search the camera clock offset (within 14 hours, to the minute) that puts the most "
                       "photos on the track, print it and change nothing."));
    const QCommandLineOption accuracy(QStringLiteral("accuracy-limit"),
        QStringLiteral("Points of a location history less accurate than this many metres are left out "
                       "(default: 200)."),
        QStringLiteral("METRES"));
    const QCommandLineOption zone(QStringLiteral("camera-zone"),
        QStringLiteral("The zone the camera clock was set to: local, UTC, +05:45 or a name such as "
                       "Europe/Berlin (default: local)."),
        QStringLiteral("ZONE"));
    const QCommandLineOption offset(QStringLiteral("clock-offset"),
        QStringLiteral("How far the camera clock ran ahead, [+-][hh:]mm:ss."), QStringLiteral("OFFSET"));
    const QCommandLineOption drift(QStringLiteral("drift"),
        QStringLiteral("A camera clock that gained or lost time steadily: two readings of it against "
                       "the true time, both wall times in the camera's zone, e.g. "
                       "\"2019-05-01T08:00:00=2019-05-01T08:00:10,2019-05-09T08:00:00=2019-05-09T07:59:20\"; "
                       "adds to --clock-offset."),
        QStringLiteral("CAMERA=TRUE,CAMERA=TRUE"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"),
        QStringLiteral("Photos with a position of their own get the typed or the track's position too."));
    const QCommandLineOption sidecar(QStringLiteral("sidecar"),
        QStringLiteral("Write raw files' positions into XMP sidecars (IMG_1.CR3.xmp) and never open the raw "
                       "files for writing."));
    const QCommandLineOption sidecar_name(QStringLiteral("sidecar-name"),
        QStringLiteral("How sidecars are named: NAME.EXT.xmp (default) or NAME.xmp."), QStringLiteral("FORM"));
    const QCommandLineOption place_names(QStringLiteral("place-names"),
        QStringLiteral("Write the nearest town, its region and country with each position (XMP, and IPTC "
                       "in JPEG and TIFF files), into photos that have no place names yet."));
    const QCommandLineOption replace_names(QStringLiteral("replace-place-names"),
        QStringLiteral("With --place-names, replace the place names photos have already."));
    const QCommandLineOption video_local(QStringLiteral("video-local-time"),
        QStringLiteral("The videos' times are the camera's local time, not UTC as phones store them."));
    const QCommandLineOption dry_run(
        QStringLiteral("dry-run"), QStringLiteral("Report what would be written, and write nothing."));
    const QCommandLineOption undo(QStringLiteral("undo"),
        QStringLiteral("Take back the newest run of writes, made in the window or here; given a RUN "
                       "(as --undo-list names it) in place of PATH, take back that one."));
    const QCommandLineOption undo_list(
        QStringLiteral("undo-list"), QStringLiteral("List the runs that can be undone, newest first."));
    const QCommandLineOption force(QStringLiteral("force"),
        QStringLiteral("With --undo: restore also photos that another program changed since our write."));
    const QCommandLineOption remove(
        QStringLiteral("remove-gps"), QStringLiteral("Remove all GPS data from the photos."));
    const QCommandLineOption format(QStringLiteral("format"),
        QStringLiteral("The report's form: text, json or csv (default: text)."), QStringLiteral("FORMAT"),
        QStringLiteral("text"));
    parser.addOptions(
        { recursive, mode, max_diff, max_end, across, direction, position, gpx, accuracy, guess, zone, offset, drift, overwrite, sidecar, sidecar_name, place_names,
            replace_names, video_local, dry_run, undo, undo_list, force, remove, format });
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help) || parser.isSet(version)) {
        print(out,
            parser.isSet(help) ? parser.helpText()
                               : QStringLiteral("vestra-tag %1\n%2\n")
                                     .arg(QCoreApplication::applicationVersion(), exiftool_line()));
        return int(done);
    }

    const int format_index = format_names.indexOf(parser.value(format));
    if (format_index < 0)
        return fail(QStringLiteral("unknown --format \"%1\"").arg(parser.value(format)));
    chosen.format = report_format(format_index);
    chosen.dry_run = parser.isSet(dry_run);
    chosen.overwrite = parser.isSet(overwrite);
    chosen.write.policy
        = chosen.overwrite ? photo_jobs::overwrite_policy::overwrite : photo_jobs::overwrite_policy::keep_own;
    chosen.write.sidecars = parser.isSet(sidecar);
    if (parser.isSet(sidecar_name)) {
        const QString form = parser.value(sidecar_name);
        if (form != QLatin1String("NAME.EXT.xmp") && form != QLatin1String("NAME.xmp"))
            return fail(QStringLiteral("--sidecar-name is NAME.EXT.xmp or NAME.xmp, not \"%1\"").arg(form));
        chosen.write.naming
            = form == QLatin1String("NAME.xmp") ? sidecar_naming::without_extension : sidecar_naming::with_extension;
    }
    chosen.write.place_names = parser.isSet(place_names);
    chosen.write.replace_place_names = parser.isSet(replace_names);
    if (chosen.write.replace_place_names && !chosen.write.place_names)
        return fail(QStringLiteral("--replace-place-names goes with --place-names"));
    chosen.video_local = parser.isSet(video_local);
    if (const std::optional<camera_clock> clock = camera_clock::from_zone_text(parser.value(zone)))
        chosen.settings.clock = *clock;
    else if (parser.isSet(zone))
        return fail(QStringLiteral("unknown --camera-zone \"%1\"").arg(parser.value(zone)));
    if (parser.isSet(offset)) {
        const std::optional<qint64> seconds = camera_clock::parse_offset(parser.value(offset));
        if (!seconds)
            return fail(QStringLiteral("cannot read --clock-offset \"%1\"").arg(parser.value(offset)));
        chosen.settings.clock.clock_offset = *seconds;
    }
    if (parser.isSet(drift)) {
        chosen.settings.clock.drift = camera_clock::parse_drift(parser.value(drift));
        if (!chosen.settings.clock.drift)
            return fail(QStringLiteral("cannot read --drift \"%1\"").arg(parser.value(drift)));
    }

    const bool assigning = parser.isSet(mode) || parser.isSet(max_diff) || parser.isSet(position)
        || parser.isSet(gpx) || parser.isSet(overwrite) || parser.isSet(max_end) || parser.isSet(across)
        || parser.isSet(direction) || parser.isSet(guess);
    const QStringList paths = parser.positionalArguments();
    if (parser.isSet(force) && !parser.isSet(undo))
        return fail(QStringLiteral("--force goes with --undo"));
    if (parser.isSet(undo_list)) {
        if (parser.isSet(undo) || parser.isSet(remove) || assigning || !paths.isEmpty())
            return fail(QStringLiteral("--undo-list takes nothing else"));
        chosen.what = action::undo_list;
        return std::nullopt;
    }
    if (parser.isSet(undo) || parser.isSet(remove)) {
        if (parser.isSet(undo) && parser.isSet(remove))
            return fail(QStringLiteral("--undo and --remove-gps exclude each other"));
        if (assigning)
            return fail(QStringLiteral("--undo and --remove-gps take no assignment options"));
        chosen.what = parser.isSet(undo) ? action::undo : action::remove_gps;
        if (chosen.what == action::undo) {
            if (paths.size() > 1)
                return fail(QStringLiteral("--undo takes one RUN at most"));
            chosen.undo_run = paths.value(0);
            chosen.force = parser.isSet(force);
            return std::nullopt;
        }
    } else {
        if (parser.isSet(mode))
            chosen.settings.mode = sync_mode_of(mode_names.indexOf(parser.value(mode)));
        else if (parser.isSet(gpx) || parser.isSet(position))
            chosen.settings.mode = parser.isSet(gpx) ? sync_mode::track : sync_mode::typed;
        if (chosen.settings.mode == sync_mode::none)
            return fail(QStringLiteral("unknown --mode \"%1\"").arg(parser.value(mode)));
        if (parser.isSet(position) != (chosen.settings.mode == sync_mode::typed))
            return fail(QStringLiteral("--position goes with --mode position, and it with --position"));
        if (parser.isSet(gpx) != (chosen.settings.mode == sync_mode::track))
            return fail(QStringLiteral("--gpx goes with --mode track, and it with --gpx"));
        if (parser.isSet(max_diff)) {
            const std::optional<qint64> seconds = parse_duration(parser.value(max_diff));
            if (!seconds)
                return fail(QStringLiteral("cannot read --max-diff \"%1\"").arg(parser.value(max_diff)));
            // 0 means no limit, in the track mode too.
            chosen.settings.time_limit_secs = *seconds;
        }
        if (parser.isSet(position)) {
            const QString text = parser.value(position);
            const position_reading pos = parse_position(text);
            if (pos.ok()) {
                chosen.settings.typed = lat_lon { *pos.lat, *pos.lon };
            } else {
                // Not a coordinate: perhaps a town.
                const place_match match = resolve_place(text);
                if (match.found) {
                    chosen.settings.typed = lat_lon { match.found->lat, match.found->lon };
                    print(err, QStringLiteral("--position \"%1\" is %2 (%3, %4)\n")
                                   .arg(text, place_title(*match.found))
                                   .arg(match.found->lat, 0, 'f', 5)
                                   .arg(match.found->lon, 0, 'f', 5));
                } else if (!match.candidates.isEmpty()) {
                    QStringList names;
                    for (const place& p : match.candidates)
                        names << place_title(p);
                    return fail(QStringLiteral("--position \"%1\" could mean several towns; name one with its "
                                               "region or country:\n  %2")
                                    .arg(text, names.join(QStringLiteral("\n  "))));
                } else {
                    return fail(QStringLiteral("cannot read --position \"%1\": %2, and no town is called so")
                                    .arg(text, pos.error));
                }
            }
        }
        track_file_options reading;
        if (parser.isSet(accuracy)) {
            bool ok = false;
            reading.accuracy_limit = parser.value(accuracy).toDouble(&ok);
            if (!ok || !(reading.accuracy_limit > 0))
                return fail(QStringLiteral("cannot read --accuracy-limit \"%1\"").arg(parser.value(accuracy)));
        }
        for (const QString& file : parser.values(gpx)) {
            if (undecodable.count(file))
                return fail(QStringLiteral("the track file's name %1 is not UTF-8").arg(undecodable.at(file)));
            const track_file read(file, reading);
            if (!read.error.isEmpty() || read.tracks.isEmpty())
                return fail(read.error.isEmpty() ? QStringLiteral("the track file \"%1\" holds no track").arg(file)
                                                 : read.describe(file));
            if (!read.problems.isEmpty())
                print(err, QStringLiteral("vestra-tag: %1\n").arg(read.describe(file)));
            if (read.inaccurate > 0)
                print(err, QStringLiteral("vestra-tag: %1: %2 left out for their accuracy\n")
                               .arg(file, counted(read.inaccurate, "1 point", "%1 points")));
            chosen.tracks += read.tracks;
        }
        if (parser.isSet(max_end)) {
            const std::optional<qint64> seconds = parse_duration(parser.value(max_end));
            if (!seconds)
                return fail(QStringLiteral("cannot read --max-end \"%1\"").arg(parser.value(max_end)));
            chosen.settings.end_limit_secs = *seconds;
        }
        chosen.settings.across_segments = parser.isSet(across);
        chosen.settings.with_course = parser.isSet(direction);
        const bool track_only = parser.isSet(max_end) || parser.isSet(across) || parser.isSet(direction);
        if (track_only && chosen.settings.mode != sync_mode::track)
            return fail(QStringLiteral("--max-end, --across-segments and --direction go with a track"));
        chosen.guess_offset = parser.isSet(guess);
        if (chosen.guess_offset && (chosen.settings.mode != sync_mode::track || parser.isSet(dry_run)))
            return fail(QStringLiteral("--guess-offset goes with a track, and writes nothing anyway"));
        chosen.settings.track = gps_track(chosen.tracks);
        chosen.settings.track_overwrites = chosen.overwrite;
        if (chosen.settings.mode == sync_mode::track && chosen.settings.track.empty())
            return fail(QStringLiteral("none of the track points can be used"));
    }

    if (chosen.what != action::undo && paths.isEmpty())
        return fail(QStringLiteral("no PATH given"));
    for (const QString& path : paths) {
        if (undecodable.count(path)) {
            chosen.listing.passed_over.push_back({ undecodable.at(path), not_utf8 });
            continue;
        }
        const QFileInfo info(path);
        if (!info.exists())
            return fail(QStringLiteral("no such file or folder: %1").arg(path));
        // Absolute, so that the undo journal holds paths that work from anywhere.
        chosen.listing.add(list_paths({ QDir::cleanPath(info.absoluteFilePath()) }, parser.isSet(recursive)));
    }
    chosen.listing.files.removeDuplicates();
    return std::nullopt;
}

// The report's names, in the order of the model's enumerators.
QString origin_name(assignment::origin how)
{
    static const QStringList names
        = { "none", "own", "previous", "next", "position", "track_point", "interpolated" };
    return names.value(int(how));
}

QString missing_name(assignment::missing why)
{
    static const QStringList names = { "", "no_source", "too_far", "no_time", "no_track", "unreadable" };
    return names.value(int(why));
}

QString utc_text(qint64 msecs, const QString& form)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(form);
}

// The photos a job did not write as meant, with their status and reason.
struct job_outcome {
    std::map<QString, std::pair<QString, QString>> photos;
    QString stopped;

    void add(const std::vector<photo_jobs::failure>& list, const char* status)
    {
        for (const photo_jobs::failure& f : list)
            photos[f.path] = { QString::fromLatin1(status), f.reason };
    }
};

job_outcome outcome_of(const photo_jobs::result& result)
{
    job_outcome out;
    out.add(result.failed, "failed");
    out.add(result.unverified, "unverified");
    out.add(result.changed_since, "changed_since");
    for (const QString& path : result.unchanged)
        out.photos[path] = { QStringLiteral("unchanged"), QString() };
    out.stopped = result.stopped;
    return out;
}

void set_status(report_row& row, const job_outcome& outcome, const QString& status)
{
    const auto it = outcome.photos.find(row.path);
    row.status = it == outcome.photos.end() ? status : it->second.first;
    if (it != outcome.photos.end())
        row.error = it->second.second;
}

// The photos, loaded and in time order, with what the engine proposes.
struct photo_set {
    std::vector<photo_facts> photos;
    std::vector<assignment> results;
};

// When the photo was taken, and whether the camera said so.
void set_time(report_row& line, const photo_facts& photo, const assignment_settings& settings)
{
    line.path = photo.path;
    line.local = photo.taken;
    if (photo.time_from == time_source::none || !photo.read_error.isEmpty())
        return;
    line.time_source = photo.time_from == time_source::camera ? QStringLiteral("camera") : QStringLiteral("file");
    line.utc = utc_msecs(photo, settings.clock);
}

report assign(const choices& chosen, const photo_set& set, photo_jobs& jobs, progress_line& progress)
{
    // Where the window would ask before overwriting, the terminal keeps what
    // the photo holds unless told otherwise.
    const std::vector<photo_jobs::planned_write> plan
        = photo_jobs::plan(set.photos, set.results, chosen.settings, chosen.write);
    std::map<QString, const photo_jobs::planned_write*> planned;
    for (const photo_jobs::planned_write& write : plan)
        planned[write.path] = &write;
    job_outcome failed;
    if (!chosen.dry_run && !plan.empty()) {
        failed = outcome_of(jobs.sync(plan, progress.step(QStringLiteral("Writing"))));
    } else {
        for (const photo_jobs::planned_write& write : plan) {
            const QString problem = jobs.leftover_problem(write.path);
            if (!problem.isEmpty())
                failed.photos[write.path] = { QStringLiteral("failed"), problem };
        }
    }

    report out;
    for (std::size_t i = 0; i < set.photos.size(); ++i) {
        const photo_facts& photo = set.photos[i];
        const assignment& a = set.results[i];
        report_row line;
        set_time(line, photo, chosen.settings);
        const auto it = planned.find(photo.path);
        if (it != planned.end()) {
            line.outcome = origin_name(a.how);
            if (a.how == assignment::origin::previous || a.how == assignment::origin::next)
                line.source = set.photos[std::size_t(a.source)].path;
            else if (a.point_msecs)
                line.source = utc_text(*a.point_msecs, QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'"));
            line.position = it->second->position;
            set_status(
                line, failed, chosen.dry_run ? QStringLiteral("would_write") : QStringLiteral("written"));
        } else if (photo.own) {
            line.outcome = origin_name(assignment::origin::own);
            line.position = photo.own;
            line.status = QStringLiteral("kept");
        } else {
            line.outcome = origin_name(assignment::origin::none);
            line.reason = missing_name(a.why);
            if (a.why == assignment::missing::unreadable)
                line.error = photo.read_error;
            line.status = QStringLiteral("no_position");
        }
        out.rows.push_back(line);
    }
    out.stopped = failed.stopped;
    return out;
}

report remove_gps(const choices& chosen, const photo_set& set, photo_jobs& jobs, progress_line& progress)
{
    job_outcome failed;
    if (!chosen.dry_run && !set.photos.empty())
        failed = outcome_of(jobs.remove_gps(set.photos, chosen.write, progress.step(QStringLiteral("Removing"))));
    report out;
    out.stopped = failed.stopped;
    for (const photo_facts& photo : set.photos) {
        report_row line;
        set_time(line, photo, chosen.settings);
        line.outcome = QStringLiteral("removal");
        set_status(line, failed, chosen.dry_run ? QStringLiteral("would_remove") : QStringLiteral("removed"));
        out.rows.push_back(line);
    }
    return out;
}

QString run_description(const undo_journal::run_info& info)
{
    return QStringLiteral("%1 on %2").arg(run_summary(info), info.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

// The offset search for --guess-offset; nothing is written.
int guess_offset(const choices& chosen, const photo_set& set, std::FILE* out)
{
    std::vector<qint64> times;
    for (const assignment& a : set.results) {
        if (a.utc_msecs)
            times.push_back(*a.utc_msecs);
    }
    const camera_clock& clock = chosen.settings.clock;
    const offset_suggestion found = search_clock_offset(times, chosen.settings.track, chosen.settings.track_matching(), clock.time_zone());
    QString text = QStringLiteral("%1 of %2 lie on the track now.")
                       .arg(found.placed_now)
                       .arg(counted(found.photos, "1 photo", "%1 photos"));
    if (found.offset_secs == 0 || found.placed_with_offset <= found.placed_now) {
        text += QStringLiteral(" No other clock offset places more.\n");
    } else {
        text += QStringLiteral(" With the camera %1, %2 would.%3\n")
                    .arg(found.offset_text)
                    .arg(found.placed_with_offset)
                    .arg(found.zone_text.isEmpty() ? QString() : QStringLiteral(" Perhaps ") + found.zone_text + '.');
        text += QStringLiteral("--clock-offset %1%2\n")
                    .arg(camera_clock::format_offset(clock.clock_offset + found.offset_secs),
                        found.ambiguous ? QStringLiteral(" (uncertain: other offsets place nearly as many)")
                            : found.clearly_better ? QString()
                                                   : QStringLiteral(" (only a little better)"));
    }
    print(out, text);
    return int(done);
}

int list_runs(photo_jobs& jobs, std::FILE* out)
{
    const std::vector<undo_journal::run_info> runs = jobs.journal().runs();
    qint64 bytes = 0;
    for (const undo_journal::run_info& info : runs) {
        bytes += info.bytes;
        QString line = QStringLiteral("%1  %2").arg(info.id, run_description(info));
        if (!info.folders.isEmpty())
            line += QStringLiteral(" in ") + info.folders.join(QStringLiteral(", "));
        const int later = jobs.journal().written_later(info.id).size();
        if (later > 0)
            line += QStringLiteral(" (%1 of them written again by a later run)").arg(later);
        print(out, line + QLatin1Char('\n'));
    }
    if (runs.empty())
        print(out, QStringLiteral("There is nothing to undo.\n"));
    print(out,
        QStringLiteral("Undo data: %1 in %2; runs beyond the newest %3 are dropped once all take more than %4 MB.\n")
            .arg(QLocale::c().formattedDataSize(bytes))
            .arg(QDir::toNativeSeparators(jobs.journal().folder()))
            .arg(undo_journal::runs_always_kept)
            .arg(undo_journal::size_limit / (1024 * 1024)));
    return done;
}

std::optional<report> undo(const choices& chosen, photo_jobs& jobs, progress_line& progress, std::FILE* err)
{
    QString id = chosen.undo_run;
    if (id.isEmpty()) {
        const std::vector<undo_journal::run_info> runs = jobs.journal().runs();
        if (!runs.empty())
            id = runs.front().id;
    }
    const std::optional<undo_journal::run> run = jobs.journal().load(id);
    if (!run) {
        print(err,
            chosen.undo_run.isEmpty()
                ? QStringLiteral("vestra-tag: there is nothing to undo\n")
                : QStringLiteral("vestra-tag: there is no run \"%1\" to undo (see --undo-list)\n").arg(id));
        return std::nullopt;
    }
    print(err,
        QStringLiteral("%1 run %2: %3\n")
            .arg(chosen.dry_run ? QStringLiteral("Would undo") : QStringLiteral("Undoing"), id,
                run_description(run->info)));
    report out;
    if (!run->info.damaged_files.isEmpty())
        out.damaged = QStringLiteral("Undo data for %1 are damaged and cannot be restored: %2")
                          .arg(counted(run->info.damaged_photos, "1 photo", "%1 photos"),
                              run->info.damaged_files.join(QStringLiteral(", ")));
    job_outcome failed;
    if (!chosen.dry_run) {
        photo_jobs::undo_request request;
        request.run = id;
        request.force = chosen.force;
        failed = outcome_of(jobs.undo(request, progress.step(QStringLiteral("Undoing"))));
    }
    out.stopped = failed.stopped;
    for (const undo_journal::entry& entry : run->entries) {
        report_row line;
        line.path = entry.path;
        line.outcome = QStringLiteral("undo");
        set_status(
            line, failed, chosen.dry_run ? QStringLiteral("would_restore") : QStringLiteral("restored"));
        out.rows.push_back(line);
    }
    return out;
}

QString degrees(const std::optional<std::pair<double, double>>& position)
{
    return position
        ? QStringLiteral("%1, %2").arg(position->first, 0, 'f', 8).arg(position->second, 0, 'f', 8)
        : QString();
}

QString reason_text(const QString& reason)
{
    static const std::map<QString, QString> texts = {
        { "no_source", "no photo with a position to take it from" },
        { "too_far", "too far in time from any source" },
        { "no_time", "no recording time" },
        { "no_track", "no track" },
        { "unreadable", "its data could not be read" },
    };
    const auto it = texts.find(reason);
    return it == texts.end() ? reason : it->second;
}

QString text_line(const report_row& row)
{
    const QString form = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    QStringList parts;
    if (row.outcome != QLatin1String("undo") && row.outcome != QLatin1String("skipped")) {
        if (row.time_source == QLatin1String("camera"))
            parts << QStringLiteral("taken %1 (UTC %2)")
                         .arg(row.local.toString(form), row.utc ? utc_text(*row.utc, form) : "?");
        else if (row.time_source == QLatin1String("file"))
            parts << QStringLiteral("no recording time; file date %1").arg(row.local.toString(form));
        else
            parts << QStringLiteral("no recording time");
    }
    static const std::map<QString, QString> outcomes = {
        { "own", "own position" },
        { "previous", "from the previous photo %1" },
        { "next", "from the next photo %1" },
        { "position", "typed position" },
        { "track_point", "track point %1" },
        { "interpolated", "interpolated on the track" },
        { "none", "no position: %2" },
    };
    const auto outcome = outcomes.find(row.outcome);
    if (outcome != outcomes.end())
        parts << QString(outcome->second)
                     .replace("%1", row.source)
                     .replace("%2",
                         row.status == QLatin1String("no_position") && !row.error.isEmpty()
                             ? reason_text(row.reason) + QStringLiteral(" (") + row.error + QLatin1Char(')')
                             : reason_text(row.reason));
    static const std::map<QString, QString> statuses = {
        { "kept", "kept %1" },
        { "written", "written %1" },
        { "would_write", "would write %1" },
        { "no_position", "not written" },
        { "removed", "GPS data removed" },
        { "would_remove", "would remove its GPS data" },
        { "restored", "restored" },
        { "would_restore", "would restore" },
        { "unchanged", "already held %1" },
        { "failed", "FAILED: %2" },
        { "unverified", "WRITTEN BUT NOT VERIFIED: %2" },
        { "changed_since", "NOT RESTORED: %2 (--force restores it anyway)" },
        { "skipped", "NOT LOADED: %2" },
        { "not_loaded", "not loaded: %2" },
    };
    parts << QString(statuses.at(row.status)).replace("%1", degrees(row.position)).replace("%2", row.error);
    return row.path + QStringLiteral(": ") + parts.join(QStringLiteral("; "));
}

QString summary_text(const report& rep)
{
    return QStringLiteral("%1%2 %3, %4 unchanged, %5 failed, %6 without position\n")
        .arg(rep.dry_run ? QStringLiteral("Dry run: ") : QString())
        .arg(rep.dry_run ? rep.would_write() : rep.written())
        .arg(rep.dry_run ? QStringLiteral("would be written") : QStringLiteral("written"))
        .arg(rep.unchanged())
        .arg(rep.failed())
        .arg(rep.without_position());
}

QJsonValue or_null(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QByteArray json_report(const report& rep)
{
    QJsonArray photos;
    for (const report_row& row : rep.rows) {
        photos.append(QJsonObject {
            { "path", row.path },
            { "local_time", or_null(row.local.toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"))) },
            { "utc_time",
                row.utc ? QJsonValue(utc_text(*row.utc, QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'")))
                        : QJsonValue() },
            { "time_source", or_null(row.time_source) },
            { "outcome", row.outcome },
            { "source", or_null(row.source) },
            { "reason", or_null(row.reason) },
            { "latitude", row.position ? QJsonValue(row.position->first) : QJsonValue() },
            { "longitude", row.position ? QJsonValue(row.position->second) : QJsonValue() },
            { "status", row.status },
            { "error", or_null(row.error) },
        });
    }
    const QJsonObject summary { { "dry_run", rep.dry_run }, { "written", rep.written() },
        { "would_write", rep.would_write() }, { "unchanged", rep.unchanged() }, { "failed", rep.failed() },
        { "without_position", rep.without_position() }, { "stopped", or_null(rep.stopped) },
        { "damaged", or_null(rep.damaged) } };
    return QJsonDocument(QJsonObject { { "photos", photos }, { "summary", summary } }).toJson();
}

QString csv_field(QString text)
{
    if (!text.contains(QRegularExpression(QStringLiteral("[\",\r\n]"))))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString csv_report(const report& rep)
{
    QString text
        = QStringLiteral(
            "path,local_time,utc_time,outcome,source,reason,latitude,longitude,status,error,time_source\n");
    for (const report_row& row : rep.rows) {
        const QStringList fields = { row.path, row.local.toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss")),
            row.utc ? utc_text(*row.utc, QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'")) : QString(), row.outcome,
            row.source, row.reason, row.position ? QString::number(row.position->first, 'f', 8) : QString(),
            row.position ? QString::number(row.position->second, 'f', 8) : QString(), row.status, row.error,
            row.time_source };
        QStringList quoted;
        for (const QString& field : fields)
            quoted << csv_field(field);
        text += quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}

void write_report(const report& rep, report_format format, std::FILE* out, std::FILE* err)
{
    switch (format) {
    case report_format::json:
        std::fputs(json_report(rep).constData(), out);
        break;
    case report_format::csv:
        // The summary would break the table; it goes beside it.
        print(out, csv_report(rep));
        print(err, summary_text(rep));
        break;
    case report_format::text:
        for (const report_row& row : rep.rows)
            print(out, text_line(row) + QLatin1Char('\n'));
        print(out, summary_text(rep));
        break;
    }
}

} // namespace

int run(const QStringList& arguments, std::FILE* out, std::FILE* err, const std::map<QString, QString>& undecodable)
{
    choices chosen;
    if (const std::optional<int> status = read_choices(arguments, undecodable, chosen, out, err))
        return *status;

    progress_line progress(err);
    photo_jobs jobs;
    std::optional<report> rep;
    if (chosen.what == action::undo_list)
        return list_runs(jobs, out);
    if (chosen.what == action::undo) {
        rep = undo(chosen, jobs, progress, err);
    } else {
        // Loaded as the window loads, in time order as the window lists them.
        photo_set set;
        exif_cache::instance()->video_times_local = chosen.video_local;
        const std::vector<photo_facts> loaded = jobs.load(
            chosen.listing.files, progress.step(QStringLiteral("Reading")), {}, &chosen.listing.passed_over);
        for (const int i : time_order(loaded, false))
            set.photos.push_back(loaded[std::size_t(i)]);
        set.results = ::assign(set.photos, chosen.settings);
        progress.clear();
        if (!set.photos.empty() && !kal::_exiftool2::instance()->running()) {
            print(err,
                QStringLiteral(
                    "vestra-tag: ExifTool, which reads and writes the photos' data, is not running\n"));
            return incomplete;
        }
        if (chosen.guess_offset && !set.photos.empty())
            return guess_offset(chosen, set, out);
        const bool none = set.photos.empty();
        rep = none                                  ? report()
            : chosen.what == action::remove_gps ? remove_gps(chosen, set, jobs, progress)
                                                : assign(chosen, set, jobs, progress);
        for (const path_listing::skipped& passed : chosen.listing.passed_over) {
            print(err, QStringLiteral("vestra-tag: not loaded: %1 (%2)\n").arg(passed.name, passed.reason));
            report_row line;
            line.path = passed.name;
            line.outcome = QStringLiteral("skipped");
            // Media that could not be taken counts against the run; other files are only named.
            line.status = passed.failure ? QStringLiteral("skipped") : QStringLiteral("not_loaded");
            line.error = passed.reason;
            rep->rows.push_back(line);
        }
        if (none) {
            print(err, QStringLiteral("vestra-tag: no photos among the paths\n"));
            rep->dry_run = chosen.dry_run;
            write_report(*rep, chosen.format, out, err);
            return no_photos;
        }
    }
    progress.clear();
    if (!rep)
        return incomplete;
    rep->dry_run = chosen.dry_run;
    write_report(*rep, chosen.format, out, err);
    std::fflush(out);
    for (const QString& message : { rep->damaged, rep->stopped }) {
        if (!message.isEmpty())
            print(err, QStringLiteral("vestra-tag: %1\n").arg(message));
    }
    const bool trouble = !rep->stopped.isEmpty() || !rep->damaged.isEmpty();
    return trouble || rep->failed() > 0 || rep->without_position() > 0 ? incomplete : done;
}

} // namespace tag_tool
