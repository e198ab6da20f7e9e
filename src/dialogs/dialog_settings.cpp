#include "dialogs/dialog_settings.h"

#include "dialogs/datetime_format_selector.h"
#include "toolkit/qt/layout.h"

dialog_settings::dialog_settings()
    : QDialog(nullptr)
{
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    // The selector draws light text on whatever lies beneath it; without a
    // background of its own the dialog would show it on the light system
    // window colour. Only the dialog itself, so the panel frame stays visible.
    setStyleSheet(QStringLiteral("QDialog{background-color:rgb(47,47,47);}"));

    format_selector = new kal::datetime_format_selector(nullptr);
    auto* main_layout = new ktk::qt::layout(1, false);
    setLayout(main_layout);
    main_layout->add(format_selector);

    setFixedSize(355, 165);
}
