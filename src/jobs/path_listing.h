#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The files that paths stand for, and what was passed over, with the reason.
struct path_listing {
    struct skipped {
        // Invalid bytes of a name are shown as \xNN.
        QString name;
        QString reason;
        // Media that ought to have been taken; otherwise only named.
        bool failure = true;
    };

    QStringList files;
    std::vector<skipped> passed_over;

    void add(const path_listing& other);
};

// A file stands for itself, a folder for the files directly inside it (with
// recursive, in its sub-folders too; links to folders are not followed).
// Hidden files are left out without a word; names that are not UTF-8 cannot
// be handed to ExifTool and are passed over by name.
path_listing list_paths(const QStringList& paths, bool recursive = false);
QStringList expand_path(const QString& path, bool recursive = false);

// A file name as bytes, for people: UTF-8 as text, other bytes as \xNN.
QString escaped_name(const QByteArray& bytes);
// Whether the bytes are UTF-8, which is how file names reach ExifTool.
bool utf8_name(const QByteArray& bytes);
