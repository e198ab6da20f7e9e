#include "toolkit/qt/set_style_sheet.h"

namespace ktk::qt {

namespace {

bool is_declaration_start(const QString& sheet, int pos)
{
    if (pos == 0)
        return true;
    const QChar before = sheet.at(pos - 1);
    return before == QLatin1Char(';') || before == QLatin1Char('{') || before.isSpace();
}

// First occurrence of `key` that starts a declaration, so that "width:" is
// not found inside "min-width:".
int find_key(const QString& sheet, const QString& key)
{
    for (int pos = sheet.indexOf(key); pos >= 0; pos = sheet.indexOf(key, pos + 1)) {
        if (is_declaration_start(sheet, pos))
            return pos;
    }
    return -1;
}

} // namespace

QString merge_style_sheet(const QString& sheet, QString text)
{
    if (text.isEmpty())
        return sheet;
    if (!text.endsWith(QLatin1Char(';')))
        text += QLatin1Char(';');

    QString result = sheet;
    int pos = 0;
    while (pos < text.size()) {
        const int end = text.indexOf(QLatin1Char(';'), pos); // always found: text ends in ';'
        const QString declaration = text.mid(pos, end - pos + 1);
        pos = end + 1;

        const int colon = declaration.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            result += declaration;
            continue;
        }
        const QString key = declaration.left(colon + 1);
        const int found = find_key(result, key);
        if (found < 0) {
            result += declaration;
            continue;
        }
        // The old declaration ends with its ';'. One without (the last of a
        // block or of the sheet) ends before the block's '}' or at the end.
        const int semicolon = result.indexOf(QLatin1Char(';'), found);
        const int brace = result.indexOf(QLatin1Char('}'), found);
        int old_length = result.size() - found;
        if (semicolon >= 0 && (brace < 0 || semicolon < brace))
            old_length = semicolon - found + 1;
        else if (brace >= 0)
            old_length = brace - found;
        if (result.midRef(found, old_length) != declaration)
            result.replace(found, old_length, declaration);
    }
    return result;
}

} // namespace ktk::qt
