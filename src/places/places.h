#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// Offline names for positions and positions for names, from the gazetteer of
// towns of about 15,000 people or more that the system ships. The places are
// read once per process on first use, safely from any thread, in the language
// the process has then (LANGUAGE and LC_MESSAGES, after setlocale); all UTF-8.

struct place {
    QString name;
    QString region; // state, province or the like
    QString country;
    QString country_code; // ISO 3166, two letters
    QByteArray zone_id; // IANA, such as "Europe/Rome"
    double lat = 0;
    double lon = 0;
    quint32 population = 0;
};

struct place_distance {
    place where;
    double km = 0; // along the great circle
};

// The nearest place to a position; nothing when lat or lon lies outside
// ±90 or ±180, or the gazetteer could not be read.
std::optional<place_distance> nearest_place(double lat, double lon);

// A position farther than this from every town is taken to be at sea.
constexpr double at_sea_km = 300;

// "near Arezzo, Tuscany, Italy (1.2 km)" up to limit_km, "Tuscany, Italy"
// beyond it and empty past at_sea_km. Kilometres with one decimal below 10.
QString describe_place(const place& where, double distance_km, double limit_km = 50);

// "Arezzo, Tuscany, Italy"
QString place_title(const place& where);

// Places whose name is the text or begins with it: exact names first, then by
// population. Further parts after commas must each equal the region, country
// or country code ("Arezzo, Italy"). Case, accents and punctuation are
// ignored, and names in English match in every language.
QVector<place> search_places(const QString& text, int limit = 20);

// The one place a typed name means. An ambiguous name gives no place and the
// places it could mean, best first; an unknown one gives neither.
struct place_match {
    std::optional<place> found;
    QVector<place> candidates;
};
place_match resolve_place(const QString& text, int limit = 10);

// The time zone at a position: where.zone_id of the nearest place, under the
// name QTimeZone lists (a renamed zone by its new name); places whose zone it
// doesn't know are passed over. The distance tells how far to trust it.
std::optional<place_distance> zone_at(double lat, double lon);
