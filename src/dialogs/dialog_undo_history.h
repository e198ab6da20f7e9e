#pragma once

#include <QDialog>
#include <QString>

#include <vector>

class QLabel;
class QTreeWidget;

namespace kal {
class button;
}

// The runs of writes that can be undone, newest first, to take one back or
// to discard its undo data.
class dialog_undo_history : public QDialog {
    Q_OBJECT

public:
    struct run_row {
        QString id;
        QString when;
        QString what;
        QString folders;
        // Why undoing it needs care, e.g. photos written again later.
        QString warning;
    };
    enum class choice { none, undo, discard };

    dialog_undo_history(const std::vector<run_row>& rows, const QString& size_note, QWidget* parent = nullptr);

    choice chosen() const { return picked; }
    QString chosen_run() const { return picked_run; }

private:
    void pick(choice c);

    QTreeWidget* list = nullptr;
    kal::button* undo_button = nullptr;
    kal::button* discard_button = nullptr;
    choice picked = choice::none;
    QString picked_run;
};
