#pragma once

#include <QString>

class QAbstractItemModel;
class QTableView;
class QWidget;

namespace kal {
class button;
} // namespace kal

// The window's look: its style sheets, and the widgets that carry one.
namespace styles {

extern const QString window_text;
extern const QString bar_background;
extern const QString header_background;
extern const QString header_content;
extern const QString logo;
extern const QString drop_area_background;
extern const QString panel_background;
extern const QString mode_picture;
extern const QString hint;

// Tool tips drawn over a style sheet need their own frame and background.
void add_tool_tip(QWidget* widget, const QString& tool_tip);

template <typename W> W* with_tool_tip(W* widget, const QString& tool_tip)
{
    add_tool_tip(widget, tool_tip);
    return widget;
}

// A borderless button showing :/images/<image>.png, and <disabled_image>
// when it is disabled.
kal::button* make_image_button(const QString& name, const QString& tool_tip, const QString& image,
    const QString& disabled_image = QString());

QTableView* make_table_view(QAbstractItemModel* model);

} // namespace styles
