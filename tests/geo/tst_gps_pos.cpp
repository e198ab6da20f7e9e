#include "geo/gps_pos.h"
#include "geo/number_validator.h"

#include <QLocale>
#include <QTextCodec>
#include <QVariant>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

const QString degree = QString(QChar(0x00B0));

} // namespace

class tst_gps_pos : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void parse_lat_or_lon_str_data();
    void parse_lat_or_lon_str();
    void parse_coordinate_text_data();
    void parse_coordinate_text();
    void parse_coordinate_text_in_locale_data();
    void parse_coordinate_text_in_locale();
    void degree_sign_under_any_local_encoding_data();
    void degree_sign_under_any_local_encoding();
    void format_dms_data();
    void format_dms();
    void make_gps_pos_fills_all_texts();
    void meta_type();
    void number_validator_validate_data();
    void number_validator_validate();
    void number_validator_fixup();
    void fuzz();
};

void tst_gps_pos::cleanup()
{
    QLocale::setDefault(QLocale::c());
    QTextCodec::setCodecForLocale(nullptr);
}

void tst_gps_pos::parse_lat_or_lon_str_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<float>("expected");

    QTest::newRow("north with seconds") << QByteArray("48\xC2\xB0"
                                                      "30'0\"N")
                                        << 48.5f;
    QTest::newRow("south without seconds") << QByteArray("48\xC2\xB0"
                                                         "30'S")
                                           << -48.5f;
    QTest::newRow("lower-case letter") << QByteArray("48\xC2\xB0"
                                                     "30's")
                                       << -48.5f;
    QTest::newRow("minus and south cancel") << QByteArray("-48\xC2\xB0"
                                                          "30'S")
                                            << 48.5f;
    QTest::newRow("west") << QByteArray("11\xC2\xB0"
                                        "34'56.78\"W")
                          << -(11.0f + 34.0f / 60 + 56.78f / 3600);
    QTest::newRow("nothing after seconds") << QByteArray("48\xC2\xB0"
                                                         "30'0\"")
                                           << 48.5f;
    QTest::newRow("degrees only") << QByteArray("12\xC2\xB0") << 12.0f;
    QTest::newRow("minutes only") << QByteArray("30'") << 0.5f;
    QTest::newRow("no separator") << QByteArray("48.5N") << 0.0f;
    QTest::newRow("decimal comma in degrees") << QByteArray("48,5\xC2\xB0") << 48.5f;
    QTest::newRow("unknown rest keeps sign") << QByteArray("12\xC2\xB0"
                                                           "X")
                                             << 12.0f;
    QTest::newRow("Latin-1 degree byte") << QByteArray("48\xB0"
                                                       "30'0\"N")
                                         << 48.5f;
    QTest::newRow("Latin-1 degree first") << QByteArray("\xB0"
                                                        "30'")
                                          << 0.5f;
    QTest::newRow("Cyrillic a is no degree sign") << QByteArray("48\xD0\xB0"
                                                                "30'")
                                                  << 0.8f;
    QTest::newRow("truncated UTF-8 degree") << QByteArray("48\xC2") << 0.0f;
    QTest::newRow("separators without numbers") << QByteArray("\xC2\xB0'\"") << 0.0f;
}

void tst_gps_pos::parse_lat_or_lon_str()
{
    QFETCH(QByteArray, text);
    QFETCH(float, expected);
    const float value = ::parse_lat_or_lon_str(ktk::string(text.toStdString()));
    QVERIFY2(std::fabs(value - expected) < 1e-5f, qPrintable(QString::number(value, 'g', 9)));
}

void tst_gps_pos::parse_coordinate_text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("expected");
    QTest::addColumn<QString>("numerical");

    QTest::newRow("decimal") << "48.5" << 48.5f << "48.5";
    QTest::newRow("negative decimal") << "-48.5" << -48.5f << "-48.5";
    // The C locale knows ',' only as a group separator, which is refused.
    QTest::newRow("comma in C locale") << "48,5" << 0.0f << "0.000000";
    QTest::newRow("degrees north") << "48" + degree + "30'0\"N" << 48.5f << "48.500000";
    QTest::newRow("degrees south") << "48" + degree + "30'0\"S" << -48.5f << "-48.500000";
    QTest::newRow("unreadable") << "abc" << 0.0f << "0.000000";
    QTest::newRow("empty") << "" << 0.0f << "0.000000";
}

void tst_gps_pos::parse_coordinate_text()
{
    QFETCH(QString, text);
    QFETCH(float, expected);
    QFETCH(QString, numerical);
    const coordinate_reading reading = ::parse_coordinate_text(text);
    QCOMPARE(reading.value, expected);
    QCOMPARE(reading.numerical_text, numerical);
}

void tst_gps_pos::parse_coordinate_text_in_locale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("expected");
    QTest::addColumn<QString>("numerical");

    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("German comma") << german << "48,5" << 48.5f << "48.5";
    QTest::newRow("German negative comma") << german << "-11,25" << -11.25f << "-11.25";
    QTest::newRow("German point still read first") << german << "48.5" << 48.5f << "48.5";
    QTest::newRow("German degrees with comma seconds")
        << german << "48" + degree + "30'1,8\"N" << 48.5005f << "48.500500";
    // With group separators the value would not match its numerical text.
    QTest::newRow("German grouping refused") << german << "0.100,5" << 0.0f << "0.000000";
    QTest::newRow("English grouping refused") << english << "1,000.5" << 0.0f << "0.000000";
}

void tst_gps_pos::parse_coordinate_text_in_locale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(float, expected);
    QFETCH(QString, numerical);
    QLocale::setDefault(locale);
    const coordinate_reading reading = ::parse_coordinate_text(text);
    QVERIFY2(std::fabs(reading.value - expected) < 1e-5f, qPrintable(QString::number(reading.value)));
    QCOMPARE(reading.numerical_text, numerical);
}

void tst_gps_pos::degree_sign_under_any_local_encoding_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::newRow("UTF-8 locale") << QByteArray("UTF-8");
    QTest::newRow("Latin-1 locale") << QByteArray("ISO-8859-1");
    QTest::newRow("ASCII locale (LANG=C)") << QByteArray("US-ASCII");
    QTest::newRow("Windows-1252 locale") << QByteArray("windows-1252");
}

void tst_gps_pos::degree_sign_under_any_local_encoding()
{
    QFETCH(QByteArray, codec);
    QTextCodec* local = QTextCodec::codecForName(codec);
    if (!local)
        QSKIP("codec not available");
    QTextCodec::setCodecForLocale(local);

    const QString typed = "48" + degree + "30'0\"S";
    QCOMPARE(::parse_coordinate_text(typed).value, -48.5f);

    // The same text as the local encoding carries it, where it can.
    const QByteArray local_bytes = typed.toLocal8Bit();
    if (QString::fromLocal8Bit(local_bytes) == typed)
        QCOMPARE(::parse_lat_or_lon_str(ktk::string(local_bytes.toStdString())), -48.5f);
}

void tst_gps_pos::format_dms_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("latitude");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("letter");

    QTest::newRow("48.5 north") << 48.5f << true << "48" + degree + "30'0\""
                                << "N";
    QTest::newRow("-0.25 west") << -0.25f << false << "0" + degree + "-15'0\""
                                << "W";
    QTest::newRow("0 is south") << 0.0f << true << "0" + degree + "0'0\""
                                << "S";
    QTest::newRow("-48.5 south") << -48.5f << true << "-48" + degree + "-30'0\""
                                 << "S";
    QTest::newRow("seconds") << 10.5125f + 1e-5f << true << "10" + degree + "30'45\""
                             << "N";
    QTest::newRow("seconds truncated, not rounded") << 10.5125f << true << "10" + degree + "30'44\""
                                                    << "N";
}

void tst_gps_pos::format_dms()
{
    QFETCH(float, value);
    QFETCH(bool, latitude);
    QFETCH(QString, text);
    QFETCH(QString, letter);
    const auto result = latitude ? ::format_dms(value, "N", "S") : ::format_dms(value, "E", "W");
    QCOMPARE(result.first, text);
    QCOMPARE(result.second, letter);
}

void tst_gps_pos::make_gps_pos_fills_all_texts()
{
    const gps_pos pos = ::make_gps_pos(48.5f, "48.500000", -0.25f, "-0.25");
    QCOMPARE(pos.lat, "48" + degree + "30'0\"");
    QCOMPARE(pos.lat_ref, QString("N"));
    QCOMPARE(pos.lon, "0" + degree + "-15'0\"");
    QCOMPARE(pos.lon_ref, QString("W"));
    QCOMPARE(pos.lat_numerical, QString("48.500000"));
    QCOMPARE(pos.lon_numerical, QString("-0.25"));

    // Values that no range check let through still give some text.
    const gps_pos odd = ::make_gps_pos(std::nanf(""), "nan", 1e30f, "1e30");
    QCOMPARE(odd.lat_ref, QString("S"));
    QCOMPARE(odd.lon_ref, QString("E"));
    QVERIFY(!odd.lon.isEmpty());
}

void tst_gps_pos::meta_type()
{
    register_gps_pos_meta_type();
    register_gps_pos_meta_type();
    const int id = QMetaType::type("gps_pos");
    QVERIFY(id != QMetaType::UnknownType);
    QCOMPARE(id, qMetaTypeId<gps_pos>());

    const gps_pos pos = ::make_gps_pos(48.5f, "48.5", 11.25f, "11.25");
    const QVariant variant = QVariant::fromValue(pos);
    QCOMPARE(variant.userType(), id);
    QCOMPARE(QString(variant.typeName()), QString("gps_pos"));
    QVERIFY(variant.value<gps_pos>() == pos);
    QVERIFY(gps_pos() != pos);
}

void tst_gps_pos::number_validator_validate_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    QTest::addColumn<QLocale::Language>("language");

    // A comma locale changes nothing, nor does one that groups with spaces.
    for (const QLocale::Language language : { QLocale::German, QLocale::French }) {
        const QString name = QLocale(language).name() + ": ";
        const auto row = [&](const char* tag) -> QTestData& { return QTest::newRow(qPrintable(name + tag)); };
        row("0") << "0" << int(QValidator::Acceptable) << language;
        row("120") << "120" << int(QValidator::Acceptable) << language;
        row("empty") << "" << int(QValidator::Intermediate) << language;
        row("point") << "1.5" << int(QValidator::Invalid) << language;
        row("comma") << "1,5" << int(QValidator::Invalid) << language;
        row("leading minus") << "-" << int(QValidator::Invalid) << language;
        row("letters") << "1a" << int(QValidator::Invalid) << language;
        row("grouped thousands") << QString("1") + QChar(0x202F) + "000" << int(QValidator::Invalid) << language;
    }
}

void tst_gps_pos::number_validator_validate()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    QFETCH(QLocale::Language, language);
    QLocale::setDefault(QLocale(language));
    number_validator validator;
    int pos = input.size();
    QCOMPARE(int(validator.validate(input, pos)), state);
}

void tst_gps_pos::number_validator_fixup()
{
    number_validator validator;
    QString input = "1.5,0";
    validator.fixup(input);
    QCOMPARE(input, QString("150"));
    int pos = input.size();
    QCOMPARE(validator.validate(input, pos), QValidator::Acceptable);
}

// Random and truncated coordinate text: no out-of-bounds reads (run under
// ASan or valgrind to see that), and results stay consistent.
void tst_gps_pos::fuzz()
{
    std::mt19937 random(4830);
    const QLocale german(QLocale::German, QLocale::Germany);
    const std::string alphabet = std::string("0123456789-.,'\" NSEWnsew") + "\xC2\xB0\xD0\xB0\xFF";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 20);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        text.resize(random() % (text.size() + 1));

        QLocale::setDefault(round % 2 ? german : QLocale::c());
        ::parse_lat_or_lon_str(ktk::string(text));
        QString typed = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
        typed.remove(QLatin1Char(' '));
        const coordinate_reading reading = ::parse_coordinate_text(typed);
        // The numerical text, written into photos, must say the same number.
        bool ok = false;
        const float written = reading.numerical_text.toFloat(&ok);
        QVERIFY2(ok, qPrintable(typed));
        if (!std::isnan(reading.value))
            QVERIFY2(std::fabs(written - reading.value) <= 1e-6f * std::max(1.0f, std::fabs(reading.value)),
                qPrintable(typed + " -> " + reading.numerical_text));
    }
}

QTEST_GUILESS_MAIN(tst_gps_pos)
#include "tst_gps_pos.moc"
