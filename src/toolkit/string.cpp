#include "toolkit/string.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace ktk {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool string::starts_with(const std::string& prefix) const
{
    return size() >= prefix.size() && compare(0, prefix.size(), prefix) == 0;
}

double string::to_double(double default_value) const
{
    std::string copy(*this);
    bool any = false;
    for (char& c : copy) {
        if (c == ',')
            c = '.';
        if (is_digit(c) || c == '-' || c == '.')
            any = true;
        else
            c = ' ';
    }
    if (!any)
        return default_value;

    // std::from_chars rather than strtod: strtod follows LC_NUMERIC, which Qt
    // sets from the environment, and would stop at '.' under a German locale.
    const char* first = copy.data();
    const char* last = copy.data() + copy.size();
    while (first != last && *first == ' ')
        ++first;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::invalid_argument)
        return 0.0;
    if (error == std::errc::result_out_of_range) {
        const bool negative = *first == '-';
        bool large = false;
        for (const char* p = first; p != end && *p != '.'; ++p)
            large = large || (is_digit(*p) && *p != '0');
        const double magnitude = large ? HUGE_VAL : 0.0;
        return negative ? -magnitude : magnitude;
    }
    return value;
}

int string::to_int(int default_value) const
{
    std::string copy(*this);
    bool any_digit = false;
    for (char& c : copy) {
        if (is_digit(c))
            any_digit = true;
        else if (c != '-')
            c = ' ';
    }
    if (!any_digit)
        return default_value;
    // strtoll saturates at the long long range; clamp the rest of the way.
    const long long value = std::strtoll(copy.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

string& string::strip(const std::string& part)
{
    if (part.empty())
        return *this;
    for (size_type pos = find(part); pos != npos; pos = find(part, pos))
        erase(pos, part.size());
    return *this;
}

string& string::operator<<(int value)
{
    std::string::append(std::to_string(value));
    return *this;
}

void string::append(int value)
{
    *this << value;
}

std::vector<string> split(const std::string& text, char separator, int split_limit)
{
    std::vector<string> pieces;
    std::string::size_type start = 0;
    int splits = 0;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] != separator)
            continue;
        pieces.emplace_back(text.substr(start, i - start));
        start = i + 1;
        if (split_limit >= 1 && ++splits >= split_limit)
            break;
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

std::vector<string> split(const std::string& text, const std::string& separator, int split_limit,
    bool respect_quotes, bool keep_empty)
{
    std::vector<string> pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::string::size_type start = 0;
    std::string::size_type i = 0;
    bool in_quotes = false;
    int splits = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (respect_quotes && (c == '"' || c == '\'')) {
            in_quotes = !in_quotes;
            ++i;
            continue;
        }
        if (in_quotes || text.compare(i, separator.size(), separator) != 0) {
            ++i;
            continue;
        }
        std::string piece = text.substr(start, i - start);
        if ((keep_empty || !piece.empty()) && piece != separator)
            pieces.emplace_back(std::move(piece));
        i += separator.size();
        start = i;
        if (split_limit >= 1 && ++splits >= split_limit)
            break;
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

void split(const std::string& text, char separator, const split_callback& callback, int split_limit)
{
    split(text.data(), text.size(), separator, callback, split_limit);
}

void split(
    const char* text, std::size_t length, char separator, const split_callback& callback, int split_limit)
{
    if (!callback)
        throw std::bad_function_call();
    if (text == nullptr || length == 0)
        return;
    // The views point into the caller's text; callbacks only read through them.
    char* chars = const_cast<char*>(text);
    std::size_t start = 0;
    int splits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (chars[i] != separator)
            continue;
        callback(array<char>(chars + start, i - start));
        start = i + 1;
        if (split_limit >= 1 && ++splits >= split_limit)
            break;
    }
    callback(array<char>(chars + start, length - start));
}

} // namespace ktk
