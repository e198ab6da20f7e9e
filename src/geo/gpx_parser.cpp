#include "geo/gpx_parser.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QFile>

#include <cmath>
#include <iostream>

namespace {

void print_line(const QString& text)
{
    std::cout << text.toLocal8Bit().constData() << std::endl;
}

// The document is read without namespace processing, so "gpx:trk" and "trk"
// must both count as a track.
QString local_name(const QDomElement& element)
{
    const QString tag = element.tagName();
    return tag.mid(tag.lastIndexOf(QLatin1Char(':')) + 1);
}

QDomElement child(const QDomElement& parent, QLatin1String name)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (local_name(e) == name)
            return e;
    }
    return QDomElement();
}

bool number_in(const QString& text, double limit)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && std::fabs(value) <= limit;
}

struct doubts {
    int without_time = 0;
    int bad_position = 0;
    int bad_elevation = 0;
    QStringList empty_tracks;
};

gps_data read_point(const QDomElement& trkpt, int track, int segment, doubts& found)
{
    gps_data point;
    point.latitude = trkpt.attribute(QStringLiteral("lat"));
    point.longitude = trkpt.attribute(QStringLiteral("lon"));
    point.track = track;
    point.segment = segment;
    const QDomElement time = child(trkpt, QLatin1String("time"));
    if (!time.isNull())
        point.time = QDateTime::fromString(time.text().trimmed(), Qt::ISODate);
    const QDomElement ele = child(trkpt, QLatin1String("ele"));
    if (!ele.isNull())
        point.elevation = ele.text().trimmed();

    if (!point.time.isValid())
        ++found.without_time;
    if (!number_in(point.latitude, 90) || !number_in(point.longitude, 180))
        ++found.bad_position;
    if (!point.elevation.isEmpty() && !number_in(point.elevation, 1e6))
        ++found.bad_elevation;
    return point;
}

track_data read_track(const QDomElement& trk, int index, int& track_counter, doubts& found)
{
    track_data track;
    const QDomElement name = child(trk, QLatin1String("name"));
    ++track_counter;
    track.name = name.isNull() ? QStringLiteral("Track %1").arg(track_counter) : name.text();
    print_line(QStringLiteral("Track is named ") + track.name);

    int segment = 0;
    for (QDomElement seg = trk.firstChildElement(); !seg.isNull(); seg = seg.nextSiblingElement()) {
        if (local_name(seg) != QLatin1String("trkseg"))
            continue;
        for (QDomElement pt = seg.firstChildElement(); !pt.isNull(); pt = pt.nextSiblingElement()) {
            if (local_name(pt) == QLatin1String("trkpt"))
                track.points.append(read_point(pt, index, segment, found));
        }
        ++segment;
    }
    if (track.points.isEmpty())
        found.empty_tracks << track.name;
    return track;
}

// Plain English singular/plural; the texts are marked for translation where used.
QString count_text(int count, const char* one, const char* many)
{
    return QCoreApplication::translate("gpx_parser", count == 1 ? one : many).arg(count);
}

} // namespace

gpx_parser::gpx_parser(const QString& path)
{
    QDomDocument document(QStringLiteral("gpx"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QCoreApplication::translate("gpx_parser", "cannot be opened: %1").arg(file.errorString());
        return;
    }
    QString message;
    int line = 0;
    int column = 0;
    const bool parsed = document.setContent(&file, false, &message, &line, &column);
    file.close();
    if (!parsed) {
        error = QCoreApplication::translate("gpx_parser", "is not a GPX file: %1 (line %2, column %3)")
                    .arg(message, QString::number(line), QString::number(column));
        return;
    }

    int track_counter = 0;
    doubts found;
    const QDomNodeList children = document.documentElement().childNodes();
    for (int i = 0; i < children.count(); ++i) {
        const QDomNode node = children.at(i);
        if (!node.isElement()) {
            print_line(QStringLiteral("Unknown node type found: ") + QString::number(node.nodeType())
                + QStringLiteral(" node name is: ") + node.nodeName());
            continue;
        }
        const QDomElement element = node.toElement();
        if (element.isNull()) {
            print_line(
                QStringLiteral(
                    "Could not convert node to element. nodeType indicates this should be possible... ")
                + node.nodeName());
            continue;
        }
        const QString name = local_name(element);
        if (name == QLatin1String("trk"))
            tracks.append(read_track(element, tracks.size(), track_counter, found));
        else if (name != QLatin1String("metadata") && name != QLatin1String("wpt"))
            print_line(QStringLiteral("Unknown element found: ") + element.tagName());
    }

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
