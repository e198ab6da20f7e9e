#include "exif/exiftool_child.h"

#include "exif/exif_log.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace kal {

namespace {

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

void sleep_msecs(long msecs)
{
    const timespec pause { msecs / 1000, (msecs % 1000) * 1000000 };
    ::nanosleep(&pause, nullptr);
}

} // namespace

int exiftool_child::answer_timeout_msecs = 30000;

exiftool_child::exiftool_child(const QString& program, const QStringList& arguments)
    : program(program)
    , arguments(arguments)
{
    // A child that died under a write must not end the program with it.
    std::signal(SIGPIPE, SIG_IGN);
}

exiftool_child::~exiftool_child()
{
    if (process > 0 && !exited) {
        ::kill(process, SIGKILL);
        reap(true);
    }
    close_pipes();
}

bool exiftool_child::start()
{
    int in[2], out[2], err[2], status[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(status, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    // Everything the child needs is made before the fork.
    const QString found = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    const QByteArray file = QFile::encodeName(found.isEmpty() ? program : found);
    std::vector<QByteArray> words { file };
    for (const QString& argument : arguments)
        words.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    process = ::fork();
    if (process == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        // It ends with us, however we end: a killed program must not leave
        // ExifTool polling its closed pipe forever. SIGINT, because ExifTool
        // deletes its temporary file on it and finishes an in-place copy
        // before it obeys.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGPIPE, SIG_DFL);
        ::prctl(PR_SET_PDEATHSIG, SIGINT);
        if (::getppid() != parent)
            ::_exit(1);
        ::execv(argv[0], argv.data());
        const int error = errno;
        (void)!::write(status[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    ::close(status[1]);
    if (process < 0) {
        ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        ::close(status[0]);
        process = 0;
        return false;
    }
    // The status pipe closes on a successful exec; an error number means none.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(status[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);
    in_fd = in[1];
    out_fd = out[0];
    err_fd = err[0];
    ::fcntl(out_fd, F_SETFL, O_NONBLOCK);
    ::fcntl(err_fd, F_SETFL, O_NONBLOCK);
    if (got > 0) {
        qCWarning(lc_exiftool).noquote() << "cannot run" << program << ":" << std::strerror(error);
        reap(true);
        close_pipes();
        return false;
    }
    exited = false;
    return true;
}

void exiftool_child::reap(bool wait)
{
    if (process <= 0 || exited)
        return;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(process, &status, wait ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == process || (done < 0 && errno == ECHILD)) {
        exited = true;
        if (done == process) {
            exit_status = WIFSIGNALED(status) ? 1 : 0;
            exit_code = WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
        }
    }
}

void exiftool_child::close_pipes()
{
    for (int* fd : { &in_fd, &out_fd, &err_fd }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool exiftool_child::alive()
{
    reap(false);
    return process > 0 && !exited;
}

bool exiftool_child::send(const QString& lines)
{
    if (in_flight || !alive())
        return false;
    const int id = next_id++;
    // The echo comes after the command has run, and exiftool flushes its
    // error stream before it prints "{readyN}".
    const QByteArray bytes = (lines + QStringLiteral("-echo4\n{done%1 ${status}}\n-execute%1\n").arg(id)).toUtf8();
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(in_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += written;
    }
    in_flight = id;
    last_byte.start();
    return true;
}

bool exiftool_child::read_pipe(int fd, QByteArray& buffer)
{
    // False at the end of the stream: the child has gone.
    char chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            buffer.append(chunk, int(got));
            last_byte.start();
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0;
    }
}

bool exiftool_child::complete_reply(exiftool_reply& reply)
{
    const QByteArray ready = "{ready" + QByteArray::number(in_flight) + '}';
    const int out_at = find_line(out_buffer, ready);
    if (out_at < 0)
        return false;
    const QByteArray done_prefix = "{done" + QByteArray::number(in_flight) + ' ';
    int err_at = -1;
    for (int from = 0; (from = err_buffer.indexOf(done_prefix, from)) >= 0; ++from) {
        if (from == 0 || err_buffer[from - 1] == '\n') {
            err_at = from;
            break;
        }
    }
    if (err_at < 0 || err_buffer.indexOf('}', err_at) < 0)
        return false;

    reply = exiftool_reply();
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
    in_flight = 0;
    return true;
}

void exiftool_child::failed(const QString& why, bool given_up, exiftool_reply& reply)
{
    qCWarning(lc_exiftool).noquote() << why;
    reply = exiftool_reply();
    reply.failure = why;
    reply.given_up = given_up;
    reply.output = QString::fromUtf8(out_buffer);
    out_buffer.clear();
    err_buffer.clear();
    in_flight = 0;
}

bool exiftool_child::pump(exiftool_reply& reply)
{
    if (!in_flight)
        return false;
    const bool out_open = read_pipe(out_fd, out_buffer);
    const bool err_open = read_pipe(err_fd, err_buffer);
    if (complete_reply(reply))
        return true;
    if (!out_open || !err_open || !alive()) {
        // Gone: what it wrote before dying may still make a whole answer.
        reap(true);
        read_pipe(out_fd, out_buffer);
        read_pipe(err_fd, err_buffer);
        if (complete_reply(reply))
            return true;
        qCWarning(lc_exiftool) << "exiftool ended unexpectedly with code" << exit_code << "and status" << exit_status;
        failed(QStringLiteral("Exiftool stopped before it answered."), false, reply);
        return true;
    }
    if (last_byte.elapsed() >= answer_timeout_msecs) {
        // A hung child would hold every later request; a new one is
        // started for the next.
        ::kill(process, SIGKILL);
        reap(true);
        failed(QStringLiteral("ExifTool did not answer"), true, reply);
        return true;
    }
    return false;
}

void exiftool_child::request_stop()
{
    if (!alive())
        return;
    const char stop[] = "-stay_open\nFalse\n";
    (void)!::write(in_fd, stop, sizeof stop - 1);
}

void exiftool_child::wait_stopped(int msecs)
{
    QElapsedTimer waited;
    waited.start();
    while (alive() && waited.elapsed() < msecs)
        sleep_msecs(10);
    if (alive()) {
        qCWarning(lc_exiftool) << "exiftool did not quit in time; killing it";
        ::kill(process, SIGKILL);
        reap(true);
    }
    close_pipes();
}

} // namespace kal
