#pragma once

#include "places/gazetteer.h"
#include "places/sphere_index.h"

#include <QString>

#include <mutex>
#include <vector>

// The gazetteer held in memory: the place nearest to a position and the
// places a typed name fits. Read from any thread; what only some callers need
// is built on first use.
class place_index {
public:
    explicit place_index(std::vector<gazetteer_entry> entries);
    Q_DISABLE_COPY(place_index)

    // The one index of the process, read from the system's gazetteer on first use.
    static const place_index& shared();

    const std::vector<gazetteer_entry>& entries() const { return entries_; }

    // Positions into entries(); -1 when the position is out of range or
    // nothing qualifies.
    int nearest(double lat, double lon) const;
    int nearest_with_listed_zone(double lat, double lon) const;
    // The place's zone as QTimeZone lists it; empty when it doesn't.
    QByteArray listed_zone(int item) const;

    struct name_match {
        int item;
        bool exact;
    };
    // Every place the text fits, exact names first, then by population.
    std::vector<name_match> match_name(const QString& text) const;

private:
    struct keyed_name {
        QString key;
        int item;
    };
    // What a part after a comma is compared with, per place.
    struct qualifier_keys {
        QString region, country, code, english_region, english_country;
    };
    void build_name_keys() const;
    void list_zones() const;

    std::vector<gazetteer_entry> entries_;
    sphere_index points;

    mutable std::once_flag names_once;
    mutable std::vector<keyed_name> names; // sorted by key
    mutable std::vector<qualifier_keys> qualifiers;

    mutable std::once_flag zones_once;
    mutable std::vector<QByteArray> listed_zones;
};

// Lower case without accents, apostrophes or punctuation, words one space
// apart: the form typed and stored names are compared in.
QString search_key(const QString& text);
