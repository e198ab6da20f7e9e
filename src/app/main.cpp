#include "app/application.h"

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setOrganizationDomain("kaltrin.example");
    QCoreApplication::setApplicationName("Vestra");
    QCoreApplication::setApplicationVersion("1.0.2");

    application app(argc, argv);
    QGuiApplication::setApplicationDisplayName("Vestra");
    app.main_window().show();
    return exec_guarded(app);
}
