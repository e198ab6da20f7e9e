// Shows the toolkit's styled widgets on the program's dark background.

#include "toolkit/qt/layout.h"
#include "toolkit/qt/message_box.h"
#include "toolkit/qt/set_style_sheet.h"
#include "toolkit/qt/widgets.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QStandardItemModel>
#include <QTableView>

namespace {

namespace p = ktk::qt::property;

const QColor window_colour(47, 47, 47);
const QColor edit_colour(38, 38, 38);
const QColor text_colour(198, 213, 210);

void set_dark_theme(QApplication& app)
{
    if (QFontDatabase::addApplicationFont(QStringLiteral(":/images/FreeSans.ttf")) < 0)
        qWarning("FreeSans could not be registered");
    app.setFont(QFont(QStringLiteral("FreeSans"), 12));

    QPalette palette;
    palette.setColor(QPalette::Window, window_colour);
    palette.setColor(QPalette::Base, edit_colour);
    palette.setColor(QPalette::Button, window_colour);
    for (const auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(role, text_colour);
    app.setPalette(palette);
}

kal::button* image_button(const QString& image)
{
    const QPixmap pixmap(image);
    if (pixmap.isNull())
        qWarning("missing image %s", qPrintable(image));
    auto* b = new kal::button(nullptr, QRect());
    ktk::qt::setStyleSheet(b, QStringLiteral("background-image:url(%1);").arg(image));
    b->setFixedSize(pixmap.isNull() ? QSize(43, 43) : pixmap.size() + QSize(4, 4));
    return b;
}

QLabel* heading(const QString& text)
{
    auto* label = new QLabel(text);
    label->setStyleSheet(QStringLiteral("color: rgb(198,213,210); font-weight: bold;"));
    return label;
}

ktk::qt::layout* buttons_row()
{
    auto* row = new ktk::qt::layout(7, false);
    for (const char* image : { ":/images/button_load.png", ":/images/button_sync.png",
             ":/images/button_undo.png", ":/images/button_reset.png", ":/images/button_settings_small.png",
             ":/images/button_info_small.png" }) {
        row->add(image_button(QString::fromLatin1(image)), p::widget_size, p::margin_left(0));
        row->columns[row->last_position.column].width = row->cells[row->last_position].widget->width() + 10;
    }
    auto* html = new kal::button_html(QStringLiteral("<span style='color:#c6d5d2'><b>GPX</b> track</span>"));
    html->setFixedSize(html->iconSize() + QSize(12, 12));
    row->add(html, p::widget_size, p::margin_left(0));
    return row;
}

ktk::qt::layout* radios_row()
{
    auto* row = new ktk::qt::layout(4, false);
    auto* checked = new kal::radio(QStringLiteral("previous"));
    checked->setChecked(true);
    auto* unchecked = new kal::radio(QStringLiteral("next"));
    auto* disabled_unchecked = new kal::radio(QStringLiteral("closest"));
    disabled_unchecked->setEnabled(false);
    auto* disabled_checked = new kal::radio(QStringLiteral("set position"));
    disabled_checked->setAutoExclusive(false);
    disabled_checked->setChecked(true);
    disabled_checked->setEnabled(false);
    for (kal::radio* r : { checked, unchecked, disabled_unchecked, disabled_checked })
        row->add(r, p::margin_left(0));
    return row;
}

ktk::qt::layout* checkboxes_row()
{
    auto* row = new ktk::qt::layout(6, false);
    auto* checked = new kal::checkbox(QStringLiteral("checked"));
    checked->setChecked(true);
    auto* unchecked = new kal::checkbox(QStringLiteral("unchecked"));
    auto* disabled_checked = new kal::checkbox(QStringLiteral("disabled"));
    disabled_checked->setChecked(true);
    disabled_checked->setEnabled(false);
    auto* disabled_unchecked = new kal::checkbox(QStringLiteral("disabled"));
    disabled_unchecked->setEnabled(false);
    auto* alt_checked = new kal::checkbox(QStringLiteral("alt"), nullptr, true);
    alt_checked->setChecked(true);
    auto* alt_unchecked = new kal::checkbox(QStringLiteral("alt"), nullptr, true);
    for (kal::checkbox* c :
        { checked, unchecked, disabled_checked, disabled_unchecked, alt_checked, alt_unchecked })
        row->add(c, p::widget_size, p::margin_left(0));
    return row;
}

ktk::qt::layout* edits_row(QWidget* window)
{
    auto* row = new ktk::qt::layout(3, false);
    row->add(new kal::lineedit(QStringLiteral("48.137154, 11.576124")), p::height(24), p::margin_right(10));
    auto* disabled = new kal::lineedit(QStringLiteral("disabled"));
    disabled->setEnabled(false);
    row->add(disabled, p::height(24), p::margin_right(10));
    auto* label = new kal::clickable_label(QStringLiteral("<u>Remove GPS data</u>"), true);
    QObject::connect(label, &kal::clickable_label::clicked, window, [window] {
        kal::message_box::information(window, QObject::tr("Gallery"), QObject::tr("The label was clicked."),
            QMessageBox::Ok | QMessageBox::Cancel);
    });
    row->add(label, p::margin_left(0));
    return row;
}

QTableView* table()
{
    auto* model = new QStandardItemModel(40, 8);
    for (int r = 0; r < model->rowCount(); ++r) {
        for (int c = 0; c < model->columnCount(); ++c)
            model->setItem(r, c, new QStandardItem(QStringLiteral("IMG_%1 / %2").arg(1000 + r).arg(c)));
    }
    auto* view = new QTableView;
    view->setModel(model);
    model->setParent(view);
    view->setStyleSheet(QStringLiteral("QTableView{background-color: rgb(38,38,38); color: rgb(198,213,210); "
                                       "gridline-color: rgb(99,99,99); border: 1px solid rgb(99,99,99);}"
                                       "QHeaderView::section{background-color: rgb(47,47,47); color: "
                                       "rgb(198,213,210); border: none;}"));
    kal::style_scrollbars(view);
    return view;
}

// Spans, paddings and cell backgrounds of the grid layout.
ktk::qt::layout* nested_grid()
{
    const QString box = QStringLiteral("background-color: rgb(38,38,38); border: 1px solid rgb(99,99,99);");
    auto* grid = new ktk::qt::layout(3, false);
    grid->add(new QLabel(QStringLiteral("column span 2")), p::column_span(2), p::padding(4),
        p::background_style_sheet(box));
    grid->add(new QLabel(QStringLiteral("row span 2")), p::row_span(2), p::padding(4),
        p::background_style_sheet(box));
    grid->add(new QLabel(QStringLiteral("(0, 1)")), p::padding(4), p::background_style_sheet(box));
    grid->add(new QLabel(QStringLiteral("(1, 1)")), p::padding(4), p::background_style_sheet(box));
    return grid;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    set_dark_theme(app);

    QWidget window;
    window.setObjectName(QStringLiteral("gallery"));
    window.setWindowTitle(QStringLiteral("Vestra widget gallery"));
    window.setStyleSheet(QStringLiteral("QWidget#gallery{background-color: rgb(47,47,47);}"
                                        "QLabel{color: rgb(198,213,210);}"));

    auto* main_layout = new ktk::qt::layout(2, false);
    const auto section = [&](const QString& title, int height) {
        main_layout->add(heading(title), p::margin_left(10));
        main_layout->columns[0].width = 140;
        main_layout->rows[main_layout->last_position.row].height = height;
    };

    section(QStringLiteral("Buttons"), 70);
    main_layout->add(buttons_row());
    section(QStringLiteral("Radio buttons"), 30);
    main_layout->add(radios_row());
    section(QStringLiteral("Check boxes"), 30);
    main_layout->add(checkboxes_row());
    section(QStringLiteral("Line edits"), 40);
    main_layout->add(edits_row(&window), p::padding(8, 0));
    section(QStringLiteral("Table"), 0);
    main_layout->add(table(), p::margin_right(10), p::margin_bottom(10));
    section(QStringLiteral("Nested grid"), 110);
    main_layout->add(nested_grid(), p::margin_right(10), p::margin_bottom(10));

    window.setLayout(main_layout);
    window.resize(1000, 720);
    window.show();
    return app.exec();
}
