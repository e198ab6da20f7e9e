#include "geo/gpx_parser.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QFile>

#include <iostream>

namespace {

void print_line(const QString& text)
{
    std::cout << text.toLocal8Bit().constData() << std::endl;
}

gps_data read_point(const QDomElement& trkpt)
{
    gps_data point;
    point.latitude = trkpt.attribute(QStringLiteral("lat"));
    point.longitude = trkpt.attribute(QStringLiteral("lon"));
    const QDomElement time = trkpt.firstChildElement(QStringLiteral("time"));
    if (!time.isNull())
        point.time = QDateTime::fromString(time.text(), Qt::ISODate);
    return point;
}

track_data read_track(const QDomElement& trk, int& track_counter)
{
    track_data track;
    const QDomElement name = trk.firstChildElement(QStringLiteral("name"));
    ++track_counter;
    track.name = name.isNull() ? QStringLiteral("Track %1").arg(track_counter) : name.text();
    print_line(QStringLiteral("Track is named ") + track.name);

    for (QDomElement seg = trk.firstChildElement(QStringLiteral("trkseg")); !seg.isNull();
         seg = seg.nextSiblingElement(QStringLiteral("trkseg"))) {
        for (QDomElement pt = seg.firstChildElement(QStringLiteral("trkpt")); !pt.isNull();
             pt = pt.nextSiblingElement(QStringLiteral("trkpt")))
            track.points.append(read_point(pt));
    }
    return track;
}

} // namespace

gpx_parser::gpx_parser(const QString& path)
{
    QDomDocument document(QStringLiteral("gpx"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const bool parsed = document.setContent(&file, false);
    file.close();
    if (!parsed)
        return;

    int track_counter = 0;
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
        const QString name = element.tagName();
        if (name == QLatin1String("trk"))
            tracks.append(read_track(element, track_counter));
        else if (name != QLatin1String("metadata") && name != QLatin1String("wpt"))
            print_line(QStringLiteral("Unknown element found: ") + name);
    }
}
