#pragma once

#include "exif/exiftool_child.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kal {

// How a write went, judged by what exiftool said about that request.
struct write_result {
    bool ok = false;
    // The first line of exiftool's message, or why no answer came.
    QString reason;
};

// A position as a file holds it, read back numerically.
struct stored_position {
    bool readable = false;
    bool present = false;
    double lat = 0;
    double lon = 0;
    QString reason;
};

// The version of the exiftool the bridge runs ("12.57"), asked of a
// short-lived child; empty when it cannot be found or run.
QString exiftool_version();

// The file kinds, by lower-case extension, that ExifTool writes and reads.
struct exiftool_file_types {
    QSet<QString> writable;
    QSet<QString> readable;
};

// One request of a batch: option lines, each ending in a line break; the
// file's path is added after them (none: a question about ExifTool itself).
struct batch_request {
    QString file;
    QString options;
    // Several files answered in one request, in place of `file`; exiftool
    // heads each one's part of the answer with "======== PATH".
    QStringList files;
};

// Requests for many files and, once run, their answers in the same order.
struct exiftool_batch {
    std::vector<batch_request> requests;
    std::vector<exiftool_reply> replies;
};

// The long-lived exiftool children, spoken to in their stay-open argument
// protocol. A child that dies is replaced on the next request (a few times a
// minute at most); a request that gets no byte for 30 s is given up.
// Requests are waited for on the children's pipes, without an event loop.
class _exiftool2 {
public:
    _exiftool2(const _exiftool2&) = delete;
    _exiftool2& operator=(const _exiftool2&) = delete;

    // Tag name -> value, UTF-8. For writing, a name may carry exiftool's "#"
    // suffix or be a group wildcard ("GPS:all"); an empty value deletes.
    using tag_map = std::map<std::string, std::string>;

    using batch_request = kal::batch_request;
    using reply_callback = std::function<void(int index, const exiftool_reply& reply)>;
    // How many files of a request of several exiftool has finished so far.
    using files_callback = std::function<void(int index, int finished)>;
    // Files done, a few at a time; all of them add up to the files given.
    using steps_callback = std::function<void(int files)>;

    static std::shared_ptr<_exiftool2> instance();

    // Up to `children` children (pool_size() by default) share the work.
    _exiftool2();
    explicit _exiftool2(int children);
    // Runs `program` with `arguments` in place of perl and exiftool.
    _exiftool2(const QString& program, const QStringList& arguments, int children = pool_size());

    // The number of cores, 1 to 4, unless VESTRA_EXIFTOOL_CHILDREN says otherwise.
    static int pool_size();

    // Hands the requests to every child at once and reports each answer as
    // it comes, in any order, on this thread. A request whose child died is
    // tried once more on a new child. Returns when every request is answered.
    void run(exiftool_batch& batch, const reply_callback& on_each, const files_callback& on_files = {});
    void run_many(const std::vector<batch_request>& requests, const reply_callback& on_each,
        const files_callback& on_files = {});
    // Called every quarter second or so while a batch is waited for, e.g. to
    // let a window repaint.
    std::function<void()> while_waiting;
    // What loading a photo reads: the tags the table uses, by plain name as
    // exiftool picks among duplicates, and every tag that can hold a
    // position, numerically, as read_gps_numbers gives them (none when the
    // file could not be read). `failure` says why a file got no answer; a
    // file exiftool could not read still answers, with its messages among
    // the tags.
    struct photo_read {
        tag_map tags;
        std::optional<tag_map> gps;
        QString failure;
    };
    // Loads the files a few to a request, spread over the children.
    void read_many(const QStringList& files, const std::function<void(int, const photo_read&)>& on_each);
    // What a read of all tags asks for.
    static const QString& read_options();
    static const QString& load_options();
    // A reply's lines split into plain tags and position numbers.
    static void split_reply(const QString& output, tag_map* tags, tag_map* numbers);
    // The kinds the ExifTool in use writes and reads, asked once; the kinds
    // this program knew without asking while ExifTool does not answer.
    const exiftool_file_types& file_types();
    // Files that take the same tags are written a few at a time in one
    // request each; when such a request does not come back clean, each of
    // its files is written again alone, for its own answer.
    void write_many(const std::vector<std::pair<QString, tag_map>>& writes,
        const std::function<void(int, const write_result&)>& on_each, const steps_callback& on_steps = {});
    // The files are read a few at a time in one request each; a file whose
    // part of the answer is missing or names an error is read again alone.
    void read_gps_many(const QStringList& files,
        const std::function<void(int, const std::optional<tag_map>&, const QString& reason)>& on_each,
        const steps_callback& on_steps = {});
    // The parts of a reply to a request for several files, by the files'
    // order; none for a file without a clean part of its own.
    static std::vector<std::optional<QString>> file_parts(const exiftool_reply& reply, const QStringList& files);
    ~_exiftool2();

    tag_map read_exif_data(const QString& file, bool group_names = false, bool dump = false);
    bool write_exif_data(const QString& file, const tag_map& tags);
    write_result write(const QString& file, const tag_map& tags);

    // Every tag that can hold a position, as a plain number or text, named
    // with its group, e.g. "GPS:GPSLatitude" -> "43.4674483332997" or
    // "Keys:GPSCoordinates"; nothing when the file cannot be read.
    std::optional<tag_map> read_gps_numbers(const QString& file, QString* reason = nullptr);
    // The file's signed latitude and longitude as exiftool reads them now.
    stored_position read_position(const QString& file);


    // Whether a child is up, or may be started, to answer requests.
    bool running() const;
    // Process ids of the children now running.
    std::vector<qint64> child_pids() const;

    // Turns one argument-format response into a tag map; the marker line and
    // lines without "=" are skipped, the value is everything after the first "=" (trimmed).
    static tag_map parse_response(const QString& response, const QString& ready_marker);

    // A write succeeded only when exiftool's summary says the file was
    // updated (or left unchanged, nothing needing a change), it printed no
    // error, and no warning names a tag of the request.
    static write_result judge_write(const exiftool_reply& reply, const tag_map& tags);
    static const QString& gps_options();
    // The GPS numbers of a read_gps_numbers reply; the reason when there are none.
    static std::optional<tag_map> gps_numbers(const exiftool_reply& reply, QString* reason);

private:
    // An idle child, started or replaced as needed; null when none may run.
    exiftool_child* child(const std::function<bool(exiftool_child*)>& taken);
    exiftool_child* start_child(std::size_t slot);
    // The write's option lines, or the reason it cannot be sent.
    static std::optional<QString> write_lines(const QString& file, const tag_map& tags, QString* reason);
    bool may_restart();
    // Sends one request for the file and waits for the answer.
    exiftool_reply request(const QString& file, const QString& options);
    write_result execute_write(const QString& file, const QString& args, const tag_map& tags);
    bool path_refused(const QString& file, const char* verb);
    static const exiftool_file_types& fallback_types();
    // Several files of a batch per request, spread over the children.
    std::vector<QStringList> chunks(const QStringList& files) const;
    // Requests for the files as chunks() cuts them (`alone` for a file by
    // itself, `together` for several); `sent` gets each one's indexes.
    void add_chunks(const QStringList& files, const std::vector<int>& indexes, const QString& alone,
        const QString& together, std::vector<batch_request>& requests, std::vector<std::vector<int>>& sent) const;
    // Runs the requests; `step` hears of their files as exiftool gets
    // through them, each file once.
    void run_counted(const std::vector<batch_request>& requests, const std::vector<std::vector<int>>& sent,
        const reply_callback& on_each, const std::function<void(int)>& step);
    // Reads the files with `options`, several to a request; a file whose
    // part of the answer is missing or names an error is read again alone.
    void read_batched(const QStringList& files, const QString& options,
        const std::function<void(int, const exiftool_reply&)>& deliver, const steps_callback& on_steps);

    QString program;
    QStringList arguments;
    std::vector<std::unique_ptr<exiftool_child>> children;
    std::optional<exiftool_file_types> types;
    // Slots that had a child once: starting them again counts as a restart.
    std::vector<bool> used;
    std::vector<qint64> restarts;
    bool is_running = false;
    QString ready_marker;
};

} // namespace kal

