#include "app/styles.h"

#include "toolkit/qt/widgets.h"

#include <QHeaderView>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>

namespace styles {

namespace {

const QString tool_tip_fix
    = "QToolTip{border:1px solid rgb(99,99,99);background-image:none;background-color:rgb(47,47,47);}";

} // namespace

const QString window_text = "color: rgb(198,213,210);";
const QString bar_background = "background-color: rgb(47,47,47);";
const QString header_background
    = "background-color: rgb(47,47,47); background-image: url(:/images/Head.png);";
const QString header_content = "background-color: none; background-image: none";
const QString logo = "background-image: url(:/images/logo.png);";
const QString drop_area_background
    = "background-color: rgb(0,0,0); background-image: url(:/images/drop_images_here.png); "
      "background-repeat: no-repeat; background-position: bottom center; background-origin: content; "
      "padding-bottom: 22px;";
const QString panel_background = "background-color: rgb(47,47,47); border-style:solid; border-width:3px; "
                                 "border-image:url(:/images/border_topless.png) 3 stretch;";
const QString mode_picture = "background-image: url(:/images/sync_kind.png); background-repeat: no-repeat; "
                             "background-position: left center;";
const QString hint = "color: rgb(99,99,99);";

void add_tool_tip(QWidget* widget, const QString& tool_tip)
{
    widget->setToolTip(tool_tip);
    widget->setStyleSheet(tool_tip_fix + widget->styleSheet());
}

kal::button* make_image_button(
    const QString& name, const QString& tool_tip, const QString& image, const QString& disabled_image)
{
    QString rule
        = QStringLiteral("QPushButton{background-image: url(:/images/%1.png);border:none;}").arg(image);
    if (!disabled_image.isEmpty())
        rule += QStringLiteral(" QPushButton:disabled{background-image: url(:/images/%1.png);}")
                    .arg(disabled_image);
    auto* button = new kal::button(nullptr, QRect());
    button->setObjectName(name);
    button->setToolTip(tool_tip);
    button->setStyleSheet(tool_tip_fix + rule);
    return button;
}

QTableView* make_table_view(QAbstractItemModel* model)
{
    auto* view = new QTableView(nullptr);
    view->setObjectName("table_view");
    view->setModel(model);
    view->setShowGrid(false);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setSortingEnabled(true);
    view->setFocusPolicy(Qt::NoFocus);
    view->setFrameShape(QFrame::NoFrame);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTabKeyNavigation(false);
    view->setDropIndicatorShown(false);
    view->setAlternatingRowColors(true);
    view->setCornerButtonEnabled(false);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->verticalHeader()->hide();
    view->setStyleSheet(
        "*{  alternate-background-color: rgb(68, 68, 68);  background-color: rgb(38, 38, 38);}"
        "QTableView::item {  padding-left: 1em;  border: 0px;  border-right: 1px solid black;}"
        "QTableView::item:selected { background-color: rgb(74, 96, 92); color: rgb(230, 238, 236);}"
        "QTableView::indicator:unchecked { image: url(:/gui/checkbox/unchecked.png);}"
        "QTableView::indicator:checked { image: url(:/gui/checkbox/checked.png);}");
    view->resizeColumnsToContents();
    QHeaderView* header = view->horizontalHeader();
    header->setSortIndicator(1, Qt::AscendingOrder);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->setSectionResizeMode(2, QHeaderView::Fixed);
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    QStyle* fusion = QStyleFactory::create("fusion");
    fusion->setParent(header);
    header->setStyle(fusion);
    header->setStyleSheet("QHeaderView::section {border-width: 3;border-style: solid;"
                          "border-image:url(:/images/border.png) 3 stretch;padding-left: 1em;}");
    kal::style_scrollbars(view);
    return view;
}

} // namespace styles
