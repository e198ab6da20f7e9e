#include "geo/coordinate_parser.h"
#include "geo/gps_pos.h"

#include <QLocale>
#include <QVariant>
#include <QtTest>

#include <cmath>
#include <random>

namespace {

const QString deg = QString(QChar(0x00B0));

} // namespace

class tst_gps_pos : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void read_data();
    void read();
    void make_gps_pos_data();
    void make_gps_pos();
    void typed_position_in_any_locale();
    void fuzz();
};

void tst_gps_pos::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

// "lat" and "lon" rows read one field, "pos" rows a whole position. A row
// either gives the values or a word its refusal must contain.
void tst_gps_pos::read_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<QString>("refusal");

    const auto good = [](const char* tag, const char* what, const QString& text, double lat, double lon) {
        QTest::newRow(tag) << what << text << lat << lon << QString();
    };
    const auto bad = [](const char* tag, const char* what, const QString& text, const QString& refusal) {
        QTest::newRow(tag) << what << text << 0.0 << 0.0 << refusal;
    };
    const double dms = 34 + 56 / 60.0 + 7 / 3600.0; // 34.9352777...

    good("decimal", "lat", "48.5", 48.5, 0);
    good("decimal comma", "lat", "-48,5", -48.5, 0);
    good("surrounding space", "lon", "  11.25 ", 0, 11.25);
    good("D M S, no float rounding", "lat", "34" + deg + "56'7\"", dms, 0);
    good("D M S with spaces", "lat", "34 56 7", dms, 0);
    good("D M.m", "lat", "34" + deg + " 56.5'", 34 + 56.5 / 60, 0);
    good(
        "D M S.s with decimal comma", "lon", "11" + deg + "34'56,78\"W", 0, -(11 + 34 / 60.0 + 56.78 / 3600));
    good("typographic marks", "lat", "34" + deg + "56\u20327\u2033", dms, 0);
    good("quotes as marks", "lat", "34" + deg + "56\u20197\u201D", dms, 0);
    good("two apostrophes for seconds", "lat", "34" + deg + "56'7''", dms, 0);
    good("d and ordinal degree sign", "lat", "34d56'7\" N", dms, 0);
    good("ordinal degree sign", "lat", "34\u00BA56'7\"", dms, 0);
    good("letter after, lower case", "lat", "12.5s", -12.5, 0);
    good("letter before", "lon", "W 5.5", 0, -5.5);
    good("sign and letter agree", "lat", "-12.5 S", -12.5, 0);
    good("59.999 minutes", "lat", "1 59.999", 1 + 59.999 / 60, 0);
    good("90 accepted", "lat", "-90", -90, 0);
    good("minus zero is zero", "lat", "-0", 0, 0);

    bad("empty field", "lat", " ", "empty");
    bad("unknown letter", "lat", "12.5X", "the latitude \"12.5X\" is not a coordinate");
    bad("61 minutes", "lat", "48" + deg + "61'0\"N", "minutes must be below 60 in \"48" + deg + "61'0\"N\"");
    bad("60 seconds", "lon", "11 0 60", "seconds must be below 60");
    bad("decimals before minutes", "lat", "48.5" + deg + "30'", "only the last number");
    bad("minutes before degrees", "lat", "30'48" + deg, "not a coordinate");
    bad("four numbers", "lat", "1 2 3 4", "not a coordinate");
    bad("sign contradicts letter", "lat", "-12.5N", "contradict");
    bad("plus contradicts letter", "lon", "+5 W", "contradict");
    bad("east on the latitude", "lat", "12.5E", "belongs to a longitude");
    bad("north on the longitude", "lon", "N 5", "belongs to a latitude");
    bad("90.000001 refused", "lat", "90.000001", "the latitude 90.000001 lies outside -90 to 90");
    bad("190 refused", "lon", "190", "the longitude 190 lies outside -180 to 180");
    bad("grouped thousands", "lon", "1,000.5", "not a coordinate");
    bad("trailing point", "lat", "12.", "not a coordinate");
    bad("exponent", "lat", "1e1", "not a coordinate");
    bad("a position in one field", "lat", "48.5, 11.25", "not a coordinate");

    // Once read as 0, 0 and written.
    good("letters after, comma", "pos", "12.5N, 5.5E", 12.5, 5.5);
    good("south and west", "pos", "12.5S, 5.5W", -12.5, -5.5);
    good("letters before, no separator", "pos", "N 12.5 E 5.5", 12.5, 5.5);
    good("letters after, space", "pos", "12.5N 5.5E", 12.5, 5.5);
    good("letters, nothing between", "pos", "12.5N5.5E", 12.5, 5.5);
    good("signed", "pos", "-12.5, 5.5", -12.5, 5.5);
    good("comma without space", "pos", "-12.5,5.5", -12.5, 5.5);
    good("space only", "pos", "-12.5 -5.5", -12.5, -5.5);
    good("semicolon", "pos", "48.5;11.25", 48.5, 11.25);
    good("decimal commas, semicolon", "pos", "48,5; 11,25", 48.5, 11.25);
    good("decimal commas, space", "pos", "48,5 11,25", 48.5, 11.25);
    good("decimal commas, comma and space", "pos", "48,5, 11,25", 48.5, 11.25);
    good("whole degrees, one comma", "pos", "48,11", 48, 11);
    good("longitude first with letters", "pos", "E 5.5 N 12.5", 12.5, 5.5);
    good("longitude first, comma", "pos", "5.5W, 12.5S", -12.5, -5.5);
    good("D M S pair with spaces", "pos", "51" + deg + " 28' 40\" N 0" + deg + " 7' 39\" W",
        51 + 28 / 60.0 + 40 / 3600.0, -(7 / 60.0 + 39 / 3600.0));
    good("D M pair", "pos", "48" + deg + "30' 11" + deg + "15'", 48.5, 11.25);
    good("D M S pair", "pos", "34" + deg + "56'7\"N,11" + deg + "0'0\"E", dms, 11);

    bad("empty position", "pos", "", "empty");
    bad("ambiguous decimal commas", "pos", "48,5,11,25", "cannot tell decimal commas");
    bad("ambiguous comma count", "pos", "48,5,11", "cannot tell decimal commas");
    bad("three coordinates", "pos", "1, 2, 3", "more than a latitude and a longitude");
    bad("numbers without marks", "pos", "48 30 11 15", "cannot tell where the latitude ends");
    bad("one coordinate", "pos", "48.1", "the longitude is missing");
    bad("nothing after the comma", "pos", "48.1,", "the longitude is missing");
    bad("unknown word", "pos", "north, 3", "the latitude \"north\" is not a coordinate");
    bad("unknown word, no separator", "pos", "12.5X 5", "\"12.5X\" is not a coordinate");
    bad("longitude out of range", "pos", "12, 190", "the longitude 190 lies outside");
    bad("both letters of latitudes", "pos", "12 N 5 S", "belongs to a latitude");
    bad("longitude first, one letter", "pos", "5.5E, 12.5", "belongs to a longitude");
    bad("minutes in a position", "pos", "48" + deg + "61', 11", "minutes must be below 60");
}

void tst_gps_pos::read()
{
    QFETCH(QString, what);
    QFETCH(QString, text);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(QString, refusal);

    std::optional<double> got_lat;
    std::optional<double> got_lon;
    QString error;
    if (what == "pos") {
        const position_reading r = parse_position(text);
        QCOMPARE(r.ok(), r.error.isEmpty());
        got_lat = r.lat;
        got_lon = r.lon;
        error = r.error;
    } else {
        const coordinate_reading r = parse_coordinate(text, what == "lat" ? axis::latitude : axis::longitude);
        QCOMPARE(bool(r.value), r.error.isEmpty());
        (what == "lat" ? got_lat : got_lon) = r.value;
        error = r.error;
    }
    if (!refusal.isEmpty()) {
        QVERIFY2(error.contains(refusal), qPrintable(error));
        QVERIFY(!got_lat && !got_lon);
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    if (what != "lon")
        QVERIFY2(got_lat && std::fabs(*got_lat - lat) < 1e-9,
            qPrintable(QString::number(got_lat.value_or(0), 'f', 12)));
    if (what != "lat")
        QVERIFY2(got_lon && std::fabs(*got_lon - lon) < 1e-9,
            qPrintable(QString::number(got_lon.value_or(0), 'f', 12)));
    if (what == "lat" && *got_lat == 0)
        QVERIFY(!std::signbit(*got_lat));
}

void tst_gps_pos::make_gps_pos_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("dms");
    QTest::addColumn<QString>("refs"); // latitude's and longitude's letter

    const auto row = [](const char* tag, double value, const QString& dms, const char* refs) {
        QTest::newRow(tag) << value << dms << refs;
    };
    row("48.5", 48.5, "48" + deg + "30'0\"", "NE");
    row("seconds not 6.99", 34 + 56 / 60.0 + 7 / 3600.0, "34" + deg + "56'7\"", "NE");
    row("hundredths of seconds", 11 + 34 / 60.0 + 56.78 / 3600, "11" + deg + "34'56.78\"", "NE");
    row("rounding up to a minute", 10.999999999, "11" + deg + "0'0\"", "NE");
    row("negative below one degree", -0.25, "-0" + deg + "15'0\"", "SW");
    row("minus zero is north and east", -0.0, "0" + deg + "0'0\"", "NE");
}

void tst_gps_pos::make_gps_pos()
{
    QFETCH(double, value);
    QFETCH(QString, dms);
    QFETCH(QString, refs);

    const gps_pos pos = ::make_gps_pos(value, value);
    QCOMPARE(pos.lat, dms);
    QCOMPARE(pos.lon, dms);
    QCOMPARE(pos.lat_ref + pos.lon_ref, refs);
    // The written text reads back as the very same double, and never as "-0".
    QCOMPARE(pos.lat_numerical.toDouble(), value);
    QCOMPARE(pos.lon_numerical, pos.lat_numerical);
    QVERIFY(!pos.lat_numerical.contains('e') && pos.lat_numerical != "-0");
}

void tst_gps_pos::typed_position_in_any_locale()
{
    for (const QLocale& locale : { QLocale::c(), QLocale(QLocale::German, QLocale::Germany) }) {
        QLocale::setDefault(locale);
        const std::optional<gps_pos> pos = typed_position("34" + deg + "56'7\"S", "11,25");
        QVERIFY(pos);
        QCOMPARE(pos->lat_numerical, QString("-34.93527777777778"));
        QCOMPARE(pos->lat_ref, QString("S"));
        QCOMPARE(pos->lon_numerical, QString("11.25"));
        QVERIFY(!typed_position("91", "11"));
        QVERIFY(!typed_position("12.5N", ""));
    }
}

// Random text: never a value and an error at once, never a value out of range.
void tst_gps_pos::fuzz()
{
    std::mt19937 random(4830);
    const QString alphabet = QString("0123456789-+.,;'\" NSEWnsewdX") + deg + QChar(0x2032) + QChar(0x2033);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = static_cast<int>(random() % 16);
        for (int i = 0; i < length; ++i)
            text += alphabet[int(random() % alphabet.size())];

        const position_reading pos = parse_position(text);
        QVERIFY2(pos.ok() != !pos.error.isEmpty() && bool(pos.lat) == bool(pos.lon), qPrintable(text));
        if (pos.ok())
            QVERIFY2(std::fabs(*pos.lat) <= 90 && std::fabs(*pos.lon) <= 180, qPrintable(text));
        const coordinate_reading lat = parse_coordinate(text, axis::latitude);
        QVERIFY2(bool(lat.value) == lat.error.isEmpty(), qPrintable(text));
        if (lat.value)
            QVERIFY2(std::fabs(*lat.value) <= 90, qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(tst_gps_pos)
#include "tst_gps_pos.moc"
