#include "dialogs/dialog_about.h"

#include "dialogs/git_version.h"
#include "toolkit/global_storage.h"
#include "toolkit/qt/layout.h"
#include "toolkit/qt/property.h"
#include "toolkit/qt/widgets.h"

#include <QCoreApplication>
#include <QLabel>

namespace kal {

namespace {

const QString website_address = QStringLiteral("https://www.kaltrin.example/vestra");
const QString website_text = QStringLiteral("www.kaltrin.example/vestra");
const QString copyright_text = QStringLiteral("© 2026 Kaltrin");

// Kept byte for byte, runs of spaces included.
const QString dialog_style = QStringLiteral("background-color:rgb(47,47,47);"
                                            "                   "
                                            "color:rgb(198,213,210);"
                                            "                   "
                                            "border-color:rgb(99,99,99);"
                                            "                   "
                                            "font: bold 12px \"FreeSansBold\";"
                                            "                  ");

} // namespace

dialog_about::dialog_about(QWidget* parent)
    : QDialog(parent)
{
    namespace p = ktk::qt::property;

    setStyleSheet(dialog_style);
    resize(500, 220);
    setMinimumSize(500, 220);
    setMaximumSize(500, 220);
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setWindowTitle(tr("About"));

    auto* main_layout = new ktk::qt::layout(1, false);
    setLayout(main_layout);

    const QString logo_path
        = QString::fromStdString(ktk::global_storage::get("image_logo", ":/images/logo.png"));
    auto* logo = new QWidget;
    logo->setStyleSheet(
        QStringLiteral("background-image:url(") + logo_path + QStringLiteral(");background-color:none;"));
    auto* header_layout = new ktk::qt::layout(1, false);
    header_layout->add(logo, p::width(229), p::height(70), p::background_disable);
    main_layout->add(header_layout, p::height(97), p::background_disable,
        p::background_style_sheet(
            QStringLiteral("background-color:none;background-image:url(:/images/Head.png);")),
        p::style_sheet(QStringLiteral("background-color:none;background-image:none;")));
    main_layout->rows[main_layout->last_position.row].height = 97;

    auto* info_layout = new ktk::qt::layout(2, false);
    info_layout->add(new QLabel(tr("Version:")));
    info_layout->columns[info_layout->last_position.column].width = 100;
    info_layout->add(new QLabel(QCoreApplication::applicationVersion()
        + QStringLiteral(" - %1 Bit %2").arg(int(sizeof(void*) * 8)).arg(QString())));
    info_layout->add(new QLabel(tr("Website:")));
    auto* website = new QLabel(
        QStringLiteral("<a style=\"color:#728a84;\" href=\"%1\">%2</a>").arg(website_address, website_text));
    website->setTextFormat(Qt::RichText);
    website->setOpenExternalLinks(true);
    info_layout->add(website);
    main_layout->add(info_layout, p::margin(0, 10, 0, 20));

    auto* lib_line = new clickable_label(tr("Click here for 3rd party library information"), true);
    lib_line->setAlignment(Qt::AlignCenter);
    connect(lib_line, &clickable_label::clicked, this, [this] {
        if (callback_lib_info)
            callback_lib_info(this);
    });
    main_layout->add(lib_line, p::height(10), p::style_sheet(QStringLiteral("font-size:10px \"FreeSans\";")));
    main_layout->rows[main_layout->last_position.row].height = 20;

    auto* copyright = new QLabel(copyright_text + QStringLiteral(" (")
        + QString::fromStdString(git_version::version()) + QStringLiteral(")"));
    copyright->setAlignment(Qt::AlignCenter);
    main_layout->add(copyright, p::margin_bottom(5), p::height(11),
        p::style_sheet(QStringLiteral("font-size:11px \"FreeSans\";")));
    main_layout->rows[main_layout->last_position.row].height = 20;
}

} // namespace kal
