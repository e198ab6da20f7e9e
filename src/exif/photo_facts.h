#pragma once

#include "exif/file_kinds.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class exif_cache;

// Where a photo's recording time came from.
enum class time_source { none, camera, file };

// What the rules need to know of one photo, as its metadata gives it.
struct photo_facts {
    QString path;
    file_kind kind = file_kind::photo;
    // The camera's wall clock, without a zone (local time); invalid when unknown.
    QDateTime taken;
    time_source time_from = time_source::none;
    // The zone the photo's own tags give its time ("+02:00"), if any.
    QString zone_text;
    // The signed position the photo holds itself, exactly as written in it,
    // and the sidecar it was read from, if it was.
    std::optional<std::pair<double, double>> own;
    QString position_from;
    // Why nothing at all could be read of it.
    QString read_error;
};

// The facts of the photos the metadata cache holds, in the order given.
std::vector<photo_facts> facts_of(const exif_cache& cache, const std::vector<QString>& paths);
