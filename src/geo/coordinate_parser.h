#pragma once

#include <QString>

#include <optional>

// Reads coordinates as people type them: decimal or degrees, minutes and
// seconds, signed or with a hemisphere letter, with a decimal point or comma.
// Text that cannot be read for certain is refused with a reason.

enum class axis { latitude, longitude };

struct coordinate_reading {
    std::optional<double> value; // degrees, south and west negative
    QString error; // for the user; empty when value is set
};

struct position_reading {
    std::optional<double> lat;
    std::optional<double> lon;
    QString error;

    bool ok() const { return lat && lon; }
};

// One coordinate, as typed into the latitude or the longitude field.
coordinate_reading parse_coordinate(const QString& text, axis which);

// Latitude then longitude, separated by a comma, a semicolon or space. When
// both carry hemisphere letters, longitude first is read as well.
position_reading parse_position(const QString& text);
