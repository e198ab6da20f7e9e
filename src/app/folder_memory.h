#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the user chose for the photos of one folder, kept across restarts so
// that coming back to the folder brings its track and camera clock back.
struct folder_choices {
    QStringList track_files;
    // The track picked among the files' tracks; empty for all of them.
    QString track_name;
    // camera_clock's stored forms: zone text, offset, drift (empty: none).
    QString zone;
    QString offset;
    QString drift;
};

std::optional<folder_choices> remembered_choices(const QString& folder);
void remember_choices(const QString& folder, const folder_choices& choices);

// The folder a set of dropped or chosen paths belongs to: the first folder
// among them, else the first file's folder.
QString folder_of(const QStringList& paths);
