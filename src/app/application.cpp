#include "app/application.h"

#include <QFileInfo>
#include <QFileOpenEvent>
#include <QIcon>
#include <QMessageBox>

application::application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setWindowIcon(QIcon(":/images/icon.png"));
}

application::~application() = default;

bool application::event(QEvent* e)
{
    // The desktop hands files to the application object; the window loads
    // them. Only those: the application's own events (queued calls, deferred
    // deletion) must not run a second time on the window.
    if (e->type() == QEvent::FileOpen && window.isVisible())
        window.event(e);
    return QApplication::event(e);
}

void application::post_file_open_events(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.exists())
            postEvent(this, new QFileOpenEvent(info.absoluteFilePath()));
    }
}

QString fatal_error_text(const std::exception& e)
{
    const char* what = e.what();
    return QObject::tr("A fatal error has been detected!\nAll unsaved work has been lost.\n"
                       "Please report what you did to cause this error to the developers.\n"
                       "Sorry for the inconvenience.\n\n%1")
        .arg(QString::fromUtf8(what ? what : ""));
}

int exec_guarded(QApplication& app)
{
    try {
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QObject::tr("Fatal error detected"), fatal_error_text(e),
            QMessageBox::Ok, QMessageBox::NoButton);
        return 1;
    }
}
