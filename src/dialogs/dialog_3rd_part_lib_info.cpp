#include "dialogs/dialog_3rd_part_lib_info.h"

#include "toolkit/qt/layout.h"
#include "toolkit/qt/property.h"

#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QTextEdit>

#include <algorithm>

namespace kal {

namespace {

QSize text_size(const QString& text, int pixel_size, bool bold = false)
{
    QFont font(QStringLiteral("FreeSans"));
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return QFontMetrics(font).size(0, text);
}

QString license_text(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Could not open license text resource at ") + path;
    const QByteArray data = file.readAll();
    // Up to the first zero byte.
    return QString::fromUtf8(data.constData());
}

} // namespace

ktk::qt::layout* dialog_3rd_part_lib_info::info_item::create_layout()
{
    namespace p = ktk::qt::property;
    auto* l = new ktk::qt::layout(1, false);

    const QSize name_size = text_size(name, 14, true);
    l->add(new QLabel(name), p::style_sheet(QStringLiteral("font-size:14px; font-weight:bold;")));
    l->rows[l->last_position.row].height = name_size.height();

    const QSize description_size = text_size(description, 12);
    l->add(new QLabel(description), p::style_sheet(QStringLiteral("font-size:12px;")));
    l->rows[l->last_position.row].height = description_size.height();

    int width = std::max(name_size.width(), description_size.width());
    int height = name_size.height() + description_size.height();

    if (!license_path.isEmpty()) {
        auto* text_box = new QTextEdit;
        text_box->setReadOnly(true);
        text_box->setPlainText(license_text(license_path));
        const int box_height = std::min(300, text_box->width());
        width = std::max(width, std::min(400, text_box->height()));
        height += box_height;
        l->add(text_box);
        l->rows[l->last_position.row].height = box_height;
    }

    size = QSize(width, height);
    return l;
}

dialog_3rd_part_lib_info::dialog_3rd_part_lib_info(QWidget* parent)
    : QDialog(parent)
{
    namespace p = ktk::qt::property;

    main_layout = new ktk::qt::layout(1, false);
    setLayout(main_layout);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    items.push_back({ QStringLiteral("Qt ") + QString::fromLatin1(qVersion()),
        tr("This software is dynamically linked to Qt, which is licensed under the GNU LGPL.\n"
           "The source code of the Qt SDK can be found at https://download.qt.io/archive/qt/\n"
           "The full text of the LGPL was distributed with this software as a text file."),
        QString(), QSize() });

    const QString title = tr("%1 uses the following open source and/or 3rd party libraries:")
                              .arg(QGuiApplication::applicationDisplayName());
    title_size = text_size(title, 20);
    main_layout->add(new QLabel(title), p::style_sheet(QStringLiteral("font-size:16px;")), p::margin(margin));
}

int dialog_3rd_part_lib_info::exec()
{
    namespace p = ktk::qt::property;

    int width = title_size.width() + 2 * margin;
    int height = title_size.height() + 2 * margin;
    for (const info_item& item : items) {
        info_item laid_out = item;
        ktk::qt::layout* item_layout = laid_out.create_layout();
        main_layout->add(item_layout, p::margin(margin));
        main_layout->rows[main_layout->last_position.row].height = 2 * margin + laid_out.size.height();
        width = std::max(width, laid_out.size.width());
        height += laid_out.size.height() + 2 * margin;
    }
    resize(width + 2 * margin, height);
    return QDialog::exec();
}

} // namespace kal
