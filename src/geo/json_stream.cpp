#include "geo/json_stream.h"

#include <charconv>

namespace json_stream {

std::optional<double> number(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '+'))
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    for (const char* rest = end; rest != text.data() + text.size(); ++rest) {
        if (*rest != ' ')
            return std::nullopt;
    }
    return value;
}

std::optional<std::pair<double, double>> lat_lon(std::string_view text)
{
    if (text.substr(0, 4) == "geo:")
        text.remove_prefix(4);
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    // The degree sign is two bytes in UTF-8.
    const auto strip = [](std::string_view part) {
        const std::string_view degree = "\xC2\xB0";
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        if (part.size() >= degree.size() && part.substr(part.size() - degree.size()) == degree)
            part.remove_suffix(degree.size());
        return part;
    };
    const std::optional<double> lat = number(strip(text.substr(0, comma)));
    const std::optional<double> lon = number(strip(text.substr(comma + 1)));
    if (!lat || !lon)
        return std::nullopt;
    return std::make_pair(*lat, *lon);
}

} // namespace json_stream
