#include "geo/gps_pos.h"

#include "geo/coordinate_parser.h"

#include <QLocale>

#include <cmath>

namespace {

// Signed degrees with whole minutes and seconds to a hundredth, counted in
// whole hundredths so that 34°56'7" does not show as 34°56'6.99".
QString dms_text(double value)
{
    const qint64 hundredths = std::llround(std::fabs(value) * 360000.0);
    const qint64 degrees = hundredths / 360000;
    const qint64 minutes = hundredths / 6000 % 60;
    QString seconds = QString::number(double(hundredths % 6000) / 100.0, 'f', 2);
    while (seconds.endsWith(QLatin1Char('0')))
        seconds.chop(1);
    if (seconds.endsWith(QLatin1Char('.')))
        seconds.chop(1);
    return (value < 0 && hundredths > 0 ? QStringLiteral("-") : QString()) + QString::number(degrees)
        + QChar(0x00B0) + QString::number(minutes) + QLatin1Char('\'') + seconds + QLatin1Char('"');
}

// The shortest text that reads back as the same double; never "-0".
QString numerical_text(double value)
{
    return QString::number(value + 0.0, 'f', QLocale::FloatingPointShortest);
}

} // namespace

bool gps_pos::operator==(const gps_pos& other) const
{
    return lat == other.lat && lat_ref == other.lat_ref && lon == other.lon && lon_ref == other.lon_ref
        && lat_numerical == other.lat_numerical && lon_numerical == other.lon_numerical
        && altitude == other.altitude && utc_time == other.utc_time;
}

void register_gps_pos_meta_type()
{
    static const int id = qRegisterMetaType<gps_pos>("gps_pos");
    Q_UNUSED(id)
}

gps_pos make_gps_pos(double lat, double lon)
{
    gps_pos pos;
    pos.lat = dms_text(lat);
    pos.lat_ref = lat < 0 ? QStringLiteral("S") : QStringLiteral("N");
    pos.lon = dms_text(lon);
    pos.lon_ref = lon < 0 ? QStringLiteral("W") : QStringLiteral("E");
    pos.lat_numerical = numerical_text(lat);
    pos.lon_numerical = numerical_text(lon);
    return pos;
}

std::optional<gps_pos> typed_position(const QString& lat_text, const QString& lon_text)
{
    const coordinate_reading lat = parse_coordinate(lat_text, axis::latitude);
    const coordinate_reading lon = parse_coordinate(lon_text, axis::longitude);
    if (!lat.value || !lon.value)
        return std::nullopt;
    return make_gps_pos(*lat.value, *lon.value);
}
