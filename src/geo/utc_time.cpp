#include "geo/utc_time.h"

#include "geo/gpx_parser.h"

#include <QDateTime>

#include <optional>

namespace {

int code(QChar c)
{
    return c.unicode();
}

int code(char c)
{
    return static_cast<unsigned char>(c);
}

// The digits text[from, from + count) as a number, or -1.
template <typename Text> int digits(const Text& text, int from, int count)
{
    if (from + count > int(text.size()))
        return -1;
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const int c = code(text[i]);
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

qint64 days_from_civil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return qint64(era) * 146097 + doe - 719468;
}

// The common form read without QDateTime, which costs more than the rest of
// a track point. Anything else is left to QDateTime.
template <typename Text> std::optional<qint64> common_utc_time(const Text& text)
{
    const int size = int(text.size());
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (size < 20 || year < 1 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0
        || minute > 59 || second < 0 || second > 59 || code(text[4]) != '-' || code(text[7]) != '-'
        || code(text[10]) != 'T' || code(text[13]) != ':' || code(text[16]) != ':')
        return std::nullopt;
    static const int month_days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (day > month_days[month - 1] + (month == 2 && leap ? 1 : 0))
        return std::nullopt;

    int at = 19;
    int msecs = 0;
    if (code(text[at]) == '.') {
        int count = 0;
        while (at + 1 + count < size && digits(text, at + 1 + count, 1) >= 0)
            ++count;
        if (count < 1)
            return std::nullopt;
        const int kept = std::min(count, 3);
        msecs = digits(text, at + 1, kept) * (kept == 1 ? 100 : kept == 2 ? 10 : 1);
        at += 1 + count;
    }
    const bool utc = at + 1 == size && code(text[at]) == 'Z';
    const bool offset
        = at + 6 == size && (code(text[at]) == '+' || code(text[at]) == '-') && code(text[at + 3]) == ':';
    if (!utc && !offset)
        return std::nullopt;
    int offset_minutes = 0;
    if (offset) {
        const int hours = digits(text, at + 1, 2);
        const int minutes = digits(text, at + 4, 2);
        if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59)
            return std::nullopt;
        offset_minutes = (hours * 60 + minutes) * (code(text[at]) == '-' ? -1 : 1);
    }
    const qint64 seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second
        - offset_minutes * 60;
    return seconds * 1000 + msecs;
}

qint64 other_form(const QString& text)
{
    // Local times, other offsets and odd forms as QDateTime reads them.
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? time.toMSecsSinceEpoch() : gps_data::no_time;
}

} // namespace

qint64 parse_utc_time(QStringView text)
{
    text = text.trimmed();
    if (const std::optional<qint64> msecs = common_utc_time(text))
        return *msecs;
    return other_form(text.toString());
}

qint64 parse_utc_time(std::string_view utf8)
{
    if (const std::optional<qint64> msecs = common_utc_time(utf8))
        return *msecs;
    return other_form(QString::fromUtf8(utf8.data(), int(utf8.size())).trimmed());
}
