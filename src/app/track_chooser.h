#pragma once

#include "geo/gpx_parser.h"
#include "geo/track_file.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The tracks picked for the photos, and the name they are shown by.
struct chosen_tracks {
    QList<track_data> tracks;
    QString name;
    // The one track picked among several, by name; empty when all are used.
    QString picked;
};

// Reads the track files (every kind track_file knows), warns about a file
// that cannot be read and about points that cannot be used, and asks which
// track when there are several, all of them offered first and tracks that
// cannot be matched shown but not offered; nothing when no file gives a
// track or the user cancels.
std::optional<chosen_tracks> choose_tracks(
    QWidget* parent, const QStringList& files, const track_file_options& options = {});

// The tracks of the files without asking anything: the one named `picked`
// when a file has it, else all; files that cannot be read are passed over.
std::optional<chosen_tracks> read_tracks(
    const QStringList& files, const QString& picked, const track_file_options& options = {});

// Whether a file given directly (dropped, or named on the command line) is a
// track rather than a photo.
bool is_track_file(const QString& path);
// The track files directly inside a folder (not its sub-folders).
QStringList track_files_in(const QString& folder);
