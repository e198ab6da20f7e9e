#pragma once

#include "exif/file_stamp.h"
#include "toolkit/string.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kal {
class _exiftool2;
}

// Per photo: the values derived from the tags exiftool read
// (recording date and time with where it came from, "rec_source" = camera or
// file; own GPS position, exact in "gps_lat_exact"/"gps_lon_exact"; camera
// facts; "read_error" when the file could not be read). A plain value type;
// the assignment engine works on copies.
class exif_cache {
public:
    using tag_map = std::map<std::string, std::string>;
    using derived_map = std::map<ktk::string, ktk::string>;

    static std::shared_ptr<exif_cache> instance();

    // Reads the file (UTF-8 path) through exiftool and derives every key.
    void add(const ktk::string& file);
    // The same for many files through every ExifTool child at once;
    // `on_each` hears of each file as it is stored, in any order.
    void add_many(const std::vector<ktk::string>& files, const std::function<void(int index)>& on_each = {},
        const std::shared_ptr<kal::_exiftool2>& bridge = nullptr);
    // Keeps the tags read for the file and derives every key from them;
    // with a failure, the file could not be read at all ("read_error").
    void store(const ktk::string& file, const tag_map& tags, const QString& failure = QString());

    // The numbers of every tag that can hold a position, as the load read
    // them; none when the file has changed since (or was never read).
    std::optional<tag_map> gps_numbers(const QString& file) const;
    // Keeps numbers read of the file while it has the stamp taken before
    // the read; with either missing, forgets what was known.
    void remember_gps(const QString& file, const std::optional<file_stamp>& stamp, const std::optional<tag_map>& numbers);
    // Forgets the files' derived values, not their position numbers.
    void forget_derived(const std::vector<ktk::string>& files);
    // Forgets every file.
    void clear();

    // A copy of the file's derived map; an unknown file gets an empty entry.
    derived_map operator[](const QString& file);

    bool image_has_gps(const QString& file) const;
    bool image_has_gps(const ktk::string& file) const;

    void cache_recording_date_time(const ktk::string& file, const ktk::string& value);
    void cache_image_info(const ktk::string& file, const tag_map& tags);
    void cache_gps_info(const ktk::string& file, const tag_map& tags);
    void cache_file_date(const ktk::string& file);
    void cache_file_time(const ktk::string& file);
    // A video's time from its QuickTime CreateDate; false when it has none.
    bool video_time(const ktk::string& file, const tag_map& tags);

    // Whether videos store their time in local time rather than in UTC.
    bool video_times_local = false;

    std::map<ktk::string, derived_map> derived_info;

private:
    struct position_read {
        file_stamp stamp;
        tag_map numbers;
    };
    std::map<QString, position_read> positions_read;
};
