#include "cli/tag_tool.h"
#include "jobs/path_listing.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // The window's names: both share one settings store and one undo journal.
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setOrganizationDomain("kaltrin.example");
    QCoreApplication::setApplicationName("Vestra");
    QCoreApplication::setApplicationVersion(VESTRA_VERSION);

    QCoreApplication app(argc, argv);
    // Names from an old card or another locale arrive as bytes that are not
    // UTF-8; they are named, not taken for other files or dropped.
    const QStringList arguments = QCoreApplication::arguments();
    std::map<QString, QString> undecodable;
    for (int i = 1; i < argc && i < arguments.size(); ++i) {
        if (!utf8_name(QByteArray(argv[i])))
            undecodable[arguments[i]] = escaped_name(QByteArray(argv[i]));
    }
    return tag_tool::run(arguments, stdout, stderr, undecodable);
}
