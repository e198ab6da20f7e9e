#pragma once

#include <QString>

namespace ktk::qt {

// Merges the declarations of `text` ("key:value;key:value;") into `sheet`:
// a declaration whose key is already present replaces the old one where it
// stands, any other declaration is appended.
QString merge_style_sheet(const QString& sheet, QString text);

template <typename W> void setStyleSheet(W* widget, const QString& text)
{
    if (text.isEmpty())
        return;
    widget->setStyleSheet(merge_style_sheet(widget->styleSheet(), text));
}

} // namespace ktk::qt
