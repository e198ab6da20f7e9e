#include "geo/coordinate_parser.h"

#include <QCoreApplication>
#include <QVector>

#include <cmath>

namespace {

enum class kind { number, sign, letter, degrees, minutes, seconds, separator };

struct token {
    kind what;
    int begin; // in the text read
    int end;
    double number = 0; // a number's value, or -1 and +1 for a sign
    bool fraction = false;
    char letter = 0; // N, S, E or W
};

// Whether a comma between two digits is a decimal comma or separates two
// coordinates; other commas always separate.
enum class commas { decimal, separate };

struct token_list {
    QVector<token> tokens;
    int bad = -1; // where a character belongs to no coordinate
};

QString tr(const char* text)
{
    return QCoreApplication::translate("coordinate_parser", text);
}

bool is_digit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool is_degree_mark(QChar c)
{
    return c == QChar(0x00B0) || c == QChar(0x00BA) || c == QChar(0x02DA);
}

bool is_minute_mark(QChar c)
{
    return c == QLatin1Char('\'') || c == QChar(0x2032) || c == QChar(0x2019) || c == QChar(0x2018)
        || c == QChar(0x00B4);
}

bool is_second_mark(QChar c)
{
    return c == QLatin1Char('"') || c == QChar(0x2033) || c == QChar(0x201D) || c == QChar(0x201C);
}

bool between_digits(const QString& text, int at)
{
    return at > 0 && at + 1 < text.size() && is_digit(text[at - 1]) && is_digit(text[at + 1]);
}

token_list tokenize(const QString& text, commas mode)
{
    token_list out;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const QChar c = text[i];
        const int begin = i;
        if (c.isSpace()) {
            ++i;
            continue;
        }
        token t { kind::separator, begin, begin + 1 };
        if (is_digit(c)) {
            int decimal_marks = 0;
            while (i < n
                && (is_digit(text[i])
                    || ((text[i] == QLatin1Char('.')
                            || (text[i] == QLatin1Char(',') && mode == commas::decimal))
                        && between_digits(text, i)))) {
                decimal_marks += is_digit(text[i]) ? 0 : 1;
                ++i;
            }
            // "1.000,5" and "12." are no numbers in any locale.
            if (decimal_marks > 1 || (i < n && text[i] == QLatin1Char('.'))) {
                out.bad = begin;
                return out;
            }
            bool ok = false;
            t = { kind::number, begin, i };
            t.number = text.mid(begin, i - begin).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
            t.fraction = decimal_marks == 1;
            if (!ok || !std::isfinite(t.number)) {
                out.bad = begin;
                return out;
            }
            out.tokens << t;
            continue;
        }
        ++i;
        if (c == QLatin1Char(',') || c == QLatin1Char(';')) {
            t.what = kind::separator;
        } else if (c == QLatin1Char('-') || c == QChar(0x2212) || c == QLatin1Char('+')) {
            t.what = kind::sign;
            t.number = c == QLatin1Char('+') ? 1 : -1;
        } else if (is_degree_mark(c)) {
            t.what = kind::degrees;
        } else if (is_minute_mark(c)) {
            // Two minute marks are often typed for a seconds mark.
            t.what = i < n && is_minute_mark(text[i]) ? kind::seconds : kind::minutes;
            i += t.what == kind::seconds ? 1 : 0;
        } else if (is_second_mark(c)) {
            t.what = kind::seconds;
        } else if (c.isLetter()) {
            while (i < n && text[i].isLetter())
                ++i;
            const QString word = text.mid(begin, i - begin).toLower();
            if (word == QLatin1String("d") || word == QLatin1String("deg")) {
                t.what = kind::degrees;
            } else if (word.size() == 1 && QStringLiteral("nsew").contains(word)) {
                t.what = kind::letter;
                t.letter = word[0].toUpper().toLatin1();
            } else {
                out.bad = begin;
                return out;
            }
        } else {
            out.bad = begin;
            return out;
        }
        t.end = i;
        out.tokens << t;
    }
    return out;
}

enum class fault { none, syntax, fraction_not_last, minutes, seconds, sign_and_letter };

// A fault of the form rather than of the numbers: no reading of the text
// into two coordinates may have one.
bool form_fault(fault f)
{
    return f == fault::syntax || f == fault::fraction_not_last;
}

struct coordinate {
    double value = 0;
    char letter = 0;
    fault problem = fault::none;
};

int unit_of(kind k)
{
    return k == kind::degrees ? 0 : k == kind::minutes ? 1 : k == kind::seconds ? 2 : -1;
}

// [sign | letter] degrees [minutes [seconds]] [letter], each number with its
// mark or, without one, the unit after the one before.
coordinate read_coordinate(const QVector<token>& tokens, int from, int to)
{
    coordinate c;
    int i = from;
    int sign = 0;
    if (i < to && tokens[i].what == kind::sign)
        sign = int(tokens[i++].number);
    else if (i < to && tokens[i].what == kind::letter)
        c.letter = tokens[i++].letter;

    double parts[3] = { 0, 0, 0 };
    int unit = -1;
    bool had_fraction = false;
    while (i < to && tokens[i].what == kind::number) {
        const token& number = tokens[i++];
        int next = unit + 1;
        if (i < to && unit_of(tokens[i].what) >= 0)
            next = unit_of(tokens[i++].what);
        if (next <= unit || next > 2 || (unit < 0 && next != 0)) {
            c.problem = fault::syntax;
            return c;
        }
        if (had_fraction) {
            c.problem = fault::fraction_not_last;
            return c;
        }
        had_fraction = number.fraction;
        parts[next] = number.number;
        unit = next;
    }
    if (i < to && tokens[i].what == kind::letter && !c.letter)
        c.letter = tokens[i++].letter;
    if (unit < 0 || i != to) {
        c.problem = fault::syntax;
        return c;
    }

    const bool south_or_west = c.letter == 'S' || c.letter == 'W';
    if (parts[1] >= 60)
        c.problem = fault::minutes;
    else if (parts[2] >= 60)
        c.problem = fault::seconds;
    else if (sign != 0 && c.letter && (sign < 0) != south_or_west)
        c.problem = fault::sign_and_letter;
    const double magnitude = parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
    // No -0: it would be written as "-0".
    c.value = (sign < 0 || south_or_west) && magnitude != 0 ? -magnitude : magnitude;
    return c;
}

QString not_a_coordinate(axis which, const QString& text)
{
    return (which == axis::latitude ? tr("the latitude \"%1\" is not a coordinate")
                                    : tr("the longitude \"%1\" is not a coordinate"))
        .arg(text);
}

// The value of a coordinate read for one axis, or why there is none.
coordinate_reading finish(const coordinate& c, axis which, const QString& text)
{
    coordinate_reading r;
    const bool latitude = which == axis::latitude;
    switch (c.problem) {
    case fault::none:
        break;
    case fault::syntax:
        r.error = not_a_coordinate(which, text);
        return r;
    case fault::fraction_not_last:
        r.error = tr("only the last number may have decimals in \"%1\"").arg(text);
        return r;
    case fault::minutes:
        r.error = tr("minutes must be below 60 in \"%1\"").arg(text);
        return r;
    case fault::seconds:
        r.error = tr("seconds must be below 60 in \"%1\"").arg(text);
        return r;
    case fault::sign_and_letter:
        r.error = tr("the sign and the letter contradict each other in \"%1\"").arg(text);
        return r;
    }
    const bool east_or_west = c.letter == 'E' || c.letter == 'W';
    if (c.letter && east_or_west == latitude) {
        r.error = (latitude ? tr("the latitude \"%1\" has the letter %2, which belongs to a longitude")
                            : tr("the longitude \"%1\" has the letter %2, which belongs to a latitude"))
                      .arg(text, QChar::fromLatin1(c.letter));
        return r;
    }
    const double limit = latitude ? 90 : 180;
    if (!(std::fabs(c.value) <= limit)) {
        r.error = (latitude ? tr("the latitude %1 lies outside -90 to 90")
                            : tr("the longitude %1 lies outside -180 to 180"))
                      .arg(QString::number(c.value, 'g', 12));
        return r;
    }
    r.value = c.value;
    return r;
}

// The text of the tokens from..to, as typed.
QString text_of(const QString& text, const QVector<token>& tokens, int from, int to)
{
    return text.mid(tokens[from].begin, tokens[to - 1].end - tokens[from].begin);
}

// The whitespace-delimited word around a character that was not understood.
QString word_at(const QString& text, int at)
{
    int begin = at;
    int end = at;
    while (begin > 0 && !text[begin - 1].isSpace())
        --begin;
    while (end < text.size() && !text[end].isSpace())
        ++end;
    return text.mid(begin, end - begin);
}

struct half {
    coordinate value;
    QString text;
};

// Latitude and longitude from two halves in the order typed; letters on both
// that name the other axes swap them.
position_reading assign(half first, half second)
{
    position_reading result;
    const auto is_longitude_letter = [](char letter) { return letter == 'E' || letter == 'W'; };
    if (first.value.problem == fault::none && second.value.problem == fault::none && first.value.letter
        && second.value.letter && is_longitude_letter(first.value.letter)
        && !is_longitude_letter(second.value.letter))
        std::swap(first, second);
    const coordinate_reading lat = finish(first.value, axis::latitude, first.text);
    const coordinate_reading lon = finish(second.value, axis::longitude, second.text);
    result.error = !lat.error.isEmpty() ? lat.error : lon.error;
    if (result.error.isEmpty()) {
        result.lat = lat.value;
        result.lon = lon.value;
    }
    return result;
}

half read_half(const QString& text)
{
    half h;
    h.text = text.trimmed();
    const token_list list = tokenize(h.text, commas::decimal);
    if (list.bad >= 0 || list.tokens.isEmpty())
        h.value.problem = fault::syntax;
    else
        h.value = read_coordinate(list.tokens, 0, list.tokens.size());
    return h;
}

position_reading split_at(const QString& text, int at)
{
    const QString first = text.left(at).trimmed();
    const QString second = text.mid(at + 1).trimmed();
    position_reading result;
    if (first.isEmpty())
        result.error = tr("the latitude is missing in \"%1\"").arg(text);
    else if (second.isEmpty())
        result.error = tr("the longitude is missing in \"%1\"").arg(text);
    else
        result = assign(read_half(first), read_half(second));
    return result;
}

// Without a separator, the one place where the tokens fall into two
// coordinates; refused when there is none or more than one.
position_reading split_by_form(const QString& text)
{
    position_reading result;
    const token_list list = tokenize(text, commas::decimal);
    if (list.bad >= 0) {
        result.error = tr("\"%1\" is not a coordinate").arg(word_at(text, list.bad));
        return result;
    }
    const QVector<token>& tokens = list.tokens;
    const int n = tokens.size();
    int found = -1;
    int readings = 0;
    for (int k = 1; k < n; ++k) {
        if (!form_fault(read_coordinate(tokens, 0, k).problem)
            && !form_fault(read_coordinate(tokens, k, n).problem)) {
            found = k;
            ++readings;
        }
    }
    if (readings == 1)
        return assign({ read_coordinate(tokens, 0, found), text_of(text, tokens, 0, found) },
            { read_coordinate(tokens, found, n), text_of(text, tokens, found, n) });
    if (readings > 1)
        result.error = tr("cannot tell where the latitude ends in \"%1\"; put a comma between latitude "
                          "and longitude")
                           .arg(text);
    else if (n > 0 && !form_fault(read_coordinate(tokens, 0, n).problem))
        result.error = tr("\"%1\" is one coordinate; the longitude is missing").arg(text);
    else
        result.error = tr("\"%1\" is not a latitude and longitude").arg(text);
    return result;
}

} // namespace

coordinate_reading parse_coordinate(const QString& text, axis which)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        coordinate_reading r;
        r.error = which == axis::latitude ? tr("the latitude is empty") : tr("the longitude is empty");
        return r;
    }
    return finish(read_half(trimmed).value, which, trimmed);
}

position_reading parse_position(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        position_reading r;
        r.error = tr("the position is empty");
        return r;
    }

    QVector<int> semicolons;
    QVector<int> loose_commas;
    QVector<int> tight_commas;
    for (int i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == QLatin1Char(';'))
            semicolons << i;
        else if (trimmed[i] == QLatin1Char(','))
            (between_digits(trimmed, i) ? tight_commas : loose_commas) << i;
    }
    const bool decimal_points = trimmed.contains(QLatin1Char('.'));

    // A semicolon, else a comma not between digits, separates; commas
    // between digits are then decimal commas.
    const QVector<int>& separators = !semicolons.isEmpty() ? semicolons : loose_commas;
    // With decimal points, a comma between digits can only separate.
    const QVector<int>& candidates = !separators.isEmpty() ? separators
        : decimal_points                                   ? tight_commas
                                                           : QVector<int>();
    if (candidates.size() > 1) {
        position_reading r;
        r.error = tr("\"%1\" holds more than a latitude and a longitude").arg(trimmed);
        return r;
    }
    if (candidates.size() == 1)
        return split_at(trimmed, candidates.first());
    if (tight_commas.isEmpty())
        return split_by_form(trimmed);

    // Commas between digits only: decimal commas when that reads as two
    // coordinates, else a single one separates ("48,11").
    const position_reading decimal = split_by_form(trimmed);
    if (decimal.ok())
        return decimal;
    if (tight_commas.size() == 1) {
        const position_reading separated = split_at(trimmed, tight_commas.first());
        return separated.ok() ? separated : decimal;
    }
    const int bad = tokenize(trimmed, commas::decimal).bad;
    if (bad < 0 || !is_digit(trimmed[bad]))
        return decimal;
    position_reading r;
    r.error = tr("cannot tell decimal commas from separators in \"%1\"; separate latitude and longitude "
                 "with \"; \"")
                  .arg(trimmed);
    return r;
}
