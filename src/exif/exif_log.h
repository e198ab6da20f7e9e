#pragma once

#include <QLoggingCategory>

// Diagnostics of the metadata code, off unless QT_LOGGING_RULES turns them
// on (e.g. "vestra.*=true"); they go to standard error.
Q_DECLARE_LOGGING_CATEGORY(lc_exiftool)
Q_DECLARE_LOGGING_CATEGORY(lc_exif_cache)
