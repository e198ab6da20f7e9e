#include "geo/camera_clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <cstdlib>

namespace {

constexpr qint64 msecs_per_day = 86400000;
constexpr qint64 epoch_julian_day = 2440588;
constexpr int min_fixed_offset = -12 * 3600;
constexpr int max_fixed_offset = 14 * 3600;

qint64 naive_msecs(const QDate& date, const QTime& time)
{
    return (date.toJulianDay() - epoch_julian_day) * msecs_per_day + time.msecsSinceStartOfDay();
}

QString format_utc_offset(int seconds)
{
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

std::optional<int> parse_utc_offset(const QString& text)
{
    // Read by hand: the table reads it for every photo on each rebuild.
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("Z"))
        return 0;
    const int n = trimmed.size();
    if (n < 4 || (trimmed[0] != QLatin1Char('+') && trimmed[0] != QLatin1Char('-')))
        return std::nullopt;
    int digits[4] = {};
    int count = 0;
    for (int i = 1; i < n; ++i) {
        const QChar c = trimmed[i];
        if (c == QLatin1Char(':') && i == n - 3)
            continue;
        if (!c.isDigit() || c.unicode() > '9' || count == 4)
            return std::nullopt;
        digits[count++] = c.unicode() - '0';
    }
    if (count < 3)
        return std::nullopt;
    // "+530" has one hour digit, "+0530" and "+05:30" two.
    const int hours = count == 4 ? digits[0] * 10 + digits[1] : digits[0];
    const int minutes = count == 4 ? digits[2] * 10 + digits[3] : digits[1] * 10 + digits[2];
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    const int seconds = (hours * 60 + minutes) * 60;
    return trimmed[0] == QLatin1Char('-') ? -seconds : seconds;
}

bool clock_drift::operator==(const clock_drift& other) const
{
    return camera_start == other.camera_start && true_start == other.true_start
        && camera_end == other.camera_end && true_end == other.true_end;
}

qint64 clock_drift::ahead_msecs(qint64 camera_wall) const
{
    const double ahead_start = double(camera_start - true_start);
    const double ahead_end = double(camera_end - true_end);
    const double fraction = double(camera_wall - camera_start) / double(camera_end - camera_start);
    return std::llround(ahead_start + (ahead_end - ahead_start) * fraction);
}

bool camera_clock::operator==(const camera_clock& other) const
{
    return kind == other.kind && utc_offset == other.utc_offset && zone_id == other.zone_id
        && clock_offset == other.clock_offset && drift == other.drift;
}

std::optional<camera_clock> camera_clock::from_zone_text(const QString& text)
{
    const QString trimmed = text.trimmed();
    camera_clock clock;
    if (trimmed.isEmpty() || trimmed.compare(QLatin1String("local"), Qt::CaseInsensitive) == 0)
        return clock;
    if (trimmed.compare(QLatin1String("UTC"), Qt::CaseInsensitive) == 0) {
        clock.kind = zone_kind::fixed;
        return clock;
    }
    QString offset = trimmed;
    if (offset.startsWith(QLatin1String("UTC"), Qt::CaseInsensitive))
        offset = offset.mid(3);
    if (const auto seconds = parse_utc_offset(offset)) {
        if (*seconds < min_fixed_offset || *seconds > max_fixed_offset)
            return std::nullopt;
        clock.kind = zone_kind::fixed;
        clock.utc_offset = *seconds;
        return clock;
    }
    const QByteArray id = trimmed.toUtf8();
    if (!QTimeZone::isTimeZoneIdAvailable(id))
        return std::nullopt;
    clock.kind = zone_kind::named;
    clock.zone_id = id;
    return clock;
}

QString camera_clock::zone_text() const
{
    switch (kind) {
    case zone_kind::local:
        return QStringLiteral("local");
    case zone_kind::fixed:
        return QStringLiteral("UTC") + format_utc_offset(utc_offset);
    case zone_kind::named:
        return QString::fromUtf8(zone_id);
    }
    return {};
}

QString camera_clock::zone_display() const
{
    if (kind == zone_kind::local)
        return QCoreApplication::translate("camera_clock", "This computer's time zone");
    return zone_text();
}

QTimeZone camera_clock::time_zone() const
{
    switch (kind) {
    case zone_kind::named:
        return QTimeZone(zone_id);
    case zone_kind::fixed:
        return QTimeZone(utc_offset);
    case zone_kind::local:
        break;
    }
    return QTimeZone::systemTimeZone();
}

std::optional<qint64> camera_clock::parse_offset(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([+-]?)(?:(\\d{1,3}):)?(\\d{1,4}):(\\d{1,2})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const qint64 hours = match.captured(2).toLongLong();
    const qint64 minutes = match.captured(3).toLongLong();
    const qint64 seconds = match.captured(4).toLongLong();
    // Minutes may run past 59 only when no hours are given ("90:00").
    if (seconds > 59 || (!match.captured(2).isEmpty() && minutes > 59))
        return std::nullopt;
    const qint64 total = (hours * 60 + minutes) * 60 + seconds;
    return match.captured(1) == QLatin1String("-") ? -total : total;
}

QString camera_clock::format_offset(qint64 seconds)
{
    const qint64 magnitude = seconds < 0 ? -seconds : seconds;
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(magnitude / 3600, 2, 10, QLatin1Char('0'))
        .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

std::optional<clock_drift> camera_clock::parse_drift(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{4})[-:](\\d{2})[-:](\\d{2})[T ](\\d{2}):(\\d{2}):(\\d{2})\\s*$"));
    const QStringList readings = text.split(QLatin1Char(','));
    if (readings.size() != 2)
        return std::nullopt;
    qint64 times[4] = {};
    for (int i = 0; i < 4; ++i) {
        const QStringList pair = readings[i / 2].split(QLatin1Char('='));
        if (pair.size() != 2)
            return std::nullopt;
        const QRegularExpressionMatch match = form.match(pair[i % 2]);
        if (!match.hasMatch())
            return std::nullopt;
        const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
        const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        times[i] = naive_msecs(date, time);
    }
    const clock_drift drift { times[0], times[1], times[2], times[3] };
    const qint64 span = drift.camera_end - drift.camera_start;
    const qint64 change = (drift.camera_end - drift.true_end) - (drift.camera_start - drift.true_start);
    // A larger rate is a typing error rather than a clock.
    if (span <= 0 || std::abs(change) * 100 > span)
        return std::nullopt;
    return drift;
}

QString camera_clock::format_drift(const clock_drift& drift)
{
    const auto wall = [](qint64 msecs) {
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    };
    return QStringLiteral("%1=%2,%3=%4")
        .arg(wall(drift.camera_start), wall(drift.true_start), wall(drift.camera_end), wall(drift.true_end));
}

QStringList camera_clock::zone_choices()
{
    QStringList choices { QStringLiteral("local") };
    for (int offset = min_fixed_offset; offset <= max_fixed_offset; offset += 15 * 60)
        choices << QStringLiteral("UTC") + format_utc_offset(offset);
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
        // The plain UTC aliases are already offered as offsets.
        if (!id.startsWith("UTC") && !id.startsWith("Etc/"))
            choices << QString::fromUtf8(id);
    }
    return choices;
}

camera_time_converter::camera_time_converter(const camera_clock& clock)
    : clock(clock)
{
    if (clock.kind == camera_clock::zone_kind::named)
        zone = QTimeZone(clock.zone_id);
}

qint64 camera_time_converter::zone_offset_msecs(const QDate& date, const QTime& time)
{
    const qint64 naive = naive_msecs(date, time);
    if (clock.kind == camera_clock::zone_kind::fixed)
        return qint64(clock.utc_offset) * 1000;
    // Zones change their offset on the quarter hour at the finest.
    const qint64 slot = naive / (15 * 60 * 1000) - (naive % (15 * 60 * 1000) < 0 ? 1 : 0);
    const auto known = offsets.find(slot);
    if (known != offsets.end())
        return known->second;
    const QDateTime instant = clock.kind == camera_clock::zone_kind::named
        ? QDateTime(date, time, zone)
        : QDateTime(date, time, Qt::LocalTime);
    const qint64 offset = naive - instant.toMSecsSinceEpoch();
    offsets.emplace(slot, offset);
    return offset;
}

std::optional<qint64> camera_time_converter::to_utc(
    const QDate& date, const QTime& time, std::optional<int> photo_offset)
{
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const qint64 offset = photo_offset ? qint64(*photo_offset) * 1000 : zone_offset_msecs(date, time);
    const qint64 wall = naive_msecs(date, time);
    return wall - offset - clock.clock_offset * 1000 - (clock.drift ? clock.drift->ahead_msecs(wall) : 0);
}
