#include "geo/gpx_parser.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>
#include <QXmlStreamReader>

#include <cmath>
#include <optional>

namespace {

Q_LOGGING_CATEGORY(lcGpx, "vestra.geo.gpx", QtWarningMsg)

// Without namespace processing "gpx:trk" and "trk" both count as a track,
// and a prefix nobody declared is no error.
QStringRef local_name(const QXmlStreamReader& xml)
{
    const QStringRef name = xml.qualifiedName();
    return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
}

// Numbers as loggers write them ("-47.1234567") are read without the
// locale machinery: an integer of at most 15 digits and a power of ten up to
// 1e15 are both exact doubles, so their quotient is correctly rounded, as
// QString::toDouble would give it. Anything else goes through that.
std::optional<double> number(QStringView text)
{
    text = text.trimmed();
    const bool negative = !text.isEmpty() && text[0] == QLatin1Char('-');
    qint64 mantissa = 0;
    int digit_count = 0;
    int decimals = -1;
    bool simple = text.size() > (negative ? 1 : 0);
    for (int i = negative ? 1 : 0; simple && i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            mantissa = mantissa * 10 + (c.unicode() - '0');
            decimals += decimals >= 0 ? 1 : 0;
            simple = ++digit_count <= 15;
        } else {
            simple = c == QLatin1Char('.') && decimals < 0 && digit_count > 0 && i + 1 < text.size();
            decimals = 0;
        }
    }
    if (simple) {
        static const double powers[]
            = { 1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15 };
        const double value = double(mantissa) / powers[std::max(decimals, 0)];
        return negative ? -value : value;
    }
    bool ok = false;
    const double value = text.toString().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

double coordinate(const QXmlStreamReader& xml, QLatin1String name)
{
    return number(xml.attributes().value(name)).value_or(std::numeric_limits<double>::quiet_NaN());
}

// The text of the current element with that of its children, as
// readElementText(IncludeChildElements) gives it, into a buffer kept from
// point to point so that a point costs no allocation.
void read_text(QXmlStreamReader& xml, QString& into)
{
    into.resize(0);
    for (int depth = 1; depth > 0 && !xml.atEnd();) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::Characters)
            into += xml.text();
        else if (token == QXmlStreamReader::StartElement)
            ++depth;
        else if (token == QXmlStreamReader::EndElement)
            --depth;
    }
}

// The digits text[from, from + count) as a number, or -1.
int digits(QStringView text, int from, int count)
{
    if (from + count > text.size())
        return -1;
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
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

// "2019-05-01T10:00:00[.f[f[f]]](Z|+hh:mm)" as loggers write it, read
// without QDateTime, which costs more than the rest of a point. Anything
// else is left to QDateTime.
std::optional<qint64> common_utc_time(QStringView text)
{
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (text.size() < 20 || year < 1 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59 || text[4] != QLatin1Char('-')
        || text[7] != QLatin1Char('-') || text[10] != QLatin1Char('T') || text[13] != QLatin1Char(':')
        || text[16] != QLatin1Char(':'))
        return std::nullopt;
    static const int month_days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (day > month_days[month - 1] + (month == 2 && leap ? 1 : 0))
        return std::nullopt;

    int at = 19;
    int msecs = 0;
    if (text[at] == QLatin1Char('.')) {
        int count = 0;
        while (at + 1 + count < text.size() && digits(text, at + 1 + count, 1) >= 0)
            ++count;
        if (count < 1 || count > 3)
            return std::nullopt;
        msecs = digits(text, at + 1, count) * (count == 1 ? 100 : count == 2 ? 10 : 1);
        at += 1 + count;
    }
    const bool utc = at + 1 == text.size() && text[at] == QLatin1Char('Z');
    const bool offset = at + 6 == text.size()
        && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')) && text[at + 3] == QLatin1Char(':');
    if (!utc && !offset)
        return std::nullopt;
    int offset_minutes = 0;
    if (offset) {
        const int hours = digits(text, at + 1, 2);
        const int minutes = digits(text, at + 4, 2);
        if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59)
            return std::nullopt;
        offset_minutes = (hours * 60 + minutes) * (text[at] == QLatin1Char('-') ? -1 : 1);
    }
    const qint64 seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second
        - offset_minutes * 60;
    return seconds * 1000 + msecs;
}

qint64 utc_msecs(QStringView text)
{
    text = text.trimmed();
    if (const std::optional<qint64> msecs = common_utc_time(text))
        return *msecs;
    // Local times, other offsets and odd forms as QDateTime reads them.
    const QDateTime time = QDateTime::fromString(text.toString(), Qt::ISODate);
    return time.isValid() ? time.toMSecsSinceEpoch() : gps_data::no_time;
}

struct doubts {
    int without_time = 0;
    int bad_position = 0;
    int bad_elevation = 0;
    int far_elevation = 0;
    QString first_far_elevation;
    QStringList empty_tracks;
};

// Reads the tracks that are children of the root element; waypoints, routes
// and the rest are not used.
class track_reader {
public:
    explicit track_reader(QXmlStreamReader& xml)
        : xml(xml)
    {
    }

    void read_root(QList<track_data>& tracks)
    {
        while (xml.readNextStartElement()) {
            if (local_name(xml) == QLatin1String("trk")) {
                tracks.append(read_track(tracks.size()));
            } else {
                qCDebug(lcGpx) << "element not read:" << xml.qualifiedName();
                xml.skipCurrentElement();
            }
        }
    }

    doubts found;

private:
    track_data read_track(int index)
    {
        track_data track;
        ++track_counter;
        bool named = false;
        int segment = 0;
        while (xml.readNextStartElement()) {
            const QStringRef name = local_name(xml);
            if (!named && name == QLatin1String("name")) {
                named = true;
                read_text(xml, text);
                track.name = text;
            } else if (name == QLatin1String("trkseg")) {
                while (xml.readNextStartElement()) {
                    if (local_name(xml) == QLatin1String("trkpt"))
                        track.points.append(read_point(index, segment));
                    else
                        xml.skipCurrentElement();
                }
                ++segment;
            } else {
                xml.skipCurrentElement();
            }
        }
        if (!named)
            track.name = QStringLiteral("Track %1").arg(track_counter);
        qCDebug(lcGpx) << "track" << track.name << "with" << track.points.size() << "points";
        if (track.points.isEmpty())
            found.empty_tracks << track.name;
        return track;
    }

    gps_data read_point(int track, int segment)
    {
        gps_data point;
        point.latitude = coordinate(xml, QLatin1String("lat"));
        point.longitude = coordinate(xml, QLatin1String("lon"));
        point.track = track;
        point.segment = segment;

        bool had_time = false;
        bool had_elevation = false;
        while (xml.readNextStartElement()) {
            const QStringRef name = local_name(xml);
            if (!had_time && name == QLatin1String("time")) {
                had_time = true;
                read_text(xml, text);
                point.msecs = utc_msecs(text);
            } else if (!had_elevation && name == QLatin1String("ele")) {
                had_elevation = true;
                read_text(xml, text);
                read_elevation(QStringView(text).trimmed(), point);
            } else {
                xml.skipCurrentElement();
            }
        }
        if (!point.has_time())
            ++found.without_time;
        if (!(std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180))
            ++found.bad_position;
        return point;
    }

    void read_elevation(QStringView given, gps_data& point)
    {
        if (given.isEmpty())
            return;
        const std::optional<double> value = number(given);
        if (!value || !std::isfinite(*value)) {
            ++found.bad_elevation;
        } else if (std::fabs(*value) > gps_data::max_elevation) {
            if (found.far_elevation++ == 0)
                found.first_far_elevation = given.left(24).toString();
        } else {
            point.elevation = *value;
        }
    }

    QXmlStreamReader& xml;
    int track_counter = 0;
    QString text;
};

// Plain English singular/plural; the texts are marked for translation where used.
QString count_text(int count, const char* one, const char* many)
{
    return QCoreApplication::translate("gpx_parser", count == 1 ? one : many).arg(count);
}

} // namespace

gpx_parser::gpx_parser(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QCoreApplication::translate("gpx_parser", "cannot be opened: %1").arg(file.errorString());
        return;
    }

    QXmlStreamReader xml(&file);
    xml.setNamespaceProcessing(false);
    track_reader reader(xml);
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        // Entities are what makes a small file expand into gigabytes, and
        // no GPX writer needs them.
        if (token == QXmlStreamReader::DTD && !xml.entityDeclarations().isEmpty()) {
            error = QCoreApplication::translate("gpx_parser", "declares entities, which are not read");
            break;
        }
        if (token == QXmlStreamReader::StartElement)
            reader.read_root(tracks);
    }
    if (xml.hasError()) {
        error = QCoreApplication::translate("gpx_parser", "is not a GPX file: %1 (line %2, column %3)")
                    .arg(xml.errorString(), QString::number(xml.lineNumber()),
                        QString::number(xml.columnNumber()));
    }
    if (!error.isEmpty()) {
        tracks.clear();
        return;
    }

    const doubts& found = reader.found;
    if (found.without_time > 0)
        problems << count_text(found.without_time,
            QT_TRANSLATE_NOOP("gpx_parser", "%1 point without a valid time"),
            QT_TRANSLATE_NOOP("gpx_parser", "%1 points without a valid time"));
    if (found.bad_position > 0)
        problems << count_text(found.bad_position,
            QT_TRANSLATE_NOOP("gpx_parser", "%1 point whose latitude or longitude is not a number in range"),
            QT_TRANSLATE_NOOP(
                "gpx_parser", "%1 points whose latitude or longitude is not a number in range"));
    if (found.bad_elevation > 0)
        problems << count_text(found.bad_elevation,
            QT_TRANSLATE_NOOP("gpx_parser", "%1 point whose elevation is not a number"),
            QT_TRANSLATE_NOOP("gpx_parser", "%1 points whose elevation is not a number"));
    if (found.far_elevation == 1) {
        problems << QCoreApplication::translate("gpx_parser", "1 point whose elevation %1 m is out of range")
                        .arg(found.first_far_elevation);
    } else if (found.far_elevation > 1) {
        problems << QCoreApplication::translate(
            "gpx_parser", "%1 points whose elevation is out of range, the first %2 m")
                        .arg(QString::number(found.far_elevation), found.first_far_elevation);
    }
    if (found.empty_tracks.size() == 1) {
        problems << QCoreApplication::translate("gpx_parser", "track \"%1\" has no points")
                        .arg(found.empty_tracks.first());
    } else if (found.empty_tracks.size() > 1) {
        problems << QCoreApplication::translate("gpx_parser", "%1 tracks have no points: \"%2\"")
                        .arg(QString::number(found.empty_tracks.size()),
                            found.empty_tracks.join(QStringLiteral("\", \"")));
    }
    if (tracks.isEmpty())
        problems << QCoreApplication::translate("gpx_parser", "the file holds no track");
}

QString gpx_parser::describe(const QString& file_name) const
{
    if (!error.isEmpty())
        return QCoreApplication::translate("gpx_parser", "The GPX file \"%1\" %2").arg(file_name, error);
    if (problems.isEmpty())
        return QString();
    if (tracks.isEmpty())
        return QCoreApplication::translate("gpx_parser", "The GPX file \"%1\" holds no track.")
            .arg(file_name);
    QString text
        = QCoreApplication::translate("gpx_parser", "The GPX file \"%1\" holds points that cannot be used:")
              .arg(file_name);
    for (const QString& problem : problems)
        text += QStringLiteral("\n- ") + problem;
    return text;
}
