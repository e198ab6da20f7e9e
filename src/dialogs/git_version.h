#pragma once

#include <map>
#include <string>

// The version identifier of this build and of the in-house components it was
// built from.
class git_version {
public:
    git_version() = delete;

    static std::string version();
    static std::map<std::string, std::string> versions();
    // One line per component, in name order: "Component: '<name>'\tVersion: '<id>'\n".
    // The program's own entry has an empty name and so comes first.
    static std::string versions_formatted();

private:
    static const std::map<std::string, std::string> _versions;
};
