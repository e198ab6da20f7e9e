#pragma once

#include <QByteArray>
#include <QDate>
#include <QMetaType>
#include <QString>
#include <QTime>
#include <QTimeZone>

#include <map>
#include <optional>

// A camera clock that gained or lost time at a steady rate, known from two
// readings of it against the true time. All four are wall times in the
// camera's zone, in milliseconds since the epoch as if that zone were UTC.
struct clock_drift {
    qint64 camera_start = 0;
    qint64 true_start = 0;
    qint64 camera_end = 0;
    qint64 true_end = 0;

    bool operator==(const clock_drift& other) const;
    bool operator!=(const clock_drift& other) const { return !(*this == other); }

    // How far the camera was ahead at one of its wall times, on the straight
    // line through both readings, also before and after them.
    qint64 ahead_msecs(qint64 camera_wall) const;
};

// How a camera's clock relates to true time: the zone it was set to and how
// far it ran ahead. Photo times carry no zone; GPS tracks are in UTC.
struct camera_clock {
    enum class zone_kind { local, fixed, named };

    zone_kind kind = zone_kind::local;
    // Seconds east of UTC, for a fixed zone.
    int utc_offset = 0;
    // IANA name, for a named zone.
    QByteArray zone_id;
    // Seconds the camera clock was ahead of the true time.
    qint64 clock_offset = 0;
    // A steady gain or loss, added to clock_offset.
    std::optional<clock_drift> drift;

    bool operator==(const camera_clock& other) const;
    bool operator!=(const camera_clock& other) const { return !(*this == other); }

    // "local", "UTC", "UTC+05:45", "+05:45", "-03:00" or a zone name such
    // as "Europe/Berlin"; fixed offsets from -12:00 to +14:00.
    static std::optional<camera_clock> from_zone_text(const QString& text);
    // The form stored in the settings and read back by from_zone_text.
    QString zone_text() const;
    // What the window shows for the zone.
    QString zone_display() const;
    // The zone the camera's times are read in; the computer's for local.
    QTimeZone time_zone() const;

    // "[+-][hh:]mm:ss", e.g. "+00:01:30", "-1:30", "90:00".
    static std::optional<qint64> parse_offset(const QString& text);
    static QString format_offset(qint64 seconds);

    // "CAMERA=TRUE,CAMERA=TRUE", the start reading first, times written
    // 2019-05-01T10:00:00 (or with a space, or Exif's 2019:05:01 10:00:00).
    // Refused when the end does not come after the start, or when the clock
    // would gain or lose more than 1% (14 minutes a day).
    static std::optional<clock_drift> parse_drift(const QString& text);
    static QString format_drift(const clock_drift& drift);

    // Every zone choice the user is offered, in order: the computer's zone,
    // the fixed offsets in 15-minute steps, then the named zones.
    static QStringList zone_choices();
};

Q_DECLARE_METATYPE(camera_clock)

// Turns camera wall-clock times into true UTC instants. Conversions through
// a named zone are remembered per quarter hour of wall time, so a rebuild of
// thousands of photos asks the zone database only a few times.
class camera_time_converter {
public:
    explicit camera_time_converter(const camera_clock& clock);

    // Milliseconds since the epoch, UTC; photo_offset (seconds east of UTC,
    // from the photo's own tags) replaces the zone. Nothing for an invalid time.
    std::optional<qint64> to_utc(const QDate& date, const QTime& time, std::optional<int> photo_offset);

private:
    qint64 zone_offset_msecs(const QDate& date, const QTime& time);

    camera_clock clock;
    QTimeZone zone;
    std::map<qint64, qint64> offsets;
};

// Seconds east of UTC written as "+02:00", "-05:30" or "Z"; nothing otherwise.
std::optional<int> parse_utc_offset(const QString& text);
