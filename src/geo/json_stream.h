#pragma once

// What the streaming JSON readers share: where the reader is in the
// document, numbers and positions read from text, and the reading of a file.
// Included by their .cpp files only.

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <rapidjson/error/en.h>
#include <rapidjson/filereadstream.h>
#include <rapidjson/reader.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json_stream {

// The containers open around the reader, each by the key it was opened
// under: "" for the root, "[]" for an element of an array.
class path {
public:
    void key(const char* text, std::size_t size) { last_key.assign(text, size); }
    // The key of a value read now.
    std::string_view current_key() const
    {
        return frames.empty() ? std::string_view() : frames.back().array ? std::string_view("[]") : last_key;
    }
    void open(bool array) { frames.push_back({ std::string(current_key()), array }); }
    void close() { frames.pop_back(); }

    std::size_t depth() const { return frames.size(); }
    // The name of the container `from_end` steps out from the innermost (0).
    std::string_view name(std::size_t from_end) const
    {
        return from_end < frames.size() ? std::string_view(frames[frames.size() - 1 - from_end].name)
                                        : std::string_view();
    }
    bool array(std::size_t from_end) const
    {
        return from_end < frames.size() && frames[frames.size() - 1 - from_end].array;
    }
    // Whether the innermost containers carry these names, outermost first.
    bool inside(std::initializer_list<std::string_view> names) const
    {
        if (names.size() > frames.size())
            return false;
        std::size_t at = frames.size() - names.size();
        for (std::string_view name : names) {
            if (frames[at++].name != name)
                return false;
        }
        return true;
    }

private:
    struct frame {
        std::string name;
        bool array;
    };
    std::vector<frame> frames;
    std::string last_key;
};

// A number written as text ("47.3769", "1556704800123") without the C
// locale's say in the decimal point.
std::optional<double> number(std::string_view text);

// "47.3769°, 8.5417°" or "geo:47.3769,8.5417" as latitude and longitude.
std::optional<std::pair<double, double>> lat_lon(std::string_view text);

// Parses the file as a stream into a rapidjson SAX handler; an error for the
// user when it cannot be opened or is not JSON, else empty. A handler that
// returns false stops the reading with its own error.
template <typename Handler> QString parse_file(const QString& path, Handler& handler)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(QFile::encodeName(path).constData(), "rb"), &std::fclose);
    if (!file) {
        return QCoreApplication::translate("json_stream", "cannot be opened: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    char bom[3] = {};
    if (std::fread(bom, 1, 3, file.get()) != 3 || bom[0] != '\xEF' || bom[1] != '\xBB' || bom[2] != '\xBF')
        std::rewind(file.get());
    std::vector<char> buffer(1 << 16);
    rapidjson::FileReadStream stream(file.get(), buffer.data(), buffer.size());
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse(stream, handler);
    if (result.IsError() && result.Code() != rapidjson::kParseErrorTermination) {
        return QCoreApplication::translate("json_stream", "is not a JSON file: %1 (at byte %2)")
            .arg(QString::fromUtf8(rapidjson::GetParseError_En(result.Code())),
                QString::number(result.Offset()));
    }
    return {};
}

} // namespace json_stream
