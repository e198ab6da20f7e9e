// Prints what the places unit says in the language of its environment:
//   places_probe describe LAT LON
//   places_probe resolve TEXT

#include "places/places.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString line;
    if (args.size() == 4 && args[1] == QLatin1String("describe")) {
        const auto nearest = nearest_place(args[2].toDouble(), args[3].toDouble());
        if (nearest)
            line = describe_place(nearest->where, nearest->km);
    } else if (args.size() == 3 && args[1] == QLatin1String("resolve")) {
        const place_match match = resolve_place(args[2]);
        if (match.found)
            line = QStringList { match.found->name, match.found->region, match.found->country }.join(", ");
    } else {
        return 2;
    }
    std::puts(line.toUtf8().constData());
    return 0;
}
