#include "exif/exiftool.h"

#include "exif/exiftool_data.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <iostream>

namespace kal {

namespace {

void print(const QString& text)
{
    std::cout << text.toUtf8().constData() << std::endl;
}

bool has_line_break(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

bool has_line_break(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

QString exiftool_script()
{
    const QString bundled
        = QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources/exiftool/exiftool");
    if (QFileInfo::exists(bundled))
        return bundled;
    const QString found = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (found.isEmpty()) {
        print(QStringLiteral("Error: Exiftool is neither at ") + bundled
            + QStringLiteral(" nor on the search path..."));
        return bundled;
    }
    return found;
}

// True when the buffer, trailing white space ignored, ends with the marker
// on a line of its own. A tag value that happens to end in the marker text
// must not end the response early.
bool ends_with_marker(const char* data, int size, const QByteArray& marker)
{
    const auto is_space
        = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    int end = size;
    while (end > 0 && is_space(data[end - 1]))
        --end;
    const int start = end - marker.size();
    if (start < 0 || qstrncmp(data + start, marker.constData(), uint(marker.size())) != 0)
        return false;
    return start == 0 || data[start - 1] == '\n';
}

} // namespace

std::shared_ptr<_exiftool2> _exiftool2::instance()
{
    static std::shared_ptr<_exiftool2> bridge = std::make_shared<_exiftool2>();
    return bridge;
}

_exiftool2::_exiftool2()
{
    ready_marker = QStringLiteral("{ready}");
    is_silent = false;
    is_running = false;
    exit_code = 0;
    exit_status = 0;

    // File names go out as UTF-8 whatever the locale; "-charset filename"
    // makes exiftool take them that way.
    const QStringList args = { exiftool_script(), QStringLiteral("-stay_open"), QStringLiteral("True"),
        QStringLiteral("-@"), QStringLiteral("-"), QStringLiteral("-common_args"), QStringLiteral("-charset"),
        QStringLiteral("filename=utf8"), QStringLiteral("-args"), QStringLiteral("-f"),
        QStringLiteral("-sort") };

    proc = new QProcess(this);
    connect(
        proc, &QProcess::readyReadStandardError, this, &_exiftool2::on_error_output, Qt::DirectConnection);
    connect(
        proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        [this](int code, QProcess::ExitStatus status) { on_finished(code, int(status)); },
        Qt::DirectConnection);

    proc->setReadChannel(QProcess::StandardOutput);
    proc->start(QStringLiteral("perl"), args, QIODevice::ReadWrite | QIODevice::Text | QIODevice::Unbuffered);
    if (proc->waitForStarted(2000))
        is_running = true;
    else
        print(QStringLiteral("Error: Could not start Exiftool..."));
}

_exiftool2::~_exiftool2()
{
    if (proc->state() == QProcess::NotRunning) {
        print(QStringLiteral("Exiftool is not running... It exited with code %1 and status is %2")
                  .arg(exit_code)
                  .arg(exit_status));
        proc->disconnect(this);
        return;
    }
    // From here on an exit is expected; only record how it went.
    disconnect(proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, nullptr);
    connect(proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        [this](int code, QProcess::ExitStatus status) {
            exit_code = code;
            exit_status = int(status);
        });
    connect(proc, &QProcess::readyRead, this, [this] {
        print(QStringLiteral("[exiftool2] exit data: '") + QString::fromUtf8(proc->readAllStandardOutput())
            + QStringLiteral("'"));
    });
    write_to_proc(QStringLiteral("-stay_open\nFalse\n"));
    if (!proc->waitForFinished(5000)) {
        print(QStringLiteral("Exiftool didn't quit in time. Killing it."));
        proc->kill();
        proc->waitForFinished(1000);
    }
    // proc outlives this part of the object; its last signals must not reach it.
    proc->disconnect(this);
}

void _exiftool2::on_finished(int code, int status)
{
    exit_code = code;
    exit_status = status;
    print(QStringLiteral("Exiftool ended unexpectedly with code %1 and status %2").arg(code).arg(status));
}

void _exiftool2::on_error_output()
{
    if (is_silent)
        return;
    const QByteArray error = proc->readAllStandardError();
    print(QStringLiteral("[exiftool cerr] '") + QString::fromUtf8(error.constData()) + QStringLiteral("'"));
}

void _exiftool2::write_to_proc(const QString& command)
{
    const QByteArray bytes = command.toUtf8();
    const qint64 written = proc->write(bytes);
    if (written != bytes.size())
        print(QStringLiteral("[write_to_proc] proc->write() returned %1 but expected %2")
                  .arg(written)
                  .arg(bytes.size()));
}

bool _exiftool2::response_complete(const QByteArray& buffer) const
{
    return ends_with_marker(buffer.constData(), buffer.size(), ready_marker.toUtf8());
}

QString _exiftool2::read_proc_response(bool* complete)
{
    if (complete)
        *complete = false;
    if (!is_running) {
        print(QStringLiteral("Uh oh..."));
        return {};
    }

    QByteArray buffer;
    bool done = false;
    while (!done) {
        const bool got_data = proc->waitForReadyRead(1000);
        buffer += proc->readAllStandardOutput();
        done = response_complete(buffer);
        if (done)
            break;
        // A child that died (or was killed) never sends the marker.
        if (proc->state() != QProcess::Running) {
            print(QStringLiteral("Error: Exiftool stopped before it answered."));
            break;
        }
        if (!got_data && !is_silent)
            print(QStringLiteral("Warning: Exiftool didn't supply any data in the last 1000 msec."));
    }
    if (complete)
        *complete = done;
    return QString::fromUtf8(buffer.constData());
}

_exiftool2::tag_map _exiftool2::parse_response(const QString& response, const QString& ready_marker)
{
    tag_map tags;
    const QStringList lines = response.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (line == ready_marker)
            continue;
        // The value runs to the end of the line: undo writes it back, so a
        // value cut at an "=" of its own would lose data.
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString name = line.left(equals).mid(1).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        tags[name.toStdString()] = value.toStdString();
    }
    return tags;
}

bool _exiftool2::running() const
{
    return is_running && proc && proc->state() == QProcess::Running;
}

_exiftool2::tag_map _exiftool2::read_exif_data(const QString& file, bool group_names, bool dump)
{
    std::lock_guard<std::mutex> lock(access_mutex);
    if (!is_running || proc->state() != QProcess::Running)
        return {};
    if (has_line_break(file)) {
        print(QStringLiteral("Error: Not reading a file whose name holds a line break: ") + file);
        return {};
    }
    // Given a folder, exiftool would answer for every file inside it.
    if (!QFileInfo(file).isFile()) {
        print(QStringLiteral("Error: Not reading what is not a file: ") + file);
        return {};
    }

    QString command;
    if (group_names)
        command += QStringLiteral("-G1\n");
    command += QStringLiteral("\n%1\n-execute\n").arg(QFileInfo(file).absoluteFilePath());
    write_to_proc(command);
    bool complete = false;
    const QString response = read_proc_response(&complete);
    if (!complete)
        return {};

    tag_map tags = parse_response(response, ready_marker);
    if (dump) {
        std::string text = "{";
        bool first = true;
        for (const auto& [name, value] : tags) {
            if (!first)
                text += ", \n";
            first = false;
            text += "{'" + name + "','" + value + "'}";
        }
        text += "}\n";
        std::cout << file.toUtf8().constData() << ' ' << text << std::flush;
    }
    return tags;
}

bool _exiftool2::write_exif_data(const QString& file, const tag_map& tags)
{
    QString lines;
    for (const auto& [name, value] : tags) {
        if (has_line_break(name) || has_line_break(value)) {
            print(QStringLiteral("Error: Not writing a tag whose name or value holds a line "
                                 "break into ")
                + file);
            return false;
        }
        lines += QStringLiteral("-%1=%2\n")
                     .arg(QString::fromUtf8(name.c_str()), QString::fromUtf8(value.c_str()));
    }
    return execute_raw_command(file, lines);
}

bool _exiftool2::execute_raw_command(const QString& file, const QString& args)
{
    std::lock_guard<std::mutex> lock(access_mutex);
    if (has_line_break(file)) {
        print(QStringLiteral("Error: Not writing a file whose name holds a line break: ") + file);
        return false;
    }
    // Given a folder, exiftool would rewrite every photo inside it.
    if (!QFileInfo(file).isFile()) {
        print(QStringLiteral("Error: Not writing what is not a file: ") + file);
        return false;
    }
    if (!is_running || proc->state() != QProcess::Running) {
        print(QStringLiteral("Error: Exiftool is not running; nothing written to ") + file);
        return false;
    }

    QString command
        = QStringLiteral("\n%1\n-overwrite_original_in_place\n-m\n").arg(QFileInfo(file).absoluteFilePath());
    command += args;
    command += QStringLiteral("-execute\n");
    write_to_proc(command);
    bool complete = false;
    const QString response = read_proc_response(&complete);
    return complete && !response.contains(QStringLiteral("files weren't updated due to errors"));
}

void _exiftool2::write_application_info_to_exif(tag_map& tags)
{
    const std::string info
        = QStringLiteral("%1 - %2")
              .arg(QCoreApplication::organizationName(), QCoreApplication::applicationName())
              .toStdString();
    tags["Software"] = info;
    tags["CreatorTool"] = info;
}

void _exiftool2::write_application_info_to_exif(const QString& file)
{
    tag_map tags;
    write_application_info_to_exif(tags);
    write_exif_data(file, tags);
}

void _exiftool2::silent(bool on)
{
    is_silent = on;
}

_exiftool2::tag_map _exiftool2::remove_nonwriteable_tags(const tag_map& tags)
{
    tag_map result = tags;
    for (const std::string& name : exiftool_data::forbidden_tags)
        result.erase(name);
    return result;
}

} // namespace kal
