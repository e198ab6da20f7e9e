#pragma once

#include <QString>

namespace kal {
struct exiftool_file_types;
}

// What a file among the paths is to the program, told by its extension and
// by the kinds the ExifTool in use writes.
enum class file_kind { photo, raw, video };

struct file_verdict {
    bool load = false;
    file_kind kind = file_kind::photo;
    // Why it is not loaded; `failure` when it is media that ought to have been.
    QString reason;
    bool failure = false;
};

file_verdict judge_file(const QString& path, const kal::exiftool_file_types& types);
file_kind kind_of(const QString& path);

// Where a raw file's position goes when it is kept apart from the file:
// "IMG_1.CR3.xmp", as most raw editors name it, or "IMG_1.xmp".
enum class sidecar_naming { with_extension, without_extension };
QString sidecar_path(const QString& raw, sidecar_naming naming);
