#pragma once

#include <QDateTime>
#include <QPointF>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

struct assignment;
struct assignment_settings;
struct photo_facts;

// What the map shows of the table: the photos' own positions, the proposals
// of the current mode and, in the track mode, the track. Plain data, so that
// it can be checked without drawing.
class map_content {
public:
    enum class kind { own, proposed, typed, track_proposal, manual };
    static constexpr int kind_count = 5;

    struct photo {
        QString file;
        QDateTime time;
        // Its place in the list of photos given to of(): the table's row.
        int index = -1;
    };

    // One spot on the map and every photo of one kind on it.
    struct marker {
        kind what = kind::own;
        double lat = 0;
        double lon = 0;
        std::vector<photo> photos;
    };

    // A run of track points of one segment, in time order, as (lat, lon).
    using line = std::vector<std::pair<double, double>>;

    struct box {
        double south = 0;
        double north = 0;
        double west = 0;
        double east = 0;
    };

    // Markers of one kind on the same spot are one marker.
    static map_content of(const std::vector<photo_facts>& photos, const std::vector<assignment>& results,
        const assignment_settings& settings);

    std::vector<marker> markers;
    std::vector<line> track;

    // Everything shown, markers and track; nothing when there is nothing.
    std::optional<box> bounds() const;
    // Every position, own or proposed, of the photos whose index is chosen.
    std::optional<box> bounds(const std::vector<bool>& chosen) const;

    // What hovering over these markers (drawn as one) tells.
    static QString tool_tip(const std::vector<const marker*>& here);

    // A drawn spot: the markers of one kind that fall on the same few pixels.
    struct spot {
        QPointF at;
        kind what = kind::own;
        int photo_count = 0;
        std::vector<int> members;
    };
    // project gives a marker's place on screen, or nothing when not visible.
    using projection = std::function<std::optional<QPointF>(double lat, double lon)>;
    std::vector<spot> spots(const projection& project, double cell_pixels) const;

    // The indexes of a spot's photos, ascending, each once.
    std::vector<int> photo_indexes(const spot& s) const;
    // Whether any of a spot's photos is chosen.
    bool touches(const spot& s, const std::vector<bool>& chosen) const;

    // What the badge of a spot for this many photos reads; nothing for one.
    static QString badge(int photo_count);
};
