#include "jobs/undo_journal.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString header_name = QStringLiteral("journal.json");

QString part_name(std::size_t part)
{
    return QStringLiteral("part-%1.json").arg(qulonglong(part + 1), 6, 10, QLatin1Char('0'));
}

bool save_json(const QString& path, const QJsonObject& object, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
        if (file.commit())
            return true;
    }
    if (error)
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

QJsonObject read_json(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

QString undo_journal::default_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/undo");
}

undo_journal::undo_journal(const QString& folder)
    : where(folder)
{
}

bool undo_journal::exists() const
{
    return QFile::exists(where + QLatin1Char('/') + header_name);
}

bool undo_journal::begin(const QString& operation, QString* error)
{
    remove();
    if (!QDir().mkpath(where)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(where));
        return false;
    }
    QJsonObject header;
    header[QStringLiteral("operation")] = operation;
    header[QStringLiteral("started")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    return save_json(where + QLatin1Char('/') + header_name, header, error);
}

bool undo_journal::save_part(std::size_t part, QString* error) const
{
    const QString path = where + QLatin1Char('/') + part_name(part);
    if (parts[part].empty()) {
        QFile::remove(path);
        return true;
    }
    QJsonArray entries;
    for (const entry& e : parts[part]) {
        QJsonObject restore;
        for (const auto& [name, value] : e.restore)
            restore[QString::fromStdString(name)] = QString::fromStdString(value);
        QJsonObject object;
        object[QStringLiteral("path")] = e.path;
        object[QStringLiteral("written")] = e.written.toUTC().toString(Qt::ISODateWithMs);
        object[QStringLiteral("restore")] = restore;
        entries.append(object);
    }
    QJsonObject document;
    document[QStringLiteral("entries")] = entries;
    return save_json(path, document, error);
}

bool undo_journal::record(const std::vector<entry>& entries, QString* error)
{
    if (entries.empty())
        return true;
    parts.push_back(entries);
    if (save_part(parts.size() - 1, error))
        return true;
    parts.pop_back();
    return false;
}

bool undo_journal::forget(const QSet<QString>& paths, QString* error)
{
    bool ok = true;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        std::vector<entry>& entries = parts[part];
        const auto gone = std::remove_if(
            entries.begin(), entries.end(), [&paths](const entry& e) { return paths.contains(e.path); });
        if (gone == entries.end())
            continue;
        entries.erase(gone, entries.end());
        ok = save_part(part, error) && ok;
    }
    return ok;
}

std::optional<undo_journal::contents> undo_journal::load() const
{
    const QJsonObject header = read_json(where + QLatin1Char('/') + header_name);
    if (header.isEmpty())
        return std::nullopt;
    contents result;
    result.operation = header.value(QStringLiteral("operation")).toString();
    result.started = QDateTime::fromString(header.value(QStringLiteral("started")).toString(), Qt::ISODateWithMs);
    QSet<QString> seen;
    const QStringList files
        = QDir(where).entryList({ QStringLiteral("part-*.json") }, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QJsonArray entries = read_json(where + QLatin1Char('/') + name).value(QStringLiteral("entries")).toArray();
        for (const QJsonValue& value : entries) {
            const QJsonObject object = value.toObject();
            entry e;
            e.path = object.value(QStringLiteral("path")).toString();
            e.written
                = QDateTime::fromString(object.value(QStringLiteral("written")).toString(), Qt::ISODateWithMs);
            const QJsonObject restore = object.value(QStringLiteral("restore")).toObject();
            for (auto it = restore.begin(); it != restore.end(); ++it)
                e.restore[it.key().toStdString()] = it.value().toString().toStdString();
            // The first entry of a file holds its state before any of ours.
            if (e.path.isEmpty() || seen.contains(e.path))
                continue;
            seen.insert(e.path);
            result.entries.push_back(std::move(e));
        }
    }
    return result;
}

bool undo_journal::remove()
{
    parts.clear();
    QDir dir(where);
    if (!dir.exists())
        return true;
    // The header goes first: a journal cut off while being removed is no journal.
    bool ok = !QFile::exists(dir.filePath(header_name)) || QFile::remove(dir.filePath(header_name));
    for (const QString& name : dir.entryList({ QStringLiteral("part-*.json") }, QDir::Files))
        ok = QFile::remove(dir.filePath(name)) && ok;
    return ok;
}
