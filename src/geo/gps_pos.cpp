#include "geo/gps_pos.h"

#include <QLocale>

#include <cmath>
#include <tuple>

namespace {

const char utf8_degree_lead = '\xC2';
const char degree_byte = '\xB0';

// The position of the first degree sign and its length in bytes, or npos.
// A B0 byte counts alone only where it cannot be the tail of another UTF-8
// character, so text such as Cyrillic "а" (D0 B0) is no degree sign.
std::pair<std::string::size_type, std::string::size_type> find_degree_sign(const std::string& text)
{
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] != degree_byte)
            continue;
        if (i == 0)
            return { 0, 1 };
        if (text[i - 1] == utf8_degree_lead)
            return { i - 1, 2 };
        if (static_cast<unsigned char>(text[i - 1]) < 0x80)
            return { i, 1 };
    }
    return { std::string::npos, 0 };
}

// Reads the number before the first separator into the running value and
// cuts the text behind it.
void take_part(ktk::string& text, char separator, double divisor, double& value)
{
    const auto pos = text.find(separator);
    if (pos == std::string::npos)
        return;
    value += ktk::string(text.substr(0, pos)).to_double(0.0) / divisor;
    text.erase(0, pos + 1);
}

QString whole_number_text(float v)
{
    // Via int where it fits, so that -0 prints as 0.
    if (std::isfinite(v) && std::fabs(v) < 2147483648.0f)
        return QString::number(static_cast<int>(v));
    return QString::number(v, 'f', 0);
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

float parse_lat_or_lon_str(ktk::string text)
{
    std::string::size_type start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    text.erase(0, start);

    bool negate = false;
    if (!text.empty() && text[0] == '-') {
        negate = true;
        text.erase(0, 1);
    }

    double value = 0.0;
    const auto [degree_pos, degree_len] = find_degree_sign(text);
    if (degree_pos != std::string::npos) {
        value = ktk::string(text.substr(0, degree_pos)).to_double(0.0);
        text.erase(0, degree_pos + degree_len);
    }
    take_part(text, '\'', 60.0, value);
    take_part(text, '"', 3600.0, value);

    const QString hemisphere = QString::fromUtf8(text.data(), static_cast<int>(text.size())).toUpper();
    if (hemisphere == QLatin1String("W") || hemisphere == QLatin1String("S"))
        value = -value;
    if (negate)
        value = -value;
    return static_cast<float>(value);
}

coordinate_reading parse_coordinate_text(const QString& text)
{
    bool ok = false;
    float value = text.toFloat(&ok);
    if (ok)
        return { value, text };

    // Group separators are refused: "1,000.5" would otherwise read as 1000.5
    // while its numerical text became "1.000.5".
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    value = locale.toFloat(text, &ok);
    QString replaced = text;
    replaced.replace(QLatin1Char(','), QLatin1Char('.'));
    if (ok)
        return { value, replaced };

    // UTF-8 rather than the local 8-bit encoding: under LANG=C the latter
    // cannot carry the degree sign.
    value = parse_lat_or_lon_str(ktk::string(replaced.toUtf8().toStdString()));
    return { value, QString::number(static_cast<double>(value), 'f', 6) };
}

std::pair<QString, QString> format_dms(
    float value, const QString& positive_letter, const QString& negative_letter)
{
    const float degrees = std::trunc(value);
    const float fraction = value - degrees;
    const float minutes = std::trunc(fraction * 60.0f);
    const float seconds = std::trunc((fraction * 60.0f - minutes) * 60.0f);
    const QString text = whole_number_text(degrees) + QChar(0x00B0) + whole_number_text(minutes)
        + QLatin1Char('\'') + whole_number_text(seconds) + QLatin1Char('"');
    return { text, value > 0.0f ? positive_letter : negative_letter };
}

gps_pos make_gps_pos(float lat, const QString& lat_text, float lon, const QString& lon_text)
{
    gps_pos pos;
    std::tie(pos.lat, pos.lat_ref) = format_dms(lat, QStringLiteral("N"), QStringLiteral("S"));
    std::tie(pos.lon, pos.lon_ref) = format_dms(lon, QStringLiteral("E"), QStringLiteral("W"));
    pos.lat_numerical = lat_text;
    pos.lon_numerical = lon_text;
    return pos;
}

std::optional<gps_pos> typed_position(const QString& lat_text, const QString& lon_text)
{
    const coordinate_reading lat = parse_coordinate_text(lat_text);
    const coordinate_reading lon = parse_coordinate_text(lon_text);
    // Comparisons with a value that is not a number are false, so it fails here.
    if (!(std::fabs(lat.value) <= 90 && std::fabs(lon.value) <= 180))
        return std::nullopt;
    return make_gps_pos(lat.value, lat.numerical_text, lon.value, lon.numerical_text);
}
