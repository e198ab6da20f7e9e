#pragma once

#include "jobs/path_listing.h"

#include <QCoreApplication>
#include <QStringList>

#include <vector>

class QProgressDialog;
class QWidget;
class photo_jobs;
class table_data_model;

// Reads photos into the table behind the progress dialog, and names the
// files it passed over.
class photo_loader {
    Q_DECLARE_TR_FUNCTIONS(photo_loader)

public:
    photo_loader(photo_jobs& jobs, table_data_model& table, QProgressDialog* progress, QWidget* window);

    // The photos among the files and in the folders (not their sub-folders).
    void load(QStringList paths);

private:
    void report_passed_over(const std::vector<path_listing::skipped>& passed_over);

    photo_jobs& jobs;
    table_data_model& table;
    QProgressDialog* progress;
    QWidget* window;
    // Files that arrive while a load runs (a file-open event delivered between
    // two files) join that load instead of starting one inside it.
    bool loading = false;
    QStringList queued_files;
};
