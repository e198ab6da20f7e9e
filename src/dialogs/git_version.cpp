#include "dialogs/git_version.h"

const std::map<std::string, std::string> git_version::_versions = {
    { "", "v1.0.2-8-g65bef80" },
    { "kal_infrastructure", "5e76e38" },
    { "kal_toolkit", "e40d1b2" },
    { "ktk", "e5c1b8f" },
};

std::string git_version::version()
{
    return "v1.0.2-8-g65bef80";
}

std::map<std::string, std::string> git_version::versions()
{
    return _versions;
}

std::string git_version::versions_formatted()
{
    std::string text;
    for (const auto& [name, id] : _versions)
        text += "Component: '" + name + "'\tVersion: '" + id + "'\n";
    return text;
}
