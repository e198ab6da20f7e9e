#pragma once

#include "app/mainwindow.h"

#include <QApplication>

#include <exception>

// The Qt application object; owns the one main window.
class application : public QApplication {
public:
    application(int& argc, char** argv);
    ~application() override;

    bool event(QEvent* e) override;

    MainWindow& main_window() { return window; }

    // This desktop hands the files to open on the command line, not as
    // file-open events: turn every argument naming an existing file or folder
    // into one, so it loads as a dropped path would.
    void post_file_open_events(const QStringList& arguments);

private:
    MainWindow window;
};

// The text of the fatal-error dialog for an exception that escaped the event loop.
QString fatal_error_text(const std::exception& e);

// Runs the event loop. A standard exception that escapes it is shown in the
// fatal-error dialog and turns into exit code 1.
int exec_guarded(QApplication& app);
