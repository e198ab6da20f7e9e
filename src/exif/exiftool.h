#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class QProcess;

namespace kal {

// The one long-lived exiftool child, spoken to in its stay-open argument
// protocol. Requests are synchronous and serialised.
class _exiftool2 : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(_exiftool2)

public:
    // Tag name -> value, UTF-8. For writing, a name may carry exiftool's "#"
    // suffix or be a group wildcard ("GPS:all"); an empty value deletes.
    using tag_map = std::map<std::string, std::string>;

    static std::shared_ptr<_exiftool2> instance();

    _exiftool2();
    ~_exiftool2() override;

    tag_map read_exif_data(const QString& file, bool group_names = false, bool dump = false);
    bool write_exif_data(const QString& file, const tag_map& tags);
    bool execute_raw_command(const QString& file, const QString& args);

    void write_application_info_to_exif(tag_map& tags);
    void write_application_info_to_exif(const QString& file);

    void silent(bool on);

    // Whether the child is up and answering requests.
    bool running() const;

    // The tags minus every name exiftool cannot write.
    static tag_map remove_nonwriteable_tags(const tag_map& tags);

    // Turns one argument-format response into a tag map; the marker line and
    // lines without "=" are skipped, the value is everything after the first "=" (trimmed).
    static tag_map parse_response(const QString& response, const QString& ready_marker);

private:
    void write_to_proc(const QString& command);
    // complete tells whether the answer reached the ready marker.
    QString read_proc_response(bool* complete = nullptr);
    bool response_complete(const QByteArray& buffer) const;
    void on_error_output();
    void on_finished(int code, int status);

    QProcess* proc = nullptr;
    bool is_running = false;
    int32_t exit_code = 0;
    int32_t exit_status = 0;
    QString ready_marker;
    bool is_silent = false;
    std::mutex access_mutex;
};

} // namespace kal
