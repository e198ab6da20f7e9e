#include "geo/track_file.h"

#include "geo/geojson_reader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <zlib.h>

#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcTracks, "vestra.geo.tracks", QtWarningMsg)

QString tr(const char* text)
{
    return QCoreApplication::translate("track_file", text);
}

// ---- Recognising the kind of a file

// The local name of the root element of an XML document, or empty.
QByteArray xml_root(const QByteArray& head)
{
    int at = 0;
    while (true) {
        at = head.indexOf('<', at);
        if (at < 0 || at + 1 >= head.size())
            return {};
        const char next = head[at + 1];
        if (next == '?') {
            at = head.indexOf("?>", at);
        } else if (head.mid(at, 4) == "<!--") {
            at = head.indexOf("-->", at);
        } else if (next == '!') {
            at = head.indexOf('>', at);
        } else {
            int end = at + 1;
            while (end < head.size() && !QChar::isSpace(uchar(head[end])) && head[end] != '>'
                && head[end] != '/')
                ++end;
            const QByteArray name = head.mid(at + 1, end - at - 1);
            return name.mid(name.lastIndexOf(':') + 1);
        }
        if (at < 0)
            return {};
    }
}

QList<QByteArray> first_lines(const QByteArray& head, int count)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
        if (lines.size() == count)
            break;
    }
    return lines;
}

bool looks_like_nmea(const QList<QByteArray>& lines)
{
    static const QRegularExpression sentence(QStringLiteral("^\\$(GP|GN|GL|GA|GB|BD)[A-Z]{3},"));
    return std::any_of(lines.begin(), lines.end(),
        [](const QByteArray& line) { return sentence.match(QString::fromLatin1(line)).hasMatch(); });
}

bool looks_like_igc(const QList<QByteArray>& lines)
{
    static const QRegularExpression logger(QStringLiteral("^A[A-Z0-9]{3}"));
    static const QRegularExpression fix(QStringLiteral("^B\\d{6}"));
    const auto has = [&lines](const auto& test) { return std::any_of(lines.begin(), lines.end(), test); };
    return has([](const QByteArray& line) { return line.startsWith("HFDTE"); })
        || (!lines.isEmpty() && logger.match(QString::fromLatin1(lines.first())).hasMatch()
            && has([](const QByteArray& line) { return fix.match(QString::fromLatin1(line)).hasMatch(); }));
}

// A header line naming a latitude, a longitude and a time or date column.
bool looks_like_csv(const QList<QByteArray>& lines)
{
    if (lines.isEmpty())
        return false;
    static const QRegularExpression separators(QStringLiteral("[,;\\t|]"));
    bool lat = false;
    bool lon = false;
    bool time = false;
    for (QString name : QString::fromUtf8(lines.first()).split(separators)) {
        name = name.trimmed().remove(QLatin1Char('"')).toLower();
        lat = lat || name == QLatin1String("lat") || name == QLatin1String("latitude");
        lon = lon || name == QLatin1String("lon") || name == QLatin1String("long")
            || name == QLatin1String("lng") || name == QLatin1String("longitude");
        time = time || name.contains(QLatin1String("time")) || name.contains(QLatin1String("date"))
            || name.startsWith(QLatin1String("utc_"));
    }
    return lat && lon && time;
}

track_format from_json(const QByteArray& head)
{
    for (const char* key :
        { "\"semanticSegments\"", "\"latitudeE7\"", "\"timelinePath\"", "\"rawSignals\"" }) {
        if (head.contains(key))
            return track_format::location_history;
    }
    // A list of timeline segments.
    if (head.contains("\"startTime\"") && (head.contains("\"visit\"") || head.contains("\"activity\"")))
        return track_format::location_history;
    static const QRegularExpression geojson(
        QStringLiteral("\"type\"\\s*:\\s*\"(FeatureCollection|Feature|LineString|MultiLineString|Point)\""));
    if (geojson.match(QString::fromUtf8(head)).hasMatch())
        return track_format::geojson;
    return track_format::unknown;
}

track_format from_content(QByteArray head)
{
    if (head.size() >= 12 && head.mid(8, 4) == ".FIT")
        return track_format::fit;
    if (head.startsWith("PK\x03\x04"))
        return track_format::kmz;
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    const QByteArray trimmed = head.trimmed();
    if (trimmed.startsWith('<')) {
        const QByteArray root = xml_root(trimmed);
        if (root == "gpx")
            return track_format::gpx;
        if (root == "kml")
            return track_format::kml;
        if (root == "TrainingCenterDatabase")
            return track_format::tcx;
        return track_format::unknown;
    }
    if (trimmed.startsWith('{') || trimmed.startsWith('['))
        return from_json(trimmed);
    const QList<QByteArray> lines = first_lines(trimmed, 20);
    if (looks_like_nmea(lines))
        return track_format::nmea;
    if (looks_like_igc(lines))
        return track_format::igc;
    if (looks_like_csv(lines))
        return track_format::csv;
    return track_format::unknown;
}

track_format from_extension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    static const std::pair<const char*, track_format> known[] = {
        { "gpx", track_format::gpx },
        { "kml", track_format::kml },
        { "kmz", track_format::kmz },
        { "tcx", track_format::tcx },
        { "fit", track_format::fit },
        { "nmea", track_format::nmea },
        { "nma", track_format::nmea },
        { "igc", track_format::igc },
        { "geojson", track_format::geojson },
        { "csv", track_format::csv },
    };
    for (const auto& [name, format] : known) {
        if (suffix == QLatin1String(name))
            return format;
    }
    return track_format::unknown;
}

// ---- KMZ: the KML inside a zip archive

quint32 le32(const QByteArray& data, qint64 at)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 le16(const QByteArray& data, qint64 at)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData() + at);
    return quint16(p[0] | p[1] << 8);
}

// The archive's doc.kml, else its first .kml; an error for the user otherwise.
QByteArray kml_in_zip(const QString& path, QString& error)
{
    // Nothing a zip bomb could grow beyond.
    constexpr quint32 largest = 512u * 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("cannot be opened: %1").arg(file.errorString());
        return {};
    }
    const QByteArray zip = file.readAll();
    const auto broken = [&error]() {
        error = tr("is not a KMZ archive that can be read");
        return QByteArray();
    };
    // The end record lies within the last 64 kB, behind the archive comment.
    qint64 end = -1;
    for (qint64 at = zip.size() - 22; at >= 0 && at >= zip.size() - 22 - 65535; --at) {
        if (le32(zip, at) == 0x06054b50) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return broken();
    const int entries = le16(zip, end + 10);
    qint64 at = le32(zip, end + 16);
    qint64 chosen = -1;
    for (int i = 0; i < entries; ++i) {
        if (at + 46 > zip.size() || le32(zip, at) != 0x02014b50)
            return broken();
        const int name_size = le16(zip, at + 28);
        const QByteArray name = zip.mid(at + 46, name_size);
        if (name.toLower().endsWith(".kml") && (chosen < 0 || name == "doc.kml"))
            chosen = at;
        at += 46 + name_size + le16(zip, at + 30) + le16(zip, at + 32);
    }
    if (chosen < 0) {
        error = tr("holds no KML file");
        return {};
    }
    const int method = le16(zip, chosen + 10);
    const quint32 crc = le32(zip, chosen + 16);
    const quint32 packed = le32(zip, chosen + 20);
    const quint32 size = le32(zip, chosen + 24);
    const qint64 local = le32(zip, chosen + 42);
    if (local + 30 > zip.size() || le32(zip, local) != 0x04034b50 || size > largest)
        return broken();
    const qint64 data = local + 30 + le16(zip, local + 26) + le16(zip, local + 28);
    if (data + packed > zip.size())
        return broken();
    QByteArray kml;
    if (method == 0) {
        kml = zip.mid(data, packed);
    } else if (method == 8) {
        kml.resize(int(size));
        z_stream stream {};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return broken();
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.constData() + data));
        stream.avail_in = packed;
        stream.next_out = reinterpret_cast<Bytef*>(kml.data());
        stream.avail_out = size;
        const int result = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
        if (result != Z_STREAM_END || stream.total_out != size)
            return broken();
    } else {
        return broken();
    }
    if (crc32(0, reinterpret_cast<const Bytef*>(kml.constData()), uInt(kml.size())) != crc)
        return broken();
    return kml;
}

// ---- Converting through gpsbabel

QStringList converter_input(track_format format)
{
    switch (format) {
    case track_format::kml:
    case track_format::kmz:
        return { "-i", "kml" };
    case track_format::tcx:
        return { "-i", "gtrnctr" };
    case track_format::fit:
        return { "-i", "garmin_fit" };
    case track_format::nmea:
        return { "-i", "nmea" };
    case track_format::igc:
        return { "-i", "igc" };
    case track_format::csv:
        // Rows read as track points, not waypoints.
        return { "-t", "-i", "unicsv" };
    default:
        return {};
    }
}

// gpsbabel pins each position of a fix given as RMC then GGA on the next
// fix's time; read from the RMC sentences alone, such files come out right,
// if without elevations.
bool rmc_before_gga(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QHash<QByteArray, int> rmc_lines;
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split(',');
        if (fields.size() < 2 || fields[0].size() != 6 || !fields[0].startsWith('$'))
            continue;
        if (fields[0].endsWith("RMC"))
            rmc_lines.insert(fields[1], i);
        else if (fields[0].endsWith("GGA"))
            return rmc_lines.contains(fields[1]);
    }
    return false;
}

bool has_timed_point(const track_data& track)
{
    return std::any_of(
        track.points.begin(), track.points.end(), [](const gps_data& p) { return p.has_time(); });
}

QStringList point_problems(const QList<track_data>& tracks)
{
    int without_time = 0;
    int bad_position = 0;
    for (const track_data& track : tracks) {
        for (const gps_data& point : track.points) {
            without_time += point.has_time() ? 0 : 1;
            bad_position += std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180 ? 0 : 1;
        }
    }
    QStringList problems;
    if (without_time > 0)
        problems << (without_time == 1 ? tr("1 point without a valid time")
                                       : tr("%1 points without a valid time").arg(without_time));
    if (bad_position > 0)
        problems << (bad_position == 1 ? tr("1 point whose position cannot be read")
                                       : tr("%1 points whose position cannot be read").arg(bad_position));
    return problems;
}

class converter_run {
public:
    converter_run(const track_file_options& options, track_format format)
        : options(options)
        , format(format)
    {
    }

    // The tracks of the file as gpsbabel gives them, or an error.
    QList<track_data> read(const QString& path, QString& error)
    {
        const QString program = QFileInfo(options.converter).isAbsolute()
            ? (QFileInfo(options.converter).isExecutable() ? options.converter : QString())
            : QStandardPaths::findExecutable(options.converter);
        if (program.isEmpty()) {
            error = missing_converter();
            return {};
        }
        QTemporaryDir scratch;
        if (!scratch.isValid()) {
            error = tr("cannot be read: no room for a temporary file (%1)").arg(scratch.errorString());
            return {};
        }
        QString input = path;
        if (format == track_format::kmz) {
            const QByteArray kml = kml_in_zip(path, error);
            if (!error.isEmpty())
                return {};
            input = scratch.filePath(QStringLiteral("doc.kml"));
            QFile unpacked(input);
            if (!unpacked.open(QIODevice::WriteOnly) || unpacked.write(kml) != kml.size()) {
                error = tr("cannot be read: no room for a temporary file (%1)").arg(unpacked.errorString());
                return {};
            }
        }
        input_format = converter_input(format);
        if (format == track_format::nmea && rmc_before_gga(path))
            input_format = QStringList { "-i", "nmea,gpgga=0" };
        const QDeadlineTimer deadline(options.converter_timeout_msecs);
        const QString output = scratch.filePath(QStringLiteral("track.gpx"));
        QList<track_data> tracks = run(program, input, output, {}, deadline, error);
        if (error.isEmpty() && (format == track_format::kml || format == track_format::kmz)
            && std::none_of(tracks.begin(), tracks.end(), has_timed_point)) {
            // KML writers put timed points into placemarks as often as into
            // tracks.
            tracks = run(program, input, output, { "-x", "transform,trk=wpt,del" }, deadline, error);
        }
        return tracks;
    }

    QString missing_converter() const
    {
        return tr("cannot be read. Reading %1 files needs gpsbabel: sudo apt install gpsbabel")
            .arg(track_file::format_name(format));
    }

private:
    QList<track_data> run(const QString& program, const QString& input, const QString& output,
        const QStringList& filter, const QDeadlineTimer& deadline, QString& error)
    {
        QFile::remove(output);
        const QStringList arguments
            = input_format + QStringList { "-f", input } + filter + QStringList { "-o", "gpx", "-F", output };
        qCDebug(lcTracks) << "running" << program << arguments;
        QProcess child;
        child.setProgram(program);
        child.setArguments(arguments);
        child.setStandardInputFile(QProcess::nullDevice());
        child.start(QIODevice::ReadOnly);
        if (!child.waitForStarted(int(std::max<qint64>(deadline.remainingTime(), 1000)))) {
            qCDebug(lcTracks) << "not started:" << child.errorString();
            error = child.error() == QProcess::FailedToStart
                ? missing_converter()
                : tr("cannot be read: gpsbabel did not start (%1)").arg(child.errorString());
            return {};
        }
        if (!child.waitForFinished(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            child.kill();
            child.waitForFinished(5000);
            error = tr("cannot be read: gpsbabel took longer than %1 s and was stopped")
                        .arg(options.converter_timeout_msecs / 1000.0);
            return {};
        }
        // A broken file can draw a warning per point; the first few tell.
        const QString said = QString::fromLocal8Bit(child.readAllStandardError())
                                 .trimmed()
                                 .split(QLatin1Char('\n'))
                                 .mid(0, 5)
                                 .join(QLatin1Char('\n'));
        if (child.exitStatus() != QProcess::NormalExit) {
            error = tr("cannot be read: gpsbabel stopped unexpectedly. %1").arg(said).trimmed();
            return {};
        }
        if (child.exitCode() != 0) {
            error = said.isEmpty() ? tr("cannot be read: gpsbabel ended with status %1").arg(child.exitCode())
                                   : tr("cannot be read: %1").arg(said);
            return {};
        }
        if (!said.isEmpty())
            qCDebug(lcTracks) << "gpsbabel said:" << said;
        const gpx_parser converted(output);
        if (!converted.error.isEmpty()) {
            error = tr("cannot be read: gpsbabel gave no GPX that can be read (%1)").arg(converted.error);
            return {};
        }
        return converted.tracks;
    }

    const track_file_options& options;
    track_format format;
    QStringList input_format;
};

// An IGC file with pressure altitudes comes out as two tracks of the same
// points; the one with the GNSS altitudes is kept, as a GPS gives them.
void drop_pressure_track(QList<track_data>& tracks)
{
    const auto named = [&tracks](const char* name) {
        return std::find_if(tracks.begin(), tracks.end(),
            [name](const track_data& track) { return track.name == QLatin1String(name); });
    };
    const auto pressure = named("PRESALTTRK");
    const auto gnss = named("GNSSALTTRK");
    if (pressure != tracks.end() && gnss != tracks.end() && pressure->points.size() == gnss->points.size())
        tracks.erase(pressure);
}

} // namespace

track_format track_file::detect(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // Enough for the keys that open a location history.
        const track_format format = from_content(file.read(64 * 1024));
        if (format != track_format::unknown)
            return format;
    }
    return from_extension(path);
}

QString track_file::format_name(track_format format)
{
    switch (format) {
    case track_format::gpx:
        return QStringLiteral("GPX");
    case track_format::kml:
        return QStringLiteral("KML");
    case track_format::kmz:
        return QStringLiteral("KMZ");
    case track_format::tcx:
        return QStringLiteral("TCX");
    case track_format::fit:
        return QStringLiteral("FIT");
    case track_format::nmea:
        return QStringLiteral("NMEA");
    case track_format::igc:
        return QStringLiteral("IGC");
    case track_format::geojson:
        return QStringLiteral("GeoJSON");
    case track_format::csv:
        return QStringLiteral("CSV");
    case track_format::location_history:
        return tr("location history");
    case track_format::unknown:
        break;
    }
    return tr("track");
}

bool track_file::needs_converter(track_format format)
{
    return !converter_input(format).isEmpty();
}

QStringList track_file::name_filters()
{
    return { tr("Track files (*.gpx *.kml *.kmz *.tcx *.fit *.nmea *.nma *.igc *.geojson *.json *.csv)"),
        tr("All files (*)") };
}

track_file::track_file(const QString& path, const track_file_options& options)
    : format(detect(path))
{
    switch (format) {
    case track_format::unknown:
        if (!QFileInfo(path).isReadable())
            error = tr("cannot be opened");
        else
            error = tr("is not a track file of a kind read here");
        return;
    case track_format::gpx: {
        const gpx_parser file(path);
        tracks = file.tracks;
        error = file.error;
        problems = file.problems;
        return;
    }
    case track_format::geojson: {
        const geojson_reader file(path);
        tracks = file.tracks;
        error = file.error;
        problems = file.problems;
        return;
    }
    case track_format::location_history: {
        const location_history file(path, options.accuracy_limit);
        tracks = file.tracks;
        error = file.error;
        problems = file.problems;
        inaccurate = file.inaccurate;
        return;
    }
    default:
        break;
    }

    converter_run converter(options, format);
    tracks = converter.read(path, error);
    if (!error.isEmpty()) {
        tracks.clear();
        return;
    }
    if (format == track_format::igc)
        drop_pressure_track(tracks);
    // Lines without times beside timed tracks say nothing more.
    if (std::any_of(tracks.begin(), tracks.end(), has_timed_point)) {
        tracks.erase(std::remove_if(tracks.begin(), tracks.end(),
                         [](const track_data& track) { return !has_timed_point(track); }),
            tracks.end());
    }
    problems = point_problems(tracks);
    if (std::all_of(tracks.begin(), tracks.end(), [](const track_data& t) { return t.points.isEmpty(); }))
        problems << tr("the file holds no track");
}

QString track_file::describe(const QString& file_name) const
{
    const QString kind = format_name(format);
    if (!error.isEmpty()) {
        return format == track_format::unknown ? tr("The file \"%1\" %2").arg(file_name, error)
                                               : tr("The %1 file \"%2\" %3").arg(kind, file_name, error);
    }
    if (problems.isEmpty())
        return QString();
    if (std::all_of(tracks.begin(), tracks.end(), [](const track_data& t) { return t.points.isEmpty(); }))
        return tr("The %1 file \"%2\" holds no track.").arg(kind, file_name);
    QString text = tr("The %1 file \"%2\" holds points that cannot be used:").arg(kind, file_name);
    for (const QString& problem : problems)
        text += QStringLiteral("\n- ") + problem;
    return text;
}
