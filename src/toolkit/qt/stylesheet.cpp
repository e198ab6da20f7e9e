#include "toolkit/qt/stylesheet.h"

#include "toolkit/string.h"

#include <QWidget>

namespace ktk::qt {

stylesheet::stylesheet(const QString& text)
{
    groups.insert({ std::string(), {} });
    set(text.toStdString());
}

void stylesheet::set(const std::string& text)
{
    auto& declarations = groups.find({ std::string(), {} })->declarations;
    for (const auto& piece : ktk::split(text, ';')) {
        const auto parts = ktk::split(piece, ':', 1);
        if (parts.size() < 2 || parts[0].empty() || parts[1].empty())
            continue;
        declarations[parts[0]] = parts[1];
    }
}

std::string stylesheet::to_string() const
{
    std::string text;
    for (const auto& group : groups) {
        if (group.declarations.empty())
            continue;
        if (!group.selector.empty())
            text += group.selector + "{";
        for (const auto& [key, value] : group.declarations)
            text += key + ":" + value + ";";
        if (!group.selector.empty())
            text += "}\n";
    }
    return text;
}

void stylesheet::apply(QWidget* widget) const
{
    if (widget)
        widget->setStyleSheet(QString::fromStdString(to_string()));
}

} // namespace ktk::qt
