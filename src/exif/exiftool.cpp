#include "exif/exiftool.h"

#include "exif/exiftool_data.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
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

// The bare tag names of a write map, for telling which warnings are about it.
QStringList base_names(const std::map<std::string, std::string>& tags)
{
    QStringList names;
    for (const auto& entry : tags) {
        QString name = QString::fromUtf8(entry.first.c_str());
        name = name.section(QLatin1Char(':'), -1);
        if (name.endsWith(QLatin1Char('#')))
            name.chop(1);
        if (!name.isEmpty() && name != QLatin1String("all") && name != QLatin1String("*"))
            names << name;
    }
    return names;
}

// "    1 image files updated" and its kin, from a write's summary.
int summary_count(const QString& output, const QString& what)
{
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.endsWith(what)) {
            bool ok = false;
            const int count = trimmed.section(QLatin1Char(' '), 0, 0).toInt(&ok);
            if (ok)
                return count;
        }
    }
    return -1;
}

} // namespace

std::shared_ptr<_exiftool2> _exiftool2::instance()
{
    static std::shared_ptr<_exiftool2> bridge = std::make_shared<_exiftool2>();
    return bridge;
}

// File names go out as UTF-8 whatever the locale; "-charset filename" makes
// exiftool take them that way.
_exiftool2::_exiftool2()
    : _exiftool2(QStringLiteral("perl"),
        { exiftool_script(), QStringLiteral("-stay_open"), QStringLiteral("True"), QStringLiteral("-@"),
            QStringLiteral("-"), QStringLiteral("-common_args"), QStringLiteral("-charset"),
            QStringLiteral("filename=utf8"), QStringLiteral("-args"), QStringLiteral("-f"),
            QStringLiteral("-sort") })
{
}

_exiftool2::_exiftool2(const QString& program, const QStringList& arguments)
    : program(program)
    , arguments(arguments)
{
    ready_marker = QStringLiteral("{ready}");
    children.resize(1, nullptr);
    is_running = start_child(0) != nullptr;
    if (!is_running)
        print(QStringLiteral("Error: Could not start Exiftool..."));
}

_exiftool2::~_exiftool2()
{
    // Ask every child at once, then wait for each: they end side by side.
    for (exiftool_child* c : children) {
        if (!c)
            continue;
        if (!c->running())
            print(QStringLiteral("Exiftool is not running... It exited with code %1 and status is %2")
                      .arg(c->exit_code)
                      .arg(c->exit_status));
        else
            c->request_stop();
    }
    for (exiftool_child* c : children) {
        if (c)
            c->wait_stopped(5000);
        delete c;
    }
}

exiftool_child* _exiftool2::start_child(std::size_t slot)
{
    delete children[slot];
    children[slot] = new exiftool_child(program, arguments, this);
    children[slot]->quiet = is_silent;
    if (children[slot]->start())
        return children[slot];
    delete children[slot];
    children[slot] = nullptr;
    return nullptr;
}

bool _exiftool2::may_restart()
{
    // A child that dies at once would otherwise be restarted for every file.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    restarts.erase(std::remove_if(restarts.begin(), restarts.end(), [now](qint64 t) { return now - t > 60000; }),
        restarts.end());
    if (restarts.size() >= 4)
        return false;
    restarts.push_back(now);
    return true;
}

exiftool_child* _exiftool2::child()
{
    for (exiftool_child* c : children) {
        if (c && !c->busy() && c->alive())
            return c;
    }
    for (std::size_t slot = 0; slot < children.size(); ++slot) {
        exiftool_child* c = children[slot];
        if (c && c->alive())
            continue;
        if (!may_restart()) {
            print(QStringLiteral("Error: Exiftool keeps stopping; not starting it again for now."));
            return nullptr;
        }
        if (exiftool_child* started = start_child(slot))
            return started;
        print(QStringLiteral("Error: Could not start Exiftool..."));
        return nullptr;
    }
    return nullptr;
}

bool _exiftool2::path_refused(const QString& file, const char* verb)
{
    if (has_line_break(file)) {
        print(QStringLiteral("Error: Not %1 a file whose name holds a line break: ").arg(QLatin1String(verb))
            + file);
        return true;
    }
    // Given a folder, exiftool would answer for, or rewrite, every file inside it.
    if (!QFileInfo(file).isFile()) {
        print(QStringLiteral("Error: Not %1 what is not a file: ").arg(QLatin1String(verb)) + file);
        return true;
    }
    return false;
}

exiftool_reply _exiftool2::request(const QString& file, const QString& options)
{
    exiftool_reply reply;
    exiftool_child* c = child();
    if (!c) {
        reply.failure = QStringLiteral("Exiftool is not running");
        return reply;
    }
    const int id = c->send(options + QFileInfo(file).absoluteFilePath() + QLatin1Char('\n'));
    return c->wait(id);
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
    for (const exiftool_child* c : children) {
        if (c && c->running())
            return true;
    }
    return is_running && restarts.size() < 4;
}

std::vector<qint64> _exiftool2::child_pids() const
{
    std::vector<qint64> pids;
    for (const exiftool_child* c : children) {
        if (c && c->running())
            pids.push_back(c->pid());
    }
    return pids;
}

_exiftool2::tag_map _exiftool2::read_exif_data(const QString& file, bool group_names, bool dump)
{
    std::lock_guard<std::mutex> lock(access_mutex);
    if (!is_running)
        return {};
    if (path_refused(file, "reading"))
        return {};

    const exiftool_reply reply = request(file, group_names ? QStringLiteral("-G1\n") : QStringLiteral("\n"));
    if (!reply.complete)
        return {};

    tag_map tags = parse_response(reply.output, ready_marker);
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

std::optional<_exiftool2::tag_map> _exiftool2::read_gps_numbers(const QString& file, QString* reason)
{
    std::lock_guard<std::mutex> lock(access_mutex);
    const auto fail = [reason](const QString& why) -> std::optional<tag_map> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (path_refused(file, "reading"))
        return fail(QStringLiteral("Not a file that can be read"));
    const exiftool_reply reply = request(file, QStringLiteral("-n\n-a\n-G1\n-GPS:all\n"));
    if (!reply.complete)
        return fail(reply.failure);
    for (const QString& line : reply.errors) {
        if (line.startsWith(QLatin1String("Error")))
            return fail(line);
    }
    tag_map numbers;
    for (const auto& [name, value] : parse_response(reply.output, ready_marker)) {
        if (name.rfind("GPS:", 0) == 0)
            numbers[name.substr(4)] = value;
    }
    return numbers;
}

stored_position _exiftool2::read_position(const QString& file)
{
    std::lock_guard<std::mutex> lock(access_mutex);
    stored_position position;
    if (path_refused(file, "reading")) {
        position.reason = QStringLiteral("Not a file that can be read");
        return position;
    }
    const exiftool_reply reply
        = request(file, QStringLiteral("-n\n-Composite:GPSLatitude\n-Composite:GPSLongitude\n"));
    if (!reply.complete) {
        position.reason = reply.failure;
        return position;
    }
    for (const QString& line : reply.errors) {
        if (line.startsWith(QLatin1String("Error"))) {
            position.reason = line;
            return position;
        }
    }
    position.readable = true;
    const tag_map tags = parse_response(reply.output, ready_marker);
    const auto lat = tags.find("GPSLatitude");
    const auto lon = tags.find("GPSLongitude");
    bool lat_ok = false;
    bool lon_ok = false;
    if (lat != tags.end() && lon != tags.end()) {
        position.lat = QString::fromStdString(lat->second).toDouble(&lat_ok);
        position.lon = QString::fromStdString(lon->second).toDouble(&lon_ok);
    }
    position.present = lat_ok && lon_ok;
    return position;
}

bool _exiftool2::write_exif_data(const QString& file, const tag_map& tags)
{
    return write(file, tags).ok;
}

write_result _exiftool2::write(const QString& file, const tag_map& tags)
{
    QString lines;
    for (const auto& [name, value] : tags) {
        if (has_line_break(name) || has_line_break(value)) {
            print(QStringLiteral("Error: Not writing a tag whose name or value holds a line "
                                 "break into ")
                + file);
            return { false, QStringLiteral("A tag name or value holds a line break") };
        }
        lines += QStringLiteral("-%1=%2\n")
                     .arg(QString::fromUtf8(name.c_str()), QString::fromUtf8(value.c_str()));
    }
    return execute_write(file, lines, tags);
}

bool _exiftool2::execute_raw_command(const QString& file, const QString& args)
{
    return execute_write(file, args, {}).ok;
}

write_result _exiftool2::execute_write(const QString& file, const QString& args, const tag_map& tags)
{
    std::lock_guard<std::mutex> lock(access_mutex);
    if (path_refused(file, "writing"))
        return { false, QStringLiteral("Not a file that can be written") };
    if (!running()) {
        print(QStringLiteral("Error: Exiftool is not running; nothing written to ") + file);
        return { false, QStringLiteral("Exiftool is not running") };
    }
    return judge_write(request(file, QStringLiteral("\n-overwrite_original_in_place\n-m\n") + args), tags);
}

write_result _exiftool2::judge_write(const exiftool_reply& reply, const tag_map& tags)
{
    if (!reply.complete)
        return { false, reply.failure.isEmpty() ? QStringLiteral("Exiftool stopped before it answered.") : reply.failure };
    const QString first_message = reply.errors.isEmpty() ? QString() : reply.errors.first();
    for (const QString& line : reply.errors) {
        if (line.startsWith(QLatin1String("Error")) || line == QLatin1String("Nothing to do."))
            return { false, first_message };
    }
    const QStringList names = base_names(tags);
    for (const QString& line : reply.errors) {
        if (!line.startsWith(QLatin1String("Warning")))
            continue;
        for (const QString& name : names) {
            const QRegularExpression word(
                QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(name)), QRegularExpression::CaseInsensitiveOption);
            if (word.match(line).hasMatch())
                return { false, line };
        }
    }
    const int failed = summary_count(reply.output, QStringLiteral("files weren't updated due to errors"));
    const int updated = summary_count(reply.output, QStringLiteral("image files updated"));
    const int unchanged = summary_count(reply.output, QStringLiteral("image files unchanged"));
    if (failed > 0)
        return { false, first_message.isEmpty() ? QStringLiteral("%1 files weren't updated due to errors").arg(failed) : first_message };
    if (updated <= 0 && unchanged <= 0)
        return { false, first_message.isEmpty() ? QStringLiteral("Exiftool reported no file as updated") : first_message };
    if (reply.status != 0)
        return { false, first_message.isEmpty() ? QStringLiteral("Exiftool ended the request with status %1").arg(reply.status) : first_message };
    return { true, QString() };
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
    for (exiftool_child* c : children) {
        if (c)
            c->quiet = on;
    }
}

_exiftool2::tag_map _exiftool2::remove_nonwriteable_tags(const tag_map& tags)
{
    tag_map result = tags;
    for (const std::string& name : exiftool_data::forbidden_tags)
        result.erase(name);
    return result;
}

} // namespace kal
