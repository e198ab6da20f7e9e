#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <string>

// Switches the C library's numbers to a decimal-comma locale, as Qt does for
// a German user. Without an installed German locale one is built into
// `folder`. False when neither works.
inline bool switch_to_comma_locale(const QTemporaryDir& folder)
{
    bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    if (!switched && folder.isValid()
        && QProcess::execute("localedef", { "-i", "de_DE", "-f", "UTF-8", folder.filePath("de_DE.UTF-8") })
            == 0) {
        qputenv("LOCPATH", QFile::encodeName(folder.path()));
        switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        qunsetenv("LOCPATH");
    }
    return switched && std::localeconv()->decimal_point == std::string(",");
}
