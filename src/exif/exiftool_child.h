#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace kal {

// What exiftool said about one request.
struct exiftool_reply {
    // The ready marker of the request arrived.
    bool complete = false;
    // Standard output up to the marker.
    QString output;
    // Standard error of this request alone, line by line.
    QStringList errors;
    // exiftool's exit status for the request; -1 when unknown.
    int status = -1;
    // Why the request got no complete answer.
    QString failure;
    // The child was silent too long and was killed for it.
    bool given_up = false;
};

// One stay-open exiftool process, spoken to through pipes. Each request is
// numbered: its standard output ends with "{readyN}" and its standard error
// with a marker echoed after the command, so warnings are never taken for
// another request's. One request at a time; the caller waits on the pipes
// (`output_fd`, `error_fd`) and calls `pump` when they have data or time
// has passed. No event loop is involved.
class exiftool_child {
public:
    exiftool_child(const QString& program, const QStringList& arguments);
    ~exiftool_child();
    exiftool_child(const exiftool_child&) = delete;
    exiftool_child& operator=(const exiftool_child&) = delete;

    // Starts the process; false when it could not be run at all.
    bool start();
    // Whether the process is up (a death is noticed here).
    bool alive();
    bool busy() const { return in_flight != 0; }
    qint64 pid() const { return process; }
    int output_fd() const { return out_fd; }
    int error_fd() const { return err_fd; }

    // Sends the command lines (each ending in a line break) as one request;
    // false when they could not be sent.
    bool send(const QString& lines);
    // Reads what the pipes hold and looks at the clock; true once the
    // request in flight is over, its reply then in `reply`.
    bool pump(exiftool_reply& reply);
    // What the request in flight has printed so far.
    const QByteArray& output_so_far() const { return out_buffer; }

    // Asks the child to leave stay-open mode; then waits for it and kills it
    // if need be. Two steps, so several children end side by side.
    void request_stop();
    void wait_stopped(int msecs);

    // Milliseconds without a byte after which a request is given up.
    static int answer_timeout_msecs;

    int exit_code = 0;
    // 0 for a normal exit, 1 when a signal ended the child.
    int exit_status = 0;

private:
    bool read_pipe(int fd, QByteArray& buffer);
    bool complete_reply(exiftool_reply& reply);
    void failed(const QString& why, bool given_up, exiftool_reply& reply);
    void reap(bool wait);
    void close_pipes();

    QString program;
    QStringList arguments;
    pid_t process = 0;
    bool exited = false;
    int in_fd = -1;
    int out_fd = -1;
    int err_fd = -1;
    int next_id = 1;
    int in_flight = 0;
    QByteArray out_buffer;
    QByteArray err_buffer;
    QElapsedTimer last_byte;
};

} // namespace kal
