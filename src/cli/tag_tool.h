#pragma once

#include <QStringList>

#include <cstdio>

// vestra-tag: the window's loading, assignment and writing, with the choices
// read from the command line and the outcome printed as a report.
namespace tag_tool {

enum exit_status {
    // Every photo that should get a position got it and was written.
    done = 0,
    // Some photo got no position, or could not be written.
    incomplete = 1,
    // Unusable arguments or GPX files; nothing was touched.
    bad_arguments = 2,
};

// Runs the tool on the arguments (the program name first): the report goes
// to `out`, messages and progress to `err`.
int run(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace tag_tool
