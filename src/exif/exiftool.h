#pragma once

#include "exif/exiftool_child.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
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

// The long-lived exiftool children, spoken to in their stay-open argument
// protocol. A child that dies is replaced on the next request (a few times a
// minute at most); a request that gets no byte for 30 s is given up.
class _exiftool2 : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(_exiftool2)

public:
    // Tag name -> value, UTF-8. For writing, a name may carry exiftool's "#"
    // suffix or be a group wildcard ("GPS:all"); an empty value deletes.
    using tag_map = std::map<std::string, std::string>;

    static std::shared_ptr<_exiftool2> instance();

    _exiftool2();
    // Runs `program` with `arguments` in place of perl and exiftool.
    _exiftool2(const QString& program, const QStringList& arguments);
    ~_exiftool2() override;

    tag_map read_exif_data(const QString& file, bool group_names = false, bool dump = false);
    bool write_exif_data(const QString& file, const tag_map& tags);
    write_result write(const QString& file, const tag_map& tags);
    bool execute_raw_command(const QString& file, const QString& args);

    // Every tag of the file's GPS group as a plain number or text, named
    // without the group, e.g. "GPSLatitude" -> "43.4674483332997"; nothing
    // when the file cannot be read.
    std::optional<tag_map> read_gps_numbers(const QString& file, QString* reason = nullptr);
    // The file's signed latitude and longitude as exiftool reads them now.
    stored_position read_position(const QString& file);

    void write_application_info_to_exif(tag_map& tags);
    void write_application_info_to_exif(const QString& file);

    void silent(bool on);

    // Whether a child is up, or may be started, to answer requests.
    bool running() const;
    // Process ids of the children now running.
    std::vector<qint64> child_pids() const;

    // The tags minus every name exiftool cannot write.
    static tag_map remove_nonwriteable_tags(const tag_map& tags);

    // Turns one argument-format response into a tag map; the marker line and
    // lines without "=" are skipped, the value is everything after the first "=" (trimmed).
    static tag_map parse_response(const QString& response, const QString& ready_marker);

    // A write succeeded only when exiftool's summary says the file was
    // updated (or left unchanged, nothing needing a change), it printed no
    // error, and no warning names a tag of the request.
    static write_result judge_write(const exiftool_reply& reply, const tag_map& tags);

private:
    // An idle child, started or replaced as needed; null when none may run.
    exiftool_child* child();
    exiftool_child* start_child(std::size_t slot);
    bool may_restart();
    // Sends one request for the file and waits for the answer.
    exiftool_reply request(const QString& file, const QString& options);
    write_result execute_write(const QString& file, const QString& args, const tag_map& tags);
    bool path_refused(const QString& file, const char* verb);

    QString program;
    QStringList arguments;
    std::vector<exiftool_child*> children;
    std::vector<qint64> restarts;
    bool is_running = false;
    QString ready_marker;
    bool is_silent = false;
    std::mutex access_mutex;
};

} // namespace kal

Q_DECLARE_METATYPE(kal::exiftool_reply)
