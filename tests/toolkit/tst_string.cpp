#include "toolkit/global_storage.h"
#include "toolkit/string.h"

#include "../comma_locale.h"

#include <QtTest>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>

namespace {

template <typename T> QStringList to_list(const std::vector<T>& pieces)
{
    QStringList list;
    for (const auto& piece : pieces)
        list << QString::fromStdString(piece);
    return list;
}

std::vector<std::string> split_by_callback(const std::string& text, char separator, int limit)
{
    std::vector<std::string> list;
    ktk::split(
        text, separator,
        [&](const ktk::array<char>& piece) {
            QVERIFY(!piece.owns_storage());
            QVERIFY(piece.data() >= text.data() && piece.data() + piece.size() <= text.data() + text.size());
            list.push_back(ktk::string(piece));
        },
        limit);
    return list;
}

std::string join(const std::vector<ktk::string>& pieces, char separator)
{
    std::string text;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        text += (i ? std::string(1, separator) : std::string()) + pieces[i];
    return text;
}

} // namespace

class tst_string : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void to_double_data();
    void to_double();
    void to_double_ignores_c_locale();
    void to_int_data();
    void to_int();
    void strip_data();
    void strip();

    void split_char_data();
    void split_char();
    void split_callback_data() { split_char_data(); }
    void split_callback();
    void split_callback_raw_buffer();
    void split_string_data();
    void split_string();

    void global_storage();

    void fuzz();
};

void tst_string::initTestCase()
{
    // The fuzz oracle below uses strtod, which reads '.' only in the C locale.
    std::setlocale(LC_NUMERIC, "C");
}

void tst_string::to_double_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("default_value");
    QTest::addColumn<double>("expected");

    QTest::newRow("empty gives default") << QByteArray() << 7.5 << 7.5;
    QTest::newRow("letters give default") << QByteArray("abc") << 7.5 << 7.5;
    QTest::newRow("lone minus gives 0") << QByteArray("-") << 7.5 << 0.0;
    QTest::newRow("lone point gives 0") << QByteArray(".") << 7.5 << 0.0;
    QTest::newRow("decimal comma") << QByteArray("1,5") << 7.5 << 1.5;
    QTest::newRow("f-number") << QByteArray("f/2.8") << 0.0 << 2.8;
    QTest::newRow("negative") << QByteArray("-12.25") << 0.0 << -12.25;
    QTest::newRow("double minus gives 0") << QByteArray("--5") << 9.0 << 0.0;
    QTest::newRow("degree bytes ignored") << QByteArray("48\xC2\xB0") << 0.0 << 48.0;
    QTest::newRow("huge overflows to inf") << QByteArray(400, '9') << 0.0 << HUGE_VAL;
    QTest::newRow("tiny underflows to 0") << QByteArray("0.") + QByteArray(400, '0') + "1" << 5.0 << 0.0;
}

void tst_string::to_double()
{
    QFETCH(QByteArray, text);
    QFETCH(double, default_value);
    QFETCH(double, expected);
    const double value = ktk::string(text.toStdString()).to_double(default_value);
    if (std::isinf(expected))
        QCOMPARE(value, expected);
    else
        QVERIFY2(std::fabs(value - expected) < 1e-12, qPrintable(QString::number(value)));
}

void tst_string::to_double_ignores_c_locale()
{
    // Qt sets the C locale from the environment; a decimal-comma locale
    // must not change how "2.8" reads. Without an installed German locale,
    // build one into a private folder.
    QTemporaryDir locale_dir;
    if (!switch_to_comma_locale(locale_dir))
        QSKIP("no decimal-comma C locale available");
    const double value = ktk::string("f/2.8").to_double(0.0);
    std::setlocale(LC_NUMERIC, "C");
    QCOMPARE(value, 2.8);
}

void tst_string::to_int_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("default_value");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty gives default") << QByteArray() << 42 << 42;
    QTest::newRow("lone minus gives default") << QByteArray("-") << 42 << 42;
    QTest::newRow("letters give default") << QByteArray("abc") << 42 << 42;
    QTest::newRow("ISO 200") << QByteArray("ISO 200") << 0 << 200;
    QTest::newRow("unit after number") << QByteArray("4000 px") << 0 << 4000;
    QTest::newRow("fraction") << QByteArray("2/3") << 0 << 2;
    QTest::newRow("decimal point ends number") << QByteArray("12.9") << 0 << 12;
    QTest::newRow("negative") << QByteArray("-17") << 0 << -17;
    QTest::newRow("minus separated from digits") << QByteArray("- 5") << 42 << 0;
    QTest::newRow("int max + 1 clamps") << QByteArray("2147483648") << 0 << INT_MAX;
    QTest::newRow("int min - 1 clamps") << QByteArray("-2147483649") << 0 << INT_MIN;
    QTest::newRow("beyond long long clamps") << QByteArray(60, '9') << 0 << INT_MAX;
}

void tst_string::to_int()
{
    QFETCH(QByteArray, text);
    QFETCH(int, default_value);
    QFETCH(int, expected);
    QCOMPARE(ktk::string(text.toStdString()).to_int(default_value), expected);
}

void tst_string::strip_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("part");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("spaces everywhere") << QByteArray(" a b ") << QByteArray(" ") << QByteArray("ab");
    QTest::newRow("f-number") << QByteArray("f/2.8") << QByteArray("f") << QByteArray("/2.8");
    QTest::newRow("empty part") << QByteArray("abc") << QByteArray() << QByteArray("abc");
    QTest::newRow("all of it") << QByteArray("xxxx") << QByteArray("xx") << QByteArray();
    QTest::newRow("joined text not searched back")
        << QByteArray("aabb") << QByteArray("ab") << QByteArray("ab");
}

void tst_string::strip()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, part);
    QFETCH(QByteArray, expected);
    ktk::string s(text.toStdString());
    ktk::string& result = s.strip(part.toStdString());
    QCOMPARE(&result, &s);
    QCOMPARE(QByteArray::fromStdString(s), expected);
}

void tst_string::split_char_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<char>("separator");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("date") << QByteArray("2015:06:30") << ':' << 0 << QStringList { "2015", "06", "30" };
    QTest::newRow("empty text") << QByteArray() << ':' << 0 << QStringList { "" };
    QTest::newRow("limit 2") << QByteArray("a:b:c") << ':' << 2 << QStringList { "a", "b", "c" };
    QTest::newRow("negative limit") << QByteArray("a:b:c") << ':' << -1 << QStringList { "a", "b", "c" };
    QTest::newRow("empty middle") << QByteArray("a::b") << ':' << 0 << QStringList { "a", "", "b" };
    QTest::newRow("trailing separator") << QByteArray("a:") << ':' << 0 << QStringList { "a", "" };
    QTest::newRow("date and time at first space") << QByteArray("2015:06:30 12:00:01+02:00") << ' ' << 1
                                                  << QStringList { "2015:06:30", "12:00:01+02:00" };
}

void tst_string::split_char()
{
    QFETCH(QByteArray, text);
    QFETCH(char, separator);
    QFETCH(int, limit);
    QFETCH(QStringList, expected);
    QCOMPARE(to_list(ktk::split(text.toStdString(), separator, limit)), expected);
}

void tst_string::split_callback()
{
    QFETCH(QByteArray, text);
    QFETCH(char, separator);
    QFETCH(int, limit);
    QFETCH(QStringList, expected);
    if (text.isEmpty())
        expected.clear(); // the callback form makes no call for empty text
    QCOMPARE(to_list(split_by_callback(text.toStdString(), separator, limit)), expected);
}

void tst_string::split_callback_raw_buffer()
{
    const char buffer[] = { 'a', ':', 'b', ':', 'c' }; // no terminating zero
    QStringList pieces;
    const auto collect = [&](const ktk::array<char>& piece) {
        pieces << QString::fromLatin1(piece.data(), static_cast<int>(piece.size()));
    };
    ktk::split(buffer, 3, ':', collect);
    ktk::split(nullptr, 0, ':', collect);
    QCOMPARE(pieces, (QStringList { "a", "b" }));
    QVERIFY_EXCEPTION_THROWN(ktk::split(std::string(), ':', ktk::split_callback()), std::bad_function_call);
}

void tst_string::split_string_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("respect_quotes");
    QTest::addColumn<bool>("keep_empty");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty text") << QByteArray() << QByteArray(":") << 0 << false << false
                                << QStringList { "" };
    QTest::newRow("single quotes kept together") << QByteArray("a:'b:c':d") << QByteArray(":") << 0 << true
                                                 << true << QStringList { "a", "'b:c'", "d" };
    QTest::newRow("mixed quotes share one state") << QByteArray("a:\"b:'c:d") << QByteArray(":") << 0 << true
                                                  << true << QStringList { "a", "\"b:'c", "d" };
    QTest::newRow("quotes ignored without flag")
        << QByteArray("a:'b:c'") << QByteArray(":") << 0 << false << true << QStringList { "a", "'b", "c'" };
    QTest::newRow("unclosed quote swallows rest")
        << QByteArray("a:'b:c") << QByteArray(":") << 0 << true << true << QStringList { "a", "'b:c" };
    QTest::newRow("empty pieces dropped")
        << QByteArray("a::b:") << QByteArray(":") << 0 << false << false << QStringList { "a", "b", "" };
    QTest::newRow("empty pieces kept")
        << QByteArray("a::b:") << QByteArray(":") << 0 << false << true << QStringList { "a", "", "b", "" };
    QTest::newRow("dropped pieces still count")
        << QByteArray("::a:b") << QByteArray(":") << 2 << false << false << QStringList { "a:b" };
    QTest::newRow("style sheet with final semicolon")
        << QByteArray("color:red;margin:0;") << QByteArray(";") << 0 << false << true
        << QStringList { "color:red", "margin:0", "" };
    QTest::newRow("limit 1") << QByteArray("a:b:c") << QByteArray(":") << 1 << false << true
                             << QStringList { "a", "b:c" };
    QTest::newRow("multi-character separator")
        << QByteArray("a::b:c::") << QByteArray("::") << 0 << false << true << QStringList { "a", "b:c", "" };
    QTest::newRow("empty separator") << QByteArray("a:b") << QByteArray() << 0 << false << true
                                     << QStringList { "a:b" };
}

void tst_string::split_string()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, separator);
    QFETCH(int, limit);
    QFETCH(bool, respect_quotes);
    QFETCH(bool, keep_empty);
    QFETCH(QStringList, expected);
    QCOMPARE(
        to_list(ktk::split(text.toStdString(), separator.toStdString(), limit, respect_quotes, keep_empty)),
        expected);
}

void tst_string::global_storage()
{
    QCOMPARE(ktk::global_storage::get("tst_string/absent", "fallback"), ktk::string("fallback"));
    // A value set empty is no longer absent.
    ktk::global_storage::set("tst_string/empty", "");
    QCOMPARE(ktk::global_storage::get("tst_string/empty", "fallback"), ktk::string());
}

// Random and truncated text must neither read out of bounds (run under
// ASan or valgrind to see that) nor break the invariants checked here.
void tst_string::fuzz()
{
    std::mt19937 random(20240611);
    const std::string alphabet = std::string("0123456789-.,:;'\" abcfSWN/+eE") + "\xC2\xB0\xFF";
    for (int round = 0; round < 50000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        text.resize(random() % (text.size() + 1)); // truncated input

        const ktk::string s(text);
        // The oracle: strtod on the text as reduced to digits, '-' and '.'.
        std::string reduced = text;
        bool numeric = false;
        for (char& c : reduced) {
            if (c == ',')
                c = '.';
            if ((c >= '0' && c <= '9') || c == '-' || c == '.')
                numeric = true;
            else
                c = ' ';
        }
        const double expected = numeric ? std::strtod(reduced.c_str(), nullptr) : -1.0;
        QCOMPARE(s.to_double(-1.0), expected);
        s.to_int(-1);

        const char separator = alphabet[random() % 12 + 10];
        const int limit = static_cast<int>(random() % 4) - 1;
        const std::vector<ktk::string> pieces = ktk::split(text, separator, limit);
        QCOMPARE(join(pieces, separator), text);
        if (!text.empty()) {
            const std::vector<std::string> viewed = split_by_callback(text, separator, limit);
            QVERIFY(std::equal(pieces.begin(), pieces.end(), viewed.begin(), viewed.end()));
        }
        const auto quoted = ktk::split(text, std::string(1, separator), limit, true, true);
        QCOMPARE(join(quoted, separator), text);
        ktk::split(text, std::string(1, separator), limit, true, false);
    }
}

QTEST_GUILESS_MAIN(tst_string)
#include "tst_string.moc"
