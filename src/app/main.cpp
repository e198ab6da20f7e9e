#include "app/application.h"
#include "exif/exiftool.h"

#include <QCommandLineParser>

#include <cstdio>
#include <optional>

namespace {

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Gives photos a GPS position: lists the photos by recording time, proposes a position for "
        "each photo that has none, writes it into the files, and can undo that."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
        QStringLiteral("Photos, and folders standing for the photos in them, to load at start."),
        QStringLiteral("[FILE...]"));
}

// Help and version are answered before the window's application object
// exists, so they need no display.
std::optional<int> answer_without_window(int& argc, char** argv)
{
    const QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    describe(parser);
    // Qt's own window options are unknown here; the second reading judges them.
    parser.parse(QCoreApplication::arguments());
    QString text;
    if (parser.isSet(QStringLiteral("help"))) {
        text = parser.helpText();
    } else if (parser.isSet(QStringLiteral("version"))) {
        const QString exiftool = kal::exiftool_version();
        text = QStringLiteral("vestra %1\n%2\n")
                   .arg(QCoreApplication::applicationVersion(),
                       exiftool.isEmpty() ? QStringLiteral("ExifTool not found") : "ExifTool " + exiftool);
    } else {
        return std::nullopt;
    }
    std::fputs(text.toUtf8().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setOrganizationDomain("kaltrin.example");
    QCoreApplication::setApplicationName("Vestra");
    QCoreApplication::setApplicationVersion(VESTRA_VERSION);

    if (const std::optional<int> status = answer_without_window(argc, argv))
        return *status;

    // The window's fixed pixel sizes were laid out for text at 72 dots per
    // inch, where 12 points are 12 pixels; keep that unless the user chose
    // otherwise.
    if (!qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "72");

    application app(argc, argv);
    QGuiApplication::setApplicationDisplayName("Vestra");
    // Lets a Wayland desktop match the window with its entry and icon.
    QGuiApplication::setDesktopFileName("io.github.vestra.Vestra");
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
    app.main_window().show();
    app.post_file_open_events(parser.positionalArguments());
    return exec_guarded(app);
}
