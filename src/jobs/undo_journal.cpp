#include "jobs/undo_journal.h"

#include "toolkit/counted.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString run_header = QStringLiteral("run.json");
const QString old_header = QStringLiteral("journal.json");
const QString runs_folder = QStringLiteral("runs");
const QString damaged_folder = QStringLiteral("damaged");
const QString iso_ms = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz'Z'");

// "part-000003-32.json": the third part, with 32 photos. The count is in the
// name so that a part that cannot be read still tells how many it held.
// Parts of older versions have no count.
const QRegularExpression& part_pattern()
{
    static const QRegularExpression pattern(QStringLiteral("^part-(\\d+)(?:-(\\d+))?\\.json$"));
    return pattern;
}

QString part_name(int part, int count)
{
    return QStringLiteral("part-%1-%2.json").arg(part, 6, 10, QLatin1Char('0')).arg(count);
}

struct part_file {
    QString name;
    int number = 0;
    // -1 when the name does not say.
    int count = -1;
};

std::vector<part_file> parts_in(const QString& folder)
{
    std::vector<part_file> parts;
    const QStringList names = QDir(folder).entryList({ QStringLiteral("part-*.json") }, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = part_pattern().match(name);
        if (!match.hasMatch())
            continue;
        part_file part { name, match.captured(1).toInt(), -1 };
        if (!match.captured(2).isEmpty())
            part.count = match.captured(2).toInt();
        parts.push_back(part);
    }
    std::sort(parts.begin(), parts.end(), [](const part_file& a, const part_file& b) { return a.number < b.number; });
    return parts;
}

QString system_reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sync_folder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes the file whole or not at all: a temporary file, flushed to the
// disk, renamed over the target, and the folder synced so the rename lasts.
bool store_file(const QString& path, const QByteArray& bytes, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".new";
    int failure = 0;
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        failure = errno;
    } else {
        qint64 done = 0;
        while (done < bytes.size() && !failure) {
            qint64 chunk = bytes.size() - done;
            if (undo_journal::space_left_for_tests >= 0)
                chunk = std::min(chunk, undo_journal::space_left_for_tests);
            if (chunk == 0) {
                failure = ENOSPC;
                break;
            }
            const ssize_t written = ::write(fd, bytes.constData() + done, std::size_t(chunk));
            if (written < 0) {
                if (errno != EINTR)
                    failure = errno;
                continue;
            }
            done += written;
            if (undo_journal::space_left_for_tests >= 0)
                undo_journal::space_left_for_tests -= written;
        }
        if (!failure && ::fsync(fd) != 0)
            failure = errno;
        if (::close(fd) != 0 && !failure)
            failure = errno;
        if (!failure && ::rename(temporary.constData(), target.constData()) != 0)
            failure = errno;
    }
    if (failure) {
        ::unlink(temporary.constData());
        if (error)
            *error = system_reason(failure);
        return false;
    }
    sync_folder(QFileInfo(path).absolutePath());
    return true;
}

std::optional<QJsonObject> read_json(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QJsonObject tags_object(const undo_journal::tag_map& tags)
{
    QJsonObject object;
    for (const auto& [name, value] : tags)
        object[QString::fromStdString(name)] = QString::fromStdString(value);
    return object;
}

undo_journal::tag_map tags_of(const QJsonObject& object)
{
    undo_journal::tag_map tags;
    for (auto it = object.begin(); it != object.end(); ++it)
        tags[it.key().toStdString()] = it.value().toString().toStdString();
    return tags;
}

QByteArray part_bytes(const std::vector<undo_journal::entry>& entries)
{
    QJsonArray list;
    for (const undo_journal::entry& e : entries) {
        QJsonObject object;
        object[QStringLiteral("path")] = e.path;
        object[QStringLiteral("written")] = e.written.toUTC().toString(iso_ms);
        object[QStringLiteral("restore")] = tags_object(e.restore);
        if (e.intended_known)
            object[QStringLiteral("intended")] = e.intended
                ? QJsonValue(QJsonArray { e.intended->first, e.intended->second })
                : QJsonValue(QJsonValue::Null);
        if (e.after)
            object[QStringLiteral("after")] = tags_object(*e.after);
        if (e.after && e.stamp)
            object[QStringLiteral("stamp")] = to_text(*e.stamp);
        if (e.created)
            object[QStringLiteral("created")] = true;
        list.append(object);
    }
    return QJsonDocument(QJsonObject { { QStringLiteral("entries"), list } }).toJson(QJsonDocument::Compact);
}

// The entries of a part, or nothing when the part is damaged.
std::optional<std::vector<undo_journal::entry>> part_entries(const QString& path)
{
    const std::optional<QJsonObject> document = read_json(path);
    if (!document || !document->value(QStringLiteral("entries")).isArray())
        return std::nullopt;
    std::vector<undo_journal::entry> entries;
    for (const QJsonValue& value : document->value(QStringLiteral("entries")).toArray()) {
        const QJsonObject object = value.toObject();
        undo_journal::entry e;
        e.path = object.value(QStringLiteral("path")).toString();
        if (e.path.isEmpty() || !object.value(QStringLiteral("restore")).isObject())
            return std::nullopt;
        e.written = QDateTime::fromString(object.value(QStringLiteral("written")).toString(), Qt::ISODateWithMs);
        e.restore = tags_of(object.value(QStringLiteral("restore")).toObject());
        if (object.contains(QStringLiteral("intended"))) {
            e.intended_known = true;
            const QJsonArray pair = object.value(QStringLiteral("intended")).toArray();
            if (pair.size() == 2)
                e.intended = undo_journal::position { pair[0].toDouble(), pair[1].toDouble() };
        }
        if (object.value(QStringLiteral("after")).isObject())
            e.after = tags_of(object.value(QStringLiteral("after")).toObject());
        e.stamp = stamp_from_text(object.value(QStringLiteral("stamp")).toString());
        e.created = object.value(QStringLiteral("created")).toBool();
        entries.push_back(std::move(e));
    }
    return entries;
}

QDateTime time_of_id(const QString& id)
{
    QDateTime time = QDateTime::fromString(id.left(18), QStringLiteral("yyyyMMdd'T'hhmmsszzz"));
    time.setTimeSpec(Qt::UTC);
    return time;
}

} // namespace

qint64 undo_journal::space_left_for_tests = -1;

QString undo_journal::default_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/undo");
}

undo_journal::undo_journal(const QString& folder)
    : where(folder)
{
}

undo_journal::~undo_journal() = default;

bool undo_journal::lock(int wait_msecs, QString* error)
{
    if (lock_file && lock_file->isLocked())
        return true;
    if (!QDir().mkpath(where)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(where));
        return false;
    }
    lock_file = std::make_unique<QLockFile>(where + QStringLiteral("/lock"));
    // A long write holds the lock for hours: only a dead holder makes it stale.
    lock_file->setStaleLockTime(0);
    if (lock_file->tryLock(wait_msecs))
        return true;
    if (error) {
        *error = lock_file->error() == QLockFile::LockFailedError
            ? QStringLiteral("Another Vestra is writing photos: wait for it to finish.")
            : QStringLiteral("The undo data in %1 cannot be locked.").arg(QDir::toNativeSeparators(where));
    }
    lock_file.reset();
    return false;
}

void undo_journal::unlock()
{
    lock_file.reset();
}

QString undo_journal::run_folder(const QString& id) const
{
    return where + QLatin1Char('/') + runs_folder + QLatin1Char('/') + id;
}

void undo_journal::move_aside(const QString& file)
{
    const QString aside = where + QLatin1Char('/') + damaged_folder;
    QDir().mkpath(aside);
    const QFileInfo info(file);
    QString target = aside + QLatin1Char('/') + info.dir().dirName() + QLatin1Char('-') + info.fileName();
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = aside + QStringLiteral("/%1-%2-%3").arg(info.dir().dirName()).arg(n).arg(info.fileName());
    QFile::rename(file, target);
}

void undo_journal::adopt_old_journal()
{
    // An older version kept one journal directly in the folder.
    QDir dir(where);
    const QStringList old_parts = dir.entryList({ QStringLiteral("part-*.json") }, QDir::Files);
    const bool header = dir.exists(old_header);
    if (old_parts.isEmpty() && !header)
        return;
    QDateTime started;
    if (const std::optional<QJsonObject> object = read_json(dir.filePath(old_header)))
        started = QDateTime::fromString(object->value(QStringLiteral("started")).toString(), Qt::ISODateWithMs);
    if (!started.isValid())
        started = QFileInfo(dir.filePath(header ? old_header : old_parts.first())).lastModified();
    const QString id = started.toUTC().toString(QStringLiteral("yyyyMMdd'T'hhmmsszzz")) + QStringLiteral("-old");
    const QString folder = run_folder(id);
    if (!QDir().mkpath(folder))
        return;
    for (const QString& name : old_parts)
        dir.rename(name, folder + QLatin1Char('/') + name);
    if (header)
        dir.rename(old_header, folder + QLatin1Char('/') + run_header);
    sync_folder(folder);
    sync_folder(where);
}

std::vector<undo_journal::run_info> undo_journal::runs()
{
    adopt_old_journal();
    std::vector<run_info> list;
    const QStringList ids = QDir(where + QLatin1Char('/') + runs_folder)
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString& id : ids) {
        const QString folder = run_folder(id);
        run_info info;
        info.id = id;
        info.started = time_of_id(id);
        if (const std::optional<QJsonObject> header = read_json(folder + QLatin1Char('/') + run_header)) {
            info.operation = header->value(QStringLiteral("operation")).toString();
            const QDateTime started
                = QDateTime::fromString(header->value(QStringLiteral("started")).toString(), Qt::ISODateWithMs);
            if (started.isValid())
                info.started = started;
            for (const QJsonValue& value : header->value(QStringLiteral("folders")).toArray())
                info.folders << value.toString();
        }
        const std::vector<part_file> parts = parts_in(folder);
        for (const part_file& part : parts) {
            const QString path = folder + QLatin1Char('/') + part.name;
            info.bytes += QFileInfo(path).size();
            if (part.count >= 0)
                info.photos += part.count;
            else if (const auto entries = part_entries(path))
                info.photos += int(entries->size());
        }
        // A run being begun, or one whose parts all were moved aside.
        if (parts.empty())
            continue;
        list.push_back(info);
    }
    return list;
}

std::optional<undo_journal::run> undo_journal::load(const QString& id)
{
    const QString folder = run_folder(id);
    if (id.isEmpty() || !QFileInfo(folder).isDir())
        return std::nullopt;
    run result;
    for (const run_info& info : runs()) {
        if (info.id == id)
            result.info = info;
    }
    result.info.photos = 0;
    const QString header = folder + QLatin1Char('/') + run_header;
    if (QFileInfo::exists(header) && !read_json(header))
        result.info.damaged_files << QDir::toNativeSeparators(header);
    QSet<QString> seen;
    for (const part_file& part : parts_in(folder)) {
        const QString path = folder + QLatin1Char('/') + part.name;
        const std::optional<std::vector<entry>> entries = part_entries(path);
        if (!entries) {
            result.info.damaged_files << QDir::toNativeSeparators(path);
            result.info.damaged_photos += std::max(0, part.count);
            continue;
        }
        for (const entry& e : *entries) {
            // The first entry of a photo holds its state before any of ours.
            if (seen.contains(e.path))
                continue;
            seen.insert(e.path);
            result.entries.push_back(e);
        }
    }
    result.info.photos = int(result.entries.size());
    return result;
}

QSet<QString> undo_journal::written_later(const QString& id)
{
    QSet<QString> later;
    for (const run_info& info : runs()) {
        if (info.id <= id)
            break;
        for (const part_file& part : parts_in(run_folder(info.id))) {
            if (const auto entries = part_entries(run_folder(info.id) + QLatin1Char('/') + part.name)) {
                for (const entry& e : *entries)
                    later.insert(e.path);
            }
        }
    }
    QSet<QString> mine;
    if (const std::optional<run> own = load(id)) {
        for (const entry& e : own->entries) {
            if (later.contains(e.path))
                mine.insert(e.path);
        }
    }
    return mine;
}

void undo_journal::begin(const QString& operation, const QStringList& folders)
{
    finish();
    current_operation = operation;
    current_folders = folders;
    current_started = QDateTime::currentDateTimeUtc();
    QString id = current_started.toString(QStringLiteral("yyyyMMdd'T'hhmmsszzz"));
    for (int n = 2; QFileInfo::exists(run_folder(id)); ++n)
        id = current_started.toString(QStringLiteral("yyyyMMdd'T'hhmmsszzz")) + QStringLiteral("-%1").arg(n);
    current = id;
    parts_stored = 0;
}

bool undo_journal::store_run_header(QString* error)
{
    const QString folder = run_folder(current);
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    sync_folder(where + QLatin1Char('/') + runs_folder);
    const QJsonObject header { { QStringLiteral("operation"), current_operation },
        { QStringLiteral("started"), current_started.toString(iso_ms) },
        { QStringLiteral("folders"), QJsonArray::fromStringList(current_folders) } };
    return store_file(folder + QLatin1Char('/') + run_header, QJsonDocument(header).toJson(QJsonDocument::Compact), error);
}

bool undo_journal::record(const std::vector<entry>& entries, int* part, QString* error)
{
    if (current.isEmpty())
        begin(QStringLiteral("sync"), {});
    if (parts_stored == 0 && !store_run_header(error))
        return false;
    const int number = parts_stored + 1;
    if (!store_file(run_folder(current) + QLatin1Char('/') + part_name(number, int(entries.size())), part_bytes(entries),
            error))
        return false;
    parts_stored = number;
    if (part)
        *part = number;
    return true;
}

bool undo_journal::rewrite(int part, const std::vector<entry>& entries, QString* error)
{
    const QString folder = run_folder(current);
    const QString name = part_name(part, int(entries.size()));
    QString old;
    for (const part_file& file : parts_in(folder)) {
        if (file.number == part)
            old = file.name;
    }
    if (!entries.empty() && !store_file(folder + QLatin1Char('/') + name, part_bytes(entries), error))
        return false;
    if (!old.isEmpty() && old != name) {
        QFile::remove(folder + QLatin1Char('/') + old);
        sync_folder(folder);
    }
    return true;
}

void undo_journal::finish()
{
    if (current.isEmpty())
        return;
    current.clear();
    // Runs without parts: begun and cut off, or emptied by undo.
    const QStringList ids = QDir(where + QLatin1Char('/') + runs_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& id : ids) {
        if (parts_in(run_folder(id)).empty())
            QDir(run_folder(id)).removeRecursively();
    }
    parts_stored = 0;
    // The newest runs stay whatever their size; older ones while they fit.
    qint64 total = 0;
    int index = 0;
    for (const run_info& info : runs()) {
        total += info.bytes;
        if (++index > runs_always_kept && total > size_limit)
            discard(info.id);
    }
}

bool undo_journal::keep(const QString& id, const QSet<QString>& paths, QString* error)
{
    const QString folder = run_folder(id);
    const QString header = folder + QLatin1Char('/') + run_header;
    if (QFileInfo::exists(header) && !read_json(header))
        move_aside(header);
    bool ok = true;
    bool any_left = false;
    for (const part_file& part : parts_in(folder)) {
        const QString path = folder + QLatin1Char('/') + part.name;
        const std::optional<std::vector<entry>> entries = part_entries(path);
        if (!entries) {
            // Damaged: kept for a person to look at, not deleted.
            move_aside(path);
            continue;
        }
        std::vector<entry> left;
        for (const entry& e : *entries) {
            if (paths.contains(e.path))
                left.push_back(e);
        }
        if (left.size() == entries->size()) {
            any_left = true;
            continue;
        }
        if (!left.empty()) {
            const QString name = part_name(part.number, int(left.size()));
            if (!store_file(folder + QLatin1Char('/') + name, part_bytes(left), error)) {
                ok = false;
                any_left = true;
                continue;
            }
            any_left = true;
            if (name == part.name)
                continue;
        }
        QFile::remove(path);
    }
    sync_folder(folder);
    if (!any_left && ok)
        discard(id);
    return ok;
}

bool undo_journal::discard(const QString& id)
{
    const QString folder = run_folder(id);
    if (id.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    const bool ok = QDir(folder).removeRecursively();
    sync_folder(where + QLatin1Char('/') + runs_folder);
    return ok;
}

QString run_summary(const undo_journal::run_info& info)
{
    if (info.operation == QLatin1String("removal"))
        return QStringLiteral("GPS data removed from %1").arg(counted(info.photos, QStringLiteral("1 photo"), QStringLiteral("%1 photos")));
    if (info.operation == QLatin1String("sync"))
        return QStringLiteral("%1 written").arg(counted(info.photos, QStringLiteral("1 position"), QStringLiteral("%1 positions")));
    return QStringLiteral("%1 written").arg(counted(info.photos, QStringLiteral("1 photo"), QStringLiteral("%1 photos")));
}
