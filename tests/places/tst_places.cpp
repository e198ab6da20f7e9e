#include "places/place_index.h"
#include "places/places.h"

#include <QProcess>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

namespace {

double great_circle_km(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double radians = M_PI / 180;
    const double a = std::pow(std::sin((lat2 - lat1) * radians / 2), 2)
        + std::cos(lat1 * radians) * std::cos(lat2 * radians)
            * std::pow(std::sin((lon2 - lon1) * radians / 2), 2);
    return 2 * 6371.0088 * std::asin(std::sqrt(std::min(1.0, a)));
}

QString names_of(const QVector<place>& places)
{
    QStringList texts;
    for (const place& p : places)
        texts << p.name + QLatin1String(", ") + p.region;
    return texts.join(QLatin1String("; "));
}

} // namespace

class tst_places : public QObject {
    Q_OBJECT

private slots:
    void nearest_data();
    void nearest();
    void nearest_agrees_with_every_distance();
    void describe_data();
    void describe();
    void search_data();
    void search();
    void resolve_data();
    void resolve();
    void zone_data();
    void zone();
    void names_follow_language_data();
    void names_follow_language();
};

void tst_places::nearest_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<QString>("name"); // empty: no place
    QTest::addColumn<double>("km");
    QTest::addColumn<QString>("description");

    QTest::newRow("Reykjavík centre")
        << 64.1466 << -21.9426 << "Reykjavik" << 2.60 << "near Reykjavik, Capital Region, Iceland (2.6 km)";
    QTest::newRow("Arezzo within 1 km")
        << 43.4633 << 11.8796 << "Arezzo" << 0.11 << "near Arezzo, Tuscany, Italy (0.1 km)";
    QTest::newRow("Blönduós, between Reykjavík and Akureyri")
        << 65.66 << -20.28 << "Akureyri" << 100.45 << "Northeast, Iceland";
    QTest::newRow("mid-Atlantic is at sea") << 30.0 << -40.0 << "Ponta Delgada" << 1575.51 << "";
    QTest::newRow("east of the date line, Labasa to the west")
        << -16.5 << -179.9 << "Labasa" << 78.78 << "Northern, Fiji";
    QTest::newRow("Tonga") << -21.2 << -175.3 << "Nuku'alofa" << 12.21
                           << "near Nuku'alofa, Tongatapu, Tonga (12 km)";
    QTest::newRow("north pole") << 90.0 << 0.0 << "Longyearbyen" << 1309.51 << "";
    QTest::newRow("south pole") << -90.0 << -180.0 << "Ushuaia" << 3912.86 << "";
    QTest::newRow("equator at +180") << 0.0 << 180.0 << "Tarawa" << 794.69 << "";
    QTest::newRow("latitude past 90") << 90.001 << 0.0 << "" << 0.0 << "";
    QTest::newRow("longitude past 180") << 0.0 << -180.001 << "" << 0.0 << "";
    QTest::newRow("not a number") << std::nan("") << 0.0 << "" << 0.0 << "";
}

void tst_places::nearest()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(QString, name);
    QFETCH(double, km);
    QFETCH(QString, description);

    const auto found = nearest_place(lat, lon);
    QCOMPARE(found ? found->where.name : QString(), name);
    if (!found)
        return;
    if (km > 0)
        QVERIFY2(std::fabs(found->km - km) < 0.05 + km * 1e-3, qPrintable(QString::number(found->km)));
    QCOMPARE(describe_place(found->where, found->km), description);
}

void tst_places::nearest_agrees_with_every_distance()
{
    const auto& entries = place_index::shared().entries();
    QVERIFY(entries.size() > 20000);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 400; ++i) {
        // Uniform over the globe, then crowded at the poles and the date line.
        double lat = std::asin(unit(random)) * 180 / M_PI;
        double lon = unit(random) * 180;
        if (i % 4 == 1)
            lat = std::copysign(90 - std::fabs(unit(random)) * 5, lat);
        else if (i % 4 == 2)
            lon = std::copysign(180 - std::fabs(unit(random)) * 2, lon);
        double best = std::numeric_limits<double>::infinity();
        for (const gazetteer_entry& entry : entries)
            best = std::min(best, great_circle_km(lat, lon, entry.where.lat, entry.where.lon));
        const auto found = nearest_place(lat, lon);
        QVERIFY(found);
        QVERIFY2(std::fabs(found->km - best) < 1e-6,
            qPrintable(QStringLiteral("%1, %2: %3 km, not %4").arg(lat).arg(lon).arg(found->km).arg(best)));
    }
}

void tst_places::describe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("region");
    QTest::addColumn<double>("km");
    QTest::addColumn<QString>("text");

    const auto row
        = [](const char* tag, const char* name, const char* region, double km, const QString& text) {
              QTest::newRow(tag) << QString(name) << QString(region) << km << text;
          };
    const QString near_arezzo = QStringLiteral("near Arezzo, Tuscany, Italy (%1)");
    row("at the centre", "Arezzo", "Tuscany", 0.0, near_arezzo.arg("0.0 km"));
    row("9.94 km with a decimal", "Arezzo", "Tuscany", 9.94, near_arezzo.arg("9.9 km"));
    row("9.96 km rounds to 10", "Arezzo", "Tuscany", 9.96, near_arezzo.arg("10 km"));
    row("50 km still near", "Arezzo", "Tuscany", 50.0, near_arezzo.arg("50 km"));
    row("50.1 km region only", "Arezzo", "Tuscany", 50.1, "Tuscany, Italy");
    row("300.1 km at sea", "Arezzo", "Tuscany", 300.1, "");
    row("no distance", "Arezzo", "Tuscany", std::nan(""), "");
    row("region named as the town", "Firenze", "Firenze", 2.0, "near Firenze, Italy (2.0 km)");
    row("no region", "Arezzo", "", 60.0, "Italy");
}

void tst_places::describe()
{
    QFETCH(QString, name);
    QFETCH(QString, region);
    QFETCH(double, km);
    QFETCH(QString, text);
    place where;
    where.name = name;
    where.region = region;
    where.country = QStringLiteral("Italy");
    QCOMPARE(describe_place(where, km), text);
}

void tst_places::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("found"); // "name, region; ..."

    QTest::newRow("prefix") << "Reykj" << 5 << "Reykjavik, Capital Region";
    QTest::newRow("case and accents ignored") << "REYKJAVÍK" << 5 << "Reykjavik, Capital Region";
    QTest::newRow("accents in the gazetteer ignored")
        << "Rio Grande, Argentina" << 5 << "Río Grande, Tierra del Fuego Province";
    QTest::newRow("Name, Country") << "Arezzo, Italy" << 5 << "Arezzo, Tuscany";
    QTest::newRow("Name, country code") << "arezzo, it" << 5 << "Arezzo, Tuscany";
    QTest::newRow("Name, Region, Country")
        << "Springfield, Oregon, United States of America" << 5 << "Springfield, Oregon";
    QTest::newRow("wrong country") << "Arezzo, France" << 5 << "";
    QTest::newRow("exact names before a larger prefix match, each by population")
        << "Springfield" << 9
        << "Springfield, Missouri; Springfield, Massachusetts; Springfield, Illinois; "
           "Springfield, Oregon; Springfield, Ohio; Springfield, Virginia; Springfield, Pennsylvania; "
           "Springfield, Tennessee; Springfield Gardens, New York";
    QTest::newRow("only a country") << ", Italy" << 5 << "";
    QTest::newRow("nothing") << "  " << 5 << "";
}

void tst_places::search()
{
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(QString, found);
    QCOMPARE(names_of(search_places(text, limit)), found);
}

void tst_places::resolve_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("found");
    QTest::addColumn<int>("candidates");

    const auto row = [](const char* tag, const char* text, const char* found, int candidates) {
        QTest::newRow(tag) << QString(text) << QString(found) << candidates;
    };
    row("one exact name", "Arezzo", "Arezzo, Tuscany", 0);
    row("exact name beside longer ones", "Auckland", "Auckland, Auckland", 0);
    row("a prefix of one place", "Reykj", "Reykjavik, Capital Region", 0);
    row("Name, Country", "Arezzo, Italy", "Arezzo, Tuscany", 0);
    row("ambiguous name", "Springfield", "", 8);
    row("narrowed to one", "Springfield, Illinois", "Springfield, Illinois", 0);
    row("prefix of many, the first ten", "Spr", "", 10);
    row("unknown", "Xqzzy", "", 0);
    row("tromsø typed plainly", "tromso", "Tromsø, Troms og Finnmark", 0);
    row("apostrophe left out", "Nukualofa", "Nuku'alofa, Tongatapu", 0);
}

void tst_places::resolve()
{
    QFETCH(QString, text);
    QFETCH(QString, found);
    QFETCH(int, candidates);
    const place_match match = resolve_place(text);
    QCOMPARE(match.found ? names_of({ *match.found }) : QString(), found);
    QCOMPARE(match.candidates.size(), candidates);
    if (candidates == 8)
        QVERIFY(names_of(match.candidates).count(QLatin1String("Springfield,")) == 8);
}

void tst_places::zone_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("from");

    QTest::newRow("Iceland") << 64.1466 << -21.9426 << QByteArray("Atlantic/Reykjavik") << "Reykjavik";
    QTest::newRow("New Zealand") << -36.85 << 174.76 << QByteArray("Pacific/Auckland") << "Auckland";
    QTest::newRow("across the date line") << -16.5 << -179.9 << QByteArray("Pacific/Fiji") << "Labasa";
    QTest::newRow("renamed zone by its listed name") << 50.45 << 30.52 << QByteArray("Europe/Kyiv") << "Kyiv";
    QTest::newRow("out of range") << -91.0 << 0.0 << QByteArray() << "";
}

void tst_places::zone()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(QByteArray, zone);
    QFETCH(QString, from);
    const auto found = zone_at(lat, lon);
    QCOMPARE(found ? found->where.zone_id : QByteArray(), zone);
    QCOMPARE(found ? found->where.name : QString(), from);
    if (found)
        QVERIFY(QTimeZone::isTimeZoneIdAvailable(found->where.zone_id));
}

void tst_places::names_follow_language_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("output");

    const QStringList reykjavik = { "describe", "64.1466", "-21.9426" };
    QTest::newRow("German") << "de" << reykjavik << "near Reykjavík, Hauptstadtregion, Island (2.6 km)";
    QTest::newRow("Icelandic") << "is" << reykjavik << "near Reykjavík, Höfuðborgarsvæði, Ísland (2.6 km)";
    QTest::newRow("German name typed in German")
        << "de" << QStringList { "resolve", "Rom, Italien" } << "Rom, Latium, Italien";
    QTest::newRow("English name typed in German")
        << "de" << QStringList { "resolve", "Rome, Italy" } << "Rom, Latium, Italien";
}

void tst_places::names_follow_language()
{
    QFETCH(QString, language);
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LANGUAGE"), language);
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(PLACES_PROBE), arguments);
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), output);
}

int main(int argc, char* argv[])
{
    // The gazetteer's own English names, whatever the developer's language.
    qputenv("LC_ALL", "C.UTF-8");
    qunsetenv("LANGUAGE");
    QCoreApplication app(argc, argv);
    tst_places test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_places.moc"
