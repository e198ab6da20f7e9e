#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <vector>

namespace ktk::qt {
class layout;
}

namespace kal {

// Lists the libraries the program uses with their notices. Callers append to
// `items` before calling exec().
class dialog_3rd_part_lib_info : public QDialog {
    Q_OBJECT

public:
    struct info_item {
        QString name;
        QString description;
        // Resource path of a licence text shown in a text box; empty for none.
        QString license_path;
        QSize size;

        // Builds the item's rows and stores the space they take in `size`.
        ktk::qt::layout* create_layout();
    };

    explicit dialog_3rd_part_lib_info(QWidget* parent = nullptr);

    // Lays out the items, sizes the dialog to fit them and runs it modally.
    int exec() override;

    std::vector<info_item> items;

private:
    ktk::qt::layout* main_layout;
    QSize title_size;
    int margin = 5;
};

} // namespace kal
