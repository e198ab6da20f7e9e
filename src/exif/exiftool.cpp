#include "exif/exiftool.h"

#include "exif/exif_log.h"
#include "exif/exiftool_data.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <deque>
#include <map>

#include <poll.h>
#include <set>

Q_LOGGING_CATEGORY(lc_exiftool, "vestra.exiftool", QtCriticalMsg)

namespace kal {

namespace {

void print(const QString& text)
{
    qCWarning(lc_exiftool).noquote() << text;
}

bool has_line_break(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

bool has_line_break(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

QString bundled_script()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources/exiftool/exiftool");
}

// The bundled exiftool, else the one on the search path; empty when neither.
QString located_script()
{
    if (QFileInfo::exists(bundled_script()))
        return bundled_script();
    return QStandardPaths::findExecutable(QStringLiteral("exiftool"));
}

QString exiftool_script()
{
    const QString found = located_script();
    if (found.isEmpty()) {
        print(QStringLiteral("Error: Exiftool is neither at ") + bundled_script()
            + QStringLiteral(" nor on the search path..."));
        return bundled_script();
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

QString exiftool_version()
{
    const QString script = located_script();
    if (script.isEmpty())
        return {};
    QProcess child;
    child.start(QStringLiteral("perl"), { script, QStringLiteral("-ver") });
    if (!child.waitForFinished(10000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed();
}

std::shared_ptr<_exiftool2> _exiftool2::instance()
{
    static std::shared_ptr<_exiftool2> bridge = std::make_shared<_exiftool2>();
    return bridge;
}

// File names go out as UTF-8 whatever the locale; "-charset filename" makes
// exiftool take them that way.
_exiftool2::_exiftool2()
    : _exiftool2(pool_size())
{
}

_exiftool2::_exiftool2(int children)
    : _exiftool2(QStringLiteral("perl"),
        { exiftool_script(), QStringLiteral("-stay_open"), QStringLiteral("True"), QStringLiteral("-@"),
            QStringLiteral("-"), QStringLiteral("-common_args"), QStringLiteral("-charset"),
            QStringLiteral("filename=utf8"), QStringLiteral("-args"), QStringLiteral("-f"),
            QStringLiteral("-sort") },
        children)
{
}

int _exiftool2::pool_size()
{
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("VESTRA_EXIFTOOL_CHILDREN", &ok);
    if (ok && wanted > 0)
        return std::min(wanted, 16);
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

_exiftool2::_exiftool2(const QString& program, const QStringList& arguments, int pool)
    : program(program)
    , arguments(arguments)
{
    ready_marker = QStringLiteral("{ready}");
    children.resize(std::size_t(std::max(1, pool)));
    used.resize(children.size(), false);
    is_running = start_child(0) != nullptr;
    if (!is_running)
        print(QStringLiteral("Error: Could not start Exiftool..."));
}

_exiftool2::~_exiftool2()
{
    // Ask every child at once, then wait for each: they end side by side.
    for (const auto& c : children) {
        if (c)
            c->request_stop();
    }
    for (const auto& c : children) {
        if (c)
            c->wait_stopped(5000);
    }
}

exiftool_child* _exiftool2::start_child(std::size_t slot)
{
    used[slot] = true;
    children[slot] = std::make_unique<exiftool_child>(program, arguments);
    if (children[slot]->start())
        return children[slot].get();
    children[slot].reset();
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

exiftool_child* _exiftool2::child(const std::function<bool(exiftool_child*)>& taken)
{
    for (const auto& c : children) {
        if (c && !c->busy() && !taken(c.get()) && c->alive())
            return c.get();
    }
    for (std::size_t slot = 0; slot < children.size(); ++slot) {
        exiftool_child* c = children[slot].get();
        if (c && (c->busy() || taken(c) || c->alive()))
            continue;
        if (used[slot] && !may_restart()) {
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
    exiftool_batch batch;
    batch.requests.push_back({ file, options, {} });
    run(batch, {});
    return batch.replies.front();
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
    for (const auto& c : children) {
        if (c && c->alive())
            return true;
    }
    return is_running && restarts.size() < 4;
}

std::vector<qint64> _exiftool2::child_pids() const
{
    std::vector<qint64> pids;
    for (const auto& c : children) {
        if (c && c->alive())
            pids.push_back(c->pid());
    }
    return pids;
}

_exiftool2::tag_map _exiftool2::read_exif_data(const QString& file, bool group_names, bool dump)
{
    if (!is_running)
        return {};
    if (path_refused(file, "reading"))
        return {};

    const exiftool_reply reply
        = request(file, group_names ? QStringLiteral("-G1\n") + read_options() : read_options());
    if (!reply.complete)
        return {};

    tag_map tags = parse_response(reply.output, ready_marker);
    if (dump) {
        for (const auto& [name, value] : tags)
            qCDebug(lc_exiftool).noquote() << file << QString::fromStdString(name) << '=' << QString::fromStdString(value);
    }
    return tags;
}

std::optional<_exiftool2::tag_map> _exiftool2::read_gps_numbers(const QString& file, QString* reason)
{
    const auto fail = [reason](const QString& why) -> std::optional<tag_map> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (path_refused(file, "reading"))
        return fail(QStringLiteral("Not a file that can be read"));
    return gps_numbers(request(file, gps_options()), reason);
}

namespace {

// Every place a position is kept: EXIF's GPS group, XMP (sidecars and
// videos), and the QuickTime tags that phones read; and the place names that
// may go with it. Asked for by name alone, numeric ("#"), since naming the
// group makes exiftool work out the group of every tag in the file; -a keeps
// every copy, -G1:4 names each one's group and the copies that exiftool
// would not pick ("Copy1:"), and the groups are sorted out here.
const QString& position_lines()
{
    static const QString lines = QStringLiteral(
        "-GPS*#\n-City#\n-State#\n-Country#\n-CountryCode#\n-Province-State#\n-Country-PrimaryLocationName#\n"
        "-Country-PrimaryLocationCode#\n-CodedCharacterSet#\n-EnvelopeRecordVersion#\n-ApplicationRecordVersion#\n");
    return lines;
}

bool position_tag(const QStringRef& group, const QStringRef& name)
{
    const auto one_of = [&name](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [&name](const char* n) { return name == QLatin1String(n); });
    };
    if (group == QLatin1String("GPS"))
        return true;
    if (group == QLatin1String("XMP-exif"))
        return name.startsWith(QLatin1String("GPS"));
    if (group == QLatin1String("Keys") || group == QLatin1String("UserData"))
        return name == QLatin1String("GPSCoordinates");
    if (group == QLatin1String("XMP-photoshop"))
        return one_of({ "City", "State", "Country" });
    if (group == QLatin1String("XMP-iptcCore"))
        return name == QLatin1String("CountryCode");
    if (group == QLatin1String("IPTC"))
        return one_of({ "City", "Province-State", "Country-PrimaryLocationName", "Country-PrimaryLocationCode",
            "CodedCharacterSet", "EnvelopeRecordVersion", "ApplicationRecordVersion" });
    return false;
}

} // namespace

const QString& _exiftool2::gps_options()
{
    static const QString options = QStringLiteral("-a\n-G1:4\n") + position_lines();
    return options;
}

const QString& _exiftool2::load_options()
{
    // Only what the table uses; the position also as signed numbers
    // ("GPSLatitude#", exiftool's pick among the position lines), since
    // copied positions must not go through the rounded print.
    static const QString options = QStringLiteral(
        "-a\n-G1:4\n-DateTimeOriginal\n-OffsetTimeOriginal\n-CreateDate\n-MIMEType\n-Model\n-LensModel\n-Lens\n"
        "-FNumber\n-ISO\n-FocalLength\n-ShutterSpeed\n-ExifImageWidth\n-ExifImageHeight\n-ImageWidth\n"
        "-ImageHeight\n-Rating\n-Orientation\n-GPSPosition\n")
        + position_lines();
    return options;
}

void _exiftool2::split_reply(const QString& output, tag_map* tags, tag_map* numbers)
{
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char('-')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        // "-GROUP:[CopyN:]NAME[#]=VALUE"; a tag asked for that is not there
        // reads "-Copy0:NAME=-", and is left out as an unasked one would be.
        const QVector<QStringRef> names = line.midRef(1, equals - 1).split(QLatin1Char(':'));
        const QStringRef name = names.back();
        bool copy = false;
        bool missing = false;
        for (int i = 0; i + 1 < names.size(); ++i) {
            if (names[i] == QLatin1String("Copy0"))
                missing = true;
            else if (names[i].startsWith(QLatin1String("Copy")))
                copy = true;
        }
        if (missing)
            continue;
        const std::string value = line.mid(equals + 1).trimmed().toStdString();
        if (numbers && names.size() > 1 && name.endsWith(QLatin1Char('#')) && position_tag(names.front(), name.chopped(1))) {
            const std::string key = (names.front().toString() + QLatin1Char(':') + name.chopped(1)).toStdString();
            // The copy exiftool picks, else the first.
            if (!copy)
                (*numbers)[key] = value;
            else
                numbers->emplace(key, value);
        } else if (tags && !copy && (!name.endsWith(QLatin1Char('#')) || names.front() == QLatin1String("Composite"))) {
            // Of the numbers, only the position worked out of the tags is the photo's.
            (*tags)[name.toString().toStdString()] = value;
        }
    }
}

std::optional<_exiftool2::tag_map> _exiftool2::gps_numbers(const exiftool_reply& reply, QString* reason)
{
    const auto fail = [reason](const QString& why) -> std::optional<tag_map> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (!reply.complete)
        return fail(reply.failure);
    for (const QString& line : reply.errors) {
        if (line.startsWith(QLatin1String("Error")))
            return fail(line);
    }
    tag_map numbers;
    split_reply(reply.output, nullptr, &numbers);
    return numbers;
}

stored_position _exiftool2::read_position(const QString& file)
{
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

std::optional<QString> _exiftool2::write_lines(const QString& file, const tag_map& tags, QString* reason)
{
    QString lines = QStringLiteral("\n-overwrite_original_in_place\n-m\n");
    for (const auto& [name, value] : tags) {
        if (has_line_break(name) || has_line_break(value)) {
            print(QStringLiteral("Error: Not writing a tag whose name or value holds a line "
                                 "break into ")
                + file);
            if (reason)
                *reason = QStringLiteral("A tag name or value holds a line break");
            return std::nullopt;
        }
        lines += QStringLiteral("-%1=%2\n")
                     .arg(QString::fromUtf8(name.c_str()), QString::fromUtf8(value.c_str()));
    }
    return lines;
}

write_result _exiftool2::write(const QString& file, const tag_map& tags)
{
    QString reason;
    const std::optional<QString> lines = write_lines(file, tags, &reason);
    if (!lines)
        return { false, reason };
    return execute_write(file, *lines, tags);
}

void _exiftool2::run_many(
    const std::vector<batch_request>& requests, const reply_callback& on_each, const files_callback& on_files)
{
    exiftool_batch batch;
    batch.requests = requests;
    run(batch, on_each, on_files);
}

void _exiftool2::run(exiftool_batch& batch, const reply_callback& on_each, const files_callback& on_files)
{
    const std::vector<batch_request>& requests = batch.requests;
    batch.replies.assign(requests.size(), exiftool_reply());
    std::size_t remaining = requests.size();
    const auto deliver = [&](int index, const exiftool_reply& reply) {
        batch.replies[std::size_t(index)] = reply;
        --remaining;
        if (on_each)
            on_each(index, reply);
    };
    std::deque<int> pending;
    for (int i = 0; i < int(requests.size()); ++i) {
        const bool writing = requests[std::size_t(i)].options.contains(QLatin1String("-overwrite_original"));
        // A request without a file asks ExifTool about itself; an XMP
        // sidecar that is not there yet is made by the write.
        const QString& file = requests[std::size_t(i)].file;
        const bool creating = writing && file.endsWith(QLatin1String(".xmp"), Qt::CaseInsensitive)
            && !QFileInfo::exists(file) && !has_line_break(file);
        if (!file.isEmpty() && !creating && path_refused(file, writing ? "writing" : "reading")) {
            exiftool_reply refused;
            refused.failure = writing ? QStringLiteral("Not a file that can be written")
                                      : QStringLiteral("Not a file that can be read");
            deliver(i, refused);
        } else {
            pending.push_back(i);
        }
    }

    // The request each busy child works on.
    std::map<exiftool_child*, int> in_flight;
    std::vector<bool> retried(requests.size(), false);
    const auto feed = [&] {
        while (!pending.empty()) {
            exiftool_child* c = child([&in_flight](exiftool_child* candidate) { return in_flight.count(candidate) > 0; });
            if (!c)
                break;
            const int index = pending.front();
            pending.pop_front();
            const batch_request& r = requests[std::size_t(index)];
            QString path = r.file.isEmpty() ? QString() : QFileInfo(r.file).absoluteFilePath() + QLatin1Char('\n');
            for (const QString& file : r.files)
                path += QFileInfo(file).absoluteFilePath() + QLatin1Char('\n');
            if (!c->send(r.options + path)) {
                // It died before it could take the request: the next round
                // starts a new one.
                pending.push_front(index);
                continue;
            }
            in_flight[c] = index;
        }
        if (in_flight.empty()) {
            // No child can take the rest.
            while (!pending.empty()) {
                exiftool_reply none;
                none.failure = QStringLiteral("Exiftool is not running");
                deliver(pending.front(), none);
                pending.pop_front();
            }
        }
    };
    const auto answered = [&](exiftool_child* c, const exiftool_reply& reply) {
        const int index = in_flight.at(c);
        in_flight.erase(c);
        const batch_request& r = requests[std::size_t(index)];
        const QString leftover = r.file + QStringLiteral("_exiftool_tmp");
        const bool died = !reply.complete && !reply.given_up;
        if (!r.files.isEmpty()) {
            // Some of its files may be done: the caller sorts them out.
            deliver(index, reply);
        } else if (died && r.options.contains(QLatin1String("-overwrite_original")) && QFile::exists(leftover)) {
            // Killed in the middle of a write: the copy may be unfinished, or
            // already half copied over the photo. The next write decides.
            exiftool_reply failed = reply;
            failed.failure = QStringLiteral("ExifTool stopped while writing it; its unfinished copy was left as %1")
                                 .arg(QFileInfo(leftover).fileName());
            deliver(index, failed);
        } else if (died && !retried[std::size_t(index)]) {
            // Its child died under it before anything was written: once more
            // on a new child.
            retried[std::size_t(index)] = true;
            pending.push_front(index);
        } else {
            deliver(index, reply);
        }
    };

    feed();
    while (remaining > 0) {
        std::vector<pollfd> fds;
        for (const auto& [c, index] : in_flight) {
            fds.push_back({ c->output_fd(), POLLIN, 0 });
            fds.push_back({ c->error_fd(), POLLIN, 0 });
        }
        // A quarter second at most: the clock of each request is looked at too.
        ::poll(fds.data(), nfds_t(fds.size()), 250);
        std::vector<exiftool_child*> busy;
        for (const auto& entry : in_flight)
            busy.push_back(entry.first);
        for (exiftool_child* c : busy) {
            exiftool_reply reply;
            if (c->pump(reply)) {
                answered(c, reply);
            } else if (on_files && !requests[std::size_t(in_flight.at(c))].files.isEmpty()) {
                // Each file's part begins when the one before it is done.
                const QByteArray& so_far = c->output_so_far();
                const int headers = int(so_far.startsWith("======== ")) + int(so_far.count("\n======== "));
                if (headers > 1)
                    on_files(in_flight.at(c), headers - 1);
            }
        }
        feed();
        if (remaining > 0 && while_waiting)
            while_waiting();
    }
}

const exiftool_file_types& _exiftool2::file_types()
{
    if (!types) {
        // "Writable file extensions:" and a list of words below it.
        const auto list = [this](const char* option) {
            QSet<QString> extensions;
            const exiftool_reply reply = request(QString(), QString::fromLatin1(option) + QLatin1Char('\n'));
            const QStringList lines = reply.output.split(QLatin1Char('\n'));
            for (const QString& line : lines.mid(1)) {
                for (const QString& word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    extensions.insert(word.toLower());
            }
            return extensions;
        };
        exiftool_file_types found { list("-listwf"), list("-listf") };
        // Asked of a child that is not there, the lists are empty: ask again later.
        if (found.writable.isEmpty())
            return fallback_types();
        types = found;
    }
    return *types;
}

const exiftool_file_types& _exiftool2::fallback_types()
{
    static const exiftool_file_types fallback = [] {
        exiftool_file_types known;
        for (const std::string& extension : exiftool_data::writable_file_extensions)
            known.writable.insert(QString::fromStdString(extension));
        known.readable = known.writable;
        return known;
    }();
    return fallback;
}

const QString& _exiftool2::read_options()
{
    // Every tag as printed, and the position also as signed numbers: copied
    // positions must not go through the rounded print.
    static const QString options = QStringLiteral("-All\n-Composite:GPSLatitude#\n-Composite:GPSLongitude#\n");
    return options;
}

void _exiftool2::read_many(const QStringList& files, const std::function<void(int, const photo_read&)>& on_each)
{
    read_batched(files, load_options(), [&](int index, const exiftool_reply& reply) {
        photo_read read;
        if (!reply.complete) {
            read.failure = reply.failure.isEmpty() ? QStringLiteral("ExifTool did not answer") : reply.failure;
            on_each(index, read);
            return;
        }
        tag_map numbers;
        split_reply(reply.output, &read.tags, &numbers);
        QString reason;
        // A file exiftool could not read has no numbers to restore.
        if (gps_numbers(reply, &reason))
            read.gps = std::move(numbers);
        on_each(index, read);
    }, {});
}

std::vector<QStringList> _exiftool2::chunks(const QStringList& files) const
{
    // At most this many in one request, so the children finish together
    // and a request that must be repeated file by file stays small.
    const int most = 64;
    const int count = int(children.size());
    const int size = std::clamp((int(files.size()) + count - 1) / std::max(1, count), 1, most);
    std::vector<QStringList> parts;
    for (int i = 0; i < files.size(); i += size)
        parts.push_back(files.mid(i, size));
    return parts;
}

std::vector<std::optional<QString>> _exiftool2::file_parts(const exiftool_reply& reply, const QStringList& files)
{
    std::vector<std::optional<QString>> parts(std::size_t(files.size()));
    if (!reply.complete)
        return parts;
    QStringList paths;
    for (const QString& file : files)
        paths << QFileInfo(file).absoluteFilePath();
    // Exiftool ends each error with " - PATH"; one it does not name a file in
    // leaves every part in doubt.
    std::vector<bool> failed(parts.size(), false);
    for (const QString& line : reply.errors) {
        if (!line.startsWith(QLatin1String("Error")) && line != QLatin1String("Nothing to do."))
            continue;
        bool named = false;
        for (int k = 0; k < paths.size(); ++k) {
            if (line.endsWith(QStringLiteral(" - ") + paths[k])) {
                failed[std::size_t(k)] = true;
                named = true;
            }
        }
        if (!named)
            return std::vector<std::optional<QString>>(parts.size());
    }
    int current = -1;
    int next = 0;
    for (const QString& line : reply.output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("======== "))) {
            // A file exiftool could not open has no header at all.
            const int k = paths.indexOf(line.mid(9), next);
            if (k < 0)
                return std::vector<std::optional<QString>>(parts.size());
            current = k;
            next = k + 1;
            parts[std::size_t(k)] = QString();
            continue;
        }
        if (current >= 0)
            *parts[std::size_t(current)] += line + QLatin1Char('\n');
    }
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (failed[k])
            parts[k].reset();
    }
    return parts;
}

void _exiftool2::write_many(const std::vector<std::pair<QString, tag_map>>& writes,
    const std::function<void(int, const write_result&)>& on_each, const steps_callback& on_steps)
{
    const auto step = [&on_steps](int files) {
        if (on_steps && files > 0)
            on_steps(files);
    };
    // Files with the same tags go together: exiftool then takes the tags in
    // once for all of them. A file about to be made, or refused, goes alone.
    std::map<tag_map, QStringList> groups;
    std::map<tag_map, std::vector<int>> members;
    std::vector<batch_request> requests;
    std::vector<std::vector<int>> sent;
    for (int i = 0; i < int(writes.size()); ++i) {
        const auto& [file, tags] = writes[std::size_t(i)];
        QString reason;
        const std::optional<QString> lines = write_lines(file, tags, &reason);
        if (!lines) {
            on_each(i, { false, reason });
            step(1);
            continue;
        }
        if (has_line_break(file) || !QFileInfo(file).isFile()) {
            requests.push_back({ file, *lines, {} });
            sent.push_back({ i });
            continue;
        }
        groups[tags] << file;
        members[tags].push_back(i);
    }
    for (const auto& [tags, files] : groups) {
        QString reason;
        const QString lines = *write_lines(files.front(), tags, &reason);
        add_chunks(files, members[tags], lines, QStringLiteral("-v0\n") + lines, requests, sent);
    }

    std::vector<int> again;
    run_counted(
        requests, sent,
        [&](int index, const exiftool_reply& reply) {
            const std::vector<int>& indexes = sent[std::size_t(index)];
            const tag_map& tags = writes[std::size_t(indexes.front())].second;
            if (indexes.size() == 1) {
                on_each(indexes.front(), judge_write(reply, tags));
                return;
            }
            const int updated = std::max(0, summary_count(reply.output, QStringLiteral("image files updated")))
                + std::max(0, summary_count(reply.output, QStringLiteral("image files unchanged")));
            if (judge_write(reply, tags).ok && updated == int(indexes.size())) {
                for (const int i : indexes)
                    on_each(i, { true, QString() });
                return;
            }
            for (const int i : indexes) {
                const QString leftover = writes[std::size_t(i)].first + QStringLiteral("_exiftool_tmp");
                if (!reply.complete && QFile::exists(leftover))
                    // Cut off in the middle of this one: the next write decides.
                    on_each(i, { false, QStringLiteral("ExifTool stopped while writing it; its unfinished copy was left as %1")
                                            .arg(QFileInfo(leftover).fileName()) });
                else
                    again.push_back(i);
            }
        },
        step);

    // Alone, each file gets exiftool's own word on it; the same tags written
    // twice change nothing more.
    std::vector<batch_request> alone;
    for (const int i : again)
        alone.push_back({ writes[std::size_t(i)].first, *write_lines(writes[std::size_t(i)].first, writes[std::size_t(i)].second, nullptr), {} });
    run_many(alone, [&](int k, const exiftool_reply& reply) {
        const int i = again[std::size_t(k)];
        on_each(i, judge_write(reply, writes[std::size_t(i)].second));
    });
}

void _exiftool2::add_chunks(const QStringList& files, const std::vector<int>& indexes, const QString& alone,
    const QString& together, std::vector<batch_request>& requests, std::vector<std::vector<int>>& sent) const
{
    int at = 0;
    for (const QStringList& chunk : chunks(files)) {
        sent.emplace_back(indexes.begin() + at, indexes.begin() + at + chunk.size());
        at += int(chunk.size());
        if (chunk.size() == 1)
            requests.push_back({ chunk.front(), alone, {} });
        else
            requests.push_back({ QString(), together, chunk });
    }
}

void _exiftool2::run_counted(const std::vector<batch_request>& requests, const std::vector<std::vector<int>>& sent,
    const reply_callback& on_each, const std::function<void(int)>& step)
{
    // Files a request's progress reports already counted, so none counts twice.
    std::vector<int> reported(requests.size(), 0);
    run_many(
        requests,
        [&](int index, const exiftool_reply& reply) {
            step(int(sent[std::size_t(index)].size()) - reported[std::size_t(index)]);
            on_each(index, reply);
        },
        [&](int index, int finished) {
            step(finished - reported[std::size_t(index)]);
            reported[std::size_t(index)] = std::max(reported[std::size_t(index)], finished);
        });
}

void _exiftool2::read_gps_many(const QStringList& files,
    const std::function<void(int, const std::optional<tag_map>&, const QString&)>& on_each, const steps_callback& on_steps)
{
    read_batched(files, gps_options(), [&](int index, const exiftool_reply& reply) {
        QString reason;
        const std::optional<tag_map> numbers = gps_numbers(reply, &reason);
        on_each(index, numbers, reason);
    }, on_steps);
}

void _exiftool2::read_batched(const QStringList& files, const QString& options,
    const std::function<void(int, const exiftool_reply&)>& deliver, const steps_callback& on_steps)
{
    const auto step = [&on_steps](int count) {
        if (on_steps && count > 0)
            on_steps(count);
    };
    QStringList readable;
    std::vector<int> positions;
    for (int i = 0; i < files.size(); ++i) {
        if (path_refused(files[i], "reading")) {
            exiftool_reply refused;
            refused.failure = QStringLiteral("Not a file that can be read");
            deliver(i, refused);
            step(1);
            continue;
        }
        readable << files[i];
        positions.push_back(i);
    }
    std::vector<batch_request> requests;
    std::vector<std::vector<int>> sent;
    add_chunks(readable, positions, options, options, requests, sent);
    std::vector<int> again;
    run_counted(
        requests, sent,
        [&](int index, const exiftool_reply& reply) {
            const std::vector<int>& indexes = sent[std::size_t(index)];
            if (indexes.size() == 1) {
                deliver(indexes.front(), reply);
                return;
            }
            QStringList chunk;
            for (const int i : indexes)
                chunk << files[i];
            const std::vector<std::optional<QString>> parts = file_parts(reply, chunk);
            for (std::size_t k = 0; k < parts.size(); ++k) {
                if (!parts[k]) {
                    again.push_back(indexes[k]);
                    continue;
                }
                exiftool_reply part;
                part.complete = true;
                part.output = *parts[k];
                deliver(indexes[k], part);
            }
        },
        step);
    // Alone, a file gets exiftool's own reason for it.
    std::vector<batch_request> alone;
    for (const int i : again)
        alone.push_back({ files[i], options, {} });
    run_many(alone, [&](int k, const exiftool_reply& reply) { deliver(again[std::size_t(k)], reply); });
}

write_result _exiftool2::execute_write(const QString& file, const QString& args, const tag_map& tags)
{
    if (path_refused(file, "writing"))
        return { false, QStringLiteral("Not a file that can be written") };
    if (!running()) {
        print(QStringLiteral("Error: Exiftool is not running; nothing written to ") + file);
        return { false, QStringLiteral("Exiftool is not running") };
    }
    return judge_write(request(file, args), tags);
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
    const int updated = std::max(0, summary_count(reply.output, QStringLiteral("image files updated")))
        + std::max(0, summary_count(reply.output, QStringLiteral("image files created")));
    const int unchanged = summary_count(reply.output, QStringLiteral("image files unchanged"));
    if (failed > 0)
        return { false, first_message.isEmpty() ? QStringLiteral("%1 files weren't updated due to errors").arg(failed) : first_message };
    if (updated <= 0 && unchanged <= 0)
        return { false, first_message.isEmpty() ? QStringLiteral("Exiftool reported no file as updated") : first_message };
    if (reply.status != 0)
        return { false, first_message.isEmpty() ? QStringLiteral("Exiftool ended the request with status %1").arg(reply.status) : first_message };
    return { true, QString() };
}

} // namespace kal
