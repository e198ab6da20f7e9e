#include "geo/gpx_parser.h"

#include "geo/utc_time.h"

#include <QCoreApplication>
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
                point.msecs = parse_utc_time(text);
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
