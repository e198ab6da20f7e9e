#include "jobs/path_listing.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

const QString not_utf8 = QStringLiteral("its name is not UTF-8, so ExifTool cannot be given it");

// The length of the UTF-8 sequence starting at `at`, or 0 when it is not one.
int sequence_length(const QByteArray& bytes, int at)
{
    const auto byte = [&bytes](int i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || at + length > bytes.size() || (length == 2 && lead < 0xC2))
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Walks a folder by the bytes of its names: Qt's own listing leaves out
// names it cannot decode, without a word.
void walk(const QByteArray& folder, bool recursive, path_listing& out)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir) {
        out.passed_over.push_back({ escaped_name(folder), QString::fromLocal8Bit(std::strerror(errno)) });
        return;
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const QByteArray& name : names) {
        const QByteArray path = folder.endsWith('/') ? folder + name : folder + '/' + name;
        struct stat info {};
        if (::stat(path.constData(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            struct stat link {};
            if (recursive && ::lstat(path.constData(), &link) == 0 && !S_ISLNK(link.st_mode))
                walk(path, recursive, out);
            continue;
        }
        if (!S_ISREG(info.st_mode))
            continue;
        if (!utf8_name(path)) {
            out.passed_over.push_back({ escaped_name(path), not_utf8 });
            continue;
        }
        out.files << QString::fromUtf8(path);
    }
}

} // namespace

void path_listing::add(const path_listing& other)
{
    files += other.files;
    passed_over.insert(passed_over.end(), other.passed_over.begin(), other.passed_over.end());
}

bool utf8_name(const QByteArray& bytes)
{
    for (int at = 0; at < bytes.size();) {
        const int length = sequence_length(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

QString escaped_name(const QByteArray& bytes)
{
    QString text;
    for (int at = 0; at < bytes.size();) {
        const int length = sequence_length(bytes, at);
        if (length == 0) {
            text += QStringLiteral("\\x")
                + QString::number(static_cast<unsigned char>(bytes[at]), 16).toUpper().rightJustified(2, QLatin1Char('0'));
            ++at;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + at, length);
        at += length;
    }
    return text;
}

path_listing list_paths(const QStringList& paths, bool recursive)
{
    path_listing out;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            walk(QFile::encodeName(path), recursive, out);
        else if (info.isFile())
            out.files << path;
        else
            out.passed_over.push_back({ path, QStringLiteral("there is no such file") });
    }
    out.files.removeDuplicates();
    return out;
}

QStringList expand_path(const QString& path, bool recursive)
{
    return list_paths({ path }, recursive).files;
}
