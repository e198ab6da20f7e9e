#pragma once

#include <QStringList>

#include <cstdio>
#include <map>

// vestra-tag: the window's loading, assignment and writing, with the choices
// read from the command line and the outcome printed as a report.
namespace tag_tool {

enum exit_status {
    // Every photo that should get a position got it and was written.
    done = 0,
    // Some photo got no position, or could not be written.
    incomplete = 1,
    // Unusable arguments or track files; nothing was touched.
    bad_arguments = 2,
    // Nothing among the paths is a photo the tool can handle.
    no_photos = 3,
};

// Runs the tool on the arguments (the program name first): the report goes
// to `out`, messages and progress to `err`. `undecodable` names the
// arguments whose bytes are not UTF-8, as decoded, with their bytes shown.
int run(const QStringList& arguments, std::FILE* out, std::FILE* err,
    const std::map<QString, QString>& undecodable = {});

} // namespace tag_tool
