#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

// The restore data of the last sync or removal, kept on disk so that undo
// outlives the program and a crash in the middle of a long write. Each batch
// of files goes into a part file of its own, written through a temporary file
// and a rename: a file counts only once its part is safely stored.
class undo_journal {
public:
    using tag_map = std::map<std::string, std::string>;

    struct entry {
        QString path;
        // What undo writes back, in exiftool's write form.
        tag_map restore;
        // When our write into the file began.
        QDateTime written;
    };

    struct contents {
        QString operation;
        QDateTime started;
        std::vector<entry> entries;
    };

    // The user's data folder, sub-folder "undo".
    static QString default_folder();

    explicit undo_journal(const QString& folder = default_folder());

    const QString& folder() const { return where; }
    bool exists() const;
    // Starts an empty journal for the operation, replacing the old one.
    bool begin(const QString& operation, QString* error);
    // Adds the entries as one part; true once they are on disk.
    bool record(const std::vector<entry>& entries, QString* error);
    // Drops the files from the parts this journal wrote.
    bool forget(const QSet<QString>& paths, QString* error);
    // What the journal holds; nothing when there is none or it is unreadable.
    std::optional<contents> load() const;
    bool remove();

private:
    bool save_part(std::size_t part, QString* error) const;

    QString where;
    std::vector<std::vector<entry>> parts;
};
