#include "cli/tag_tool.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // The window's names: both share one settings store and one undo journal.
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setOrganizationDomain("kaltrin.example");
    QCoreApplication::setApplicationName("Vestra");
    QCoreApplication::setApplicationVersion(VESTRA_VERSION);

    QCoreApplication app(argc, argv);
    return tag_tool::run(QCoreApplication::arguments(), stdout, stderr);
}
