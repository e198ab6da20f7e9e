#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class QProcess;
class QTimer;

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

// One stay-open exiftool process. Each request is numbered: its standard
// output ends with "{readyN}" and its standard error with a marker echoed
// after the command, so warnings are never taken for another request's.
// Requests are answered one after the other, either waited for (`wait`) or
// delivered through `answered` while an event loop runs.
class exiftool_child : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(exiftool_child)

public:
    exiftool_child(const QString& program, const QStringList& arguments, QObject* parent = nullptr);
    ~exiftool_child() override;

    // Starts the process and waits up to two seconds for it.
    bool start();
    bool running() const;
    // Like running(), but first takes note of a death not yet reported.
    bool alive();
    bool busy() const { return in_flight != 0; }
    qint64 pid() const;

    // Sends the command lines (each ending in a line break) as one request;
    // returns its number, or 0 when nothing could be sent.
    int send(const QString& lines);
    // Waits for the answer to the request sent last. No byte for `silence`
    // milliseconds gives up: the child is killed and the request fails.
    exiftool_reply wait(int id);

    // Asks the child to leave stay-open mode; then waits for it and kills it
    // if need be. Two steps, so several children end side by side.
    void request_stop();
    void wait_stopped(int msecs);

    // Milliseconds without a byte after which a request is given up.
    static int answer_timeout_msecs;
    int exit_code = 0;
    int exit_status = 0;

signals:
    // A request finished, completely or not.
    void answered(int id, const kal::exiftool_reply& reply);

private:
    void on_output();
    void on_errors();
    void on_finished(int code, int status);
    void on_tick();
    void check_complete();
    void fail_in_flight(const QString& why, bool given_up = false);
    void finish(const exiftool_reply& reply);

    QProcess* proc = nullptr;
    QTimer* ticker = nullptr;
    QString program;
    QStringList arguments;
    int next_id = 1;
    int in_flight = 0;
    // The request a caller of wait() is waiting for; only its answer is kept.
    int waiting = 0;
    QByteArray out_buffer;
    QByteArray err_buffer;
    std::map<int, exiftool_reply> done;
    QElapsedTimer last_byte;
    qint64 last_warning = 0;
    bool stopping = false;
};

} // namespace kal
