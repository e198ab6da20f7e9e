#include "exif/exiftool_child.h"

#include "exif/exif_log.h"

#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace kal {

namespace {

void print(const QString& text)
{
    qCWarning(lc_exiftool).noquote() << text;
}

// Where the line that is exactly `line` starts in the buffer, or -1.
int find_line(const QByteArray& buffer, const QByteArray& line)
{
    int from = 0;
    while (true) {
        const int at = buffer.indexOf(line, from);
        if (at < 0)
            return -1;
        const int end = at + line.size();
        const bool starts = at == 0 || buffer[at - 1] == '\n';
        const bool ends = end == buffer.size() || buffer[end] == '\n' || buffer[end] == '\r';
        if (starts && ends)
            return at;
        from = at + 1;
    }
}

// Index just past the line break that ends the line starting at `at`.
int line_end(const QByteArray& buffer, int at)
{
    const int newline = buffer.indexOf('\n', at);
    return newline < 0 ? buffer.size() : newline + 1;
}

// A child that ends with us, however we end: a killed program must not leave
// ExifTool polling its closed pipe forever. SIGINT, because ExifTool deletes
// its temporary file on it and finishes an in-place copy before it obeys.
class bound_process : public QProcess {
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override
    {
        std::signal(SIGINT, SIG_DFL);
        ::prctl(PR_SET_PDEATHSIG, SIGINT);
        // The parent may have gone before the request was made.
        if (::getppid() != parent)
            ::_exit(1);
    }

private:
    const pid_t parent = ::getpid();
};

} // namespace

int exiftool_child::answer_timeout_msecs = 30000;

exiftool_child::exiftool_child(const QString& program, const QStringList& arguments, QObject* parent)
    : QObject(parent)
    , program(program)
    , arguments(arguments)
{
    proc = new bound_process(this);
    connect(proc, &QProcess::readyReadStandardOutput, this, &exiftool_child::on_output, Qt::DirectConnection);
    connect(proc, &QProcess::readyReadStandardError, this, &exiftool_child::on_errors, Qt::DirectConnection);
    connect(
        proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        [this](int code, QProcess::ExitStatus status) { on_finished(code, int(status)); },
        Qt::DirectConnection);
    ticker = new QTimer(this);
    ticker->setInterval(250);
    connect(ticker, &QTimer::timeout, this, &exiftool_child::on_tick);
}

exiftool_child::~exiftool_child()
{
    if (proc->state() != QProcess::NotRunning) {
        stopping = true;
        proc->kill();
        proc->waitForFinished(1000);
    }
    proc->disconnect(this);
}

bool exiftool_child::start()
{
    proc->setReadChannel(QProcess::StandardOutput);
    proc->start(program, arguments, QIODevice::ReadWrite | QIODevice::Text | QIODevice::Unbuffered);
    return proc->waitForStarted(2000);
}

bool exiftool_child::running() const
{
    return proc->state() == QProcess::Running && !stopping;
}

bool exiftool_child::alive()
{
    // Notices a death that no event loop has reported yet.
    if (proc->state() == QProcess::Running && !in_flight)
        proc->waitForFinished(0);
    return running();
}

qint64 exiftool_child::pid() const
{
    return proc->processId();
}

int exiftool_child::send(const QString& lines)
{
    if (!running() || in_flight)
        return 0;
    const int id = next_id++;
    // The echo comes after the command has run, and exiftool flushes its
    // error stream before it prints "{readyN}".
    const QString command = lines + QStringLiteral("-echo4\n{done%1 ${status}}\n-execute%1\n").arg(id);
    const QByteArray bytes = command.toUtf8();
    const qint64 written = proc->write(bytes);
    if (written != bytes.size())
        print(QStringLiteral("[write_to_proc] proc->write() returned %1 but expected %2")
                  .arg(written)
                  .arg(bytes.size()));
    in_flight = id;
    last_byte.start();
    last_warning = 0;
    ticker->start();
    return id;
}

void exiftool_child::on_output()
{
    out_buffer += proc->readAllStandardOutput();
    last_byte.start();
    last_warning = 0;
    check_complete();
}

void exiftool_child::on_errors()
{
    err_buffer += proc->readAllStandardError();
    last_byte.start();
    last_warning = 0;
    check_complete();
}

void exiftool_child::check_complete()
{
    if (!in_flight)
        return;
    const QByteArray ready = "{ready" + QByteArray::number(in_flight) + '}';
    const int out_at = find_line(out_buffer, ready);
    if (out_at < 0)
        return;
    const QByteArray done_prefix = "{done" + QByteArray::number(in_flight) + ' ';
    int err_at = -1;
    for (int from = 0; (from = err_buffer.indexOf(done_prefix, from)) >= 0; ++from) {
        if (from == 0 || err_buffer[from - 1] == '\n') {
            err_at = from;
            break;
        }
    }
    if (err_at < 0 || err_buffer.indexOf('}', err_at) < 0)
        return;

    exiftool_reply reply;
    reply.complete = true;
    reply.output = QString::fromUtf8(out_buffer.left(out_at));
    out_buffer.remove(0, line_end(out_buffer, out_at));
    const QByteArray marker = err_buffer.mid(err_at, err_buffer.indexOf('}', err_at) - err_at);
    reply.status = marker.mid(done_prefix.size()).trimmed().toInt();
    const QString errors = QString::fromUtf8(err_buffer.left(err_at));
    err_buffer.remove(0, line_end(err_buffer, err_at));
    for (const QString& line : errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.trimmed().isEmpty())
            reply.errors << line.trimmed();
    }
    if (!reply.errors.isEmpty())
        qCDebug(lc_exiftool).noquote() << "exiftool's messages:" << errors;

    finish(reply);
}

void exiftool_child::finish(const exiftool_reply& reply)
{
    const int id = in_flight;
    in_flight = 0;
    ticker->stop();
    if (id == waiting)
        done[id] = reply;
    emit answered(id, reply);
}

void exiftool_child::fail_in_flight(const QString& why, bool given_up)
{
    if (!in_flight)
        return;
    print(QStringLiteral("Error: ") + why);
    exiftool_reply reply;
    reply.failure = why;
    reply.given_up = given_up;
    reply.output = QString::fromUtf8(out_buffer);
    out_buffer.clear();
    err_buffer.clear();
    finish(reply);
}

void exiftool_child::on_finished(int code, int status)
{
    exit_code = code;
    exit_status = status;
    if (stopping)
        return;
    print(QStringLiteral("Exiftool ended unexpectedly with code %1 and status %2").arg(code).arg(status));
    out_buffer += proc->readAllStandardOutput();
    err_buffer += proc->readAllStandardError();
    check_complete();
    fail_in_flight(QStringLiteral("Exiftool stopped before it answered."));
}

void exiftool_child::on_tick()
{
    if (!in_flight)
        return;
    const qint64 silent_for = last_byte.elapsed();
    if (silent_for >= answer_timeout_msecs) {
        // A hung child would hold every later request; a new one is started
        // for the next.
        stopping = true;
        proc->kill();
        proc->waitForFinished(1000);
        fail_in_flight(QStringLiteral("ExifTool did not answer"), true);
        return;
    }
    if (silent_for / 1000 > last_warning) {
        last_warning = silent_for / 1000;
        qCDebug(lc_exiftool) << "no answer for" << last_warning << "s";
    }
}

exiftool_reply exiftool_child::wait(int id)
{
    waiting = id;
    while (!done.count(id)) {
        if (in_flight != id) {
            // Never sent, or already given up.
            exiftool_reply reply;
            reply.failure = QStringLiteral("Exiftool is not running");
            waiting = 0;
            return reply;
        }
        if (proc->state() != QProcess::Running) {
            out_buffer += proc->readAllStandardOutput();
            err_buffer += proc->readAllStandardError();
            check_complete();
            fail_in_flight(QStringLiteral("Exiftool stopped before it answered."));
            continue;
        }
        // Once the output is complete only the error stream is missing, and
        // exiftool has written it already: read that channel, not the idle one.
        const bool output_done = find_line(out_buffer, "{ready" + QByteArray::number(id) + '}') >= 0;
        proc->setReadChannel(output_done ? QProcess::StandardError : QProcess::StandardOutput);
        proc->waitForReadyRead(250);
        proc->setReadChannel(QProcess::StandardOutput);
        on_tick();
    }
    waiting = 0;
    exiftool_reply reply = done[id];
    done.erase(id);
    return reply;
}

void exiftool_child::request_stop()
{
    if (proc->state() == QProcess::NotRunning)
        return;
    stopping = true;
    proc->write("-stay_open\nFalse\n");
}

void exiftool_child::wait_stopped(int msecs)
{
    if (proc->state() == QProcess::NotRunning)
        return;
    if (!proc->waitForFinished(msecs)) {
        print(QStringLiteral("Exiftool didn't quit in time. Killing it."));
        proc->kill();
        proc->waitForFinished(1000);
    }
}

} // namespace kal
