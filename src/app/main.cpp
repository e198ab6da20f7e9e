#include "app/application.h"

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setOrganizationDomain("kaltrin.example");
    QCoreApplication::setApplicationName("Vestra");
    QCoreApplication::setApplicationVersion("1.0.2");

    // The window's fixed pixel sizes were laid out for text at 72 dots per
    // inch, where 12 points are 12 pixels; keep that unless the user chose
    // otherwise.
    if (!qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "72");

    application app(argc, argv);
    QGuiApplication::setApplicationDisplayName("Vestra");
    app.main_window().show();
    app.post_file_open_events(QCoreApplication::arguments().mid(1));
    return exec_guarded(app);
}
