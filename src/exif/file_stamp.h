#pragma once

#include <QString>

#include <optional>

// What tells a file that was changed from one that was not: a file written
// again, even by a program that keeps its date, gets a new inode or change time.
struct file_stamp {
    qint64 size = -1;
    qint64 inode = 0;
    qint64 modified_ns = 0;
    qint64 changed_ns = 0;

    static std::optional<file_stamp> of(const QString& file);
    // The stamp of a file that can be told apart from a later change: times
    // on whole seconds come from a file system with coarse times (an SD
    // card's keeps two seconds), where a change in the same second or two
    // leaves them as they were; such a file counts only once it is older.
    static std::optional<file_stamp> telling(const QString& file);
    bool operator==(const file_stamp& other) const;
};

// "size:inode:modified:changed", for files that keep it.
QString to_text(const file_stamp& stamp);
std::optional<file_stamp> stamp_from_text(const QString& text);
