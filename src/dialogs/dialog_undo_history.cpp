#include "dialogs/dialog_undo_history.h"

#include "toolkit/qt/widgets.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString dialog_style = QStringLiteral(
    "QDialog{background-color:rgb(47,47,47);}"
    "QLabel{color:rgb(198,213,210);}"
    "QTreeWidget{background:rgb(38,38,38);alternate-background-color:rgb(68,68,68);color:rgb(198,213,210);"
    "border:1px solid rgb(99,99,99);selection-background-color:rgb(91,91,91);}"
    "QHeaderView::section{background:rgb(47,47,47);color:rgb(198,213,210);border:none;"
    "border-bottom:1px solid rgb(99,99,99);padding:3px 6px;}"
    "kal--button{background:rgb(68,68,68);color:rgb(198,213,210);border:1px solid rgb(99,99,99);"
    "padding:3px 12px;}"
    "kal--button:disabled{color:rgb(99,99,99);}"
    "kal--button:pressed{background:rgb(38,38,38);}");

} // namespace

dialog_undo_history::dialog_undo_history(const std::vector<run_row>& rows, const QString& size_note, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Undo history"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setStyleSheet(dialog_style);
    resize(760, 360);

    list = new QTreeWidget;
    list->setObjectName(QStringLiteral("list_runs"));
    list->setRootIsDecorated(false);
    list->setAlternatingRowColors(true);
    list->setHeaderLabels({ tr("When"), tr("What"), tr("Folders"), tr("Note") });
    for (const run_row& row : rows) {
        auto* item = new QTreeWidgetItem({ row.when, row.what, row.folders, row.warning });
        item->setData(0, Qt::UserRole, row.id);
        item->setToolTip(2, row.folders);
        item->setToolTip(3, row.warning);
        list->addTopLevelItem(item);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(true);
    if (!rows.empty())
        list->setCurrentItem(list->topLevelItem(0));

    undo_button = new kal::button(tr("Undo this run"));
    undo_button->setObjectName(QStringLiteral("button_undo_run"));
    discard_button = new kal::button(tr("Discard its undo data"));
    discard_button->setObjectName(QStringLiteral("button_discard_run"));
    auto* close_button = new kal::button(tr("Close"));
    undo_button->setEnabled(!rows.empty());
    discard_button->setEnabled(!rows.empty());

    auto* note = new QLabel(size_note);
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: rgb(150,150,150);"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(undo_button);
    buttons->addWidget(discard_button);
    buttons->addStretch();
    buttons->addWidget(close_button);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->addWidget(new QLabel(rows.empty() ? tr("There is nothing to undo.")
                                              : tr("Runs of writes that can be taken back, newest first:")));
    column->addWidget(list, 1);
    column->addWidget(note);
    column->addLayout(buttons);

    connect(undo_button, &QAbstractButton::clicked, this, [this] { pick(choice::undo); });
    connect(discard_button, &QAbstractButton::clicked, this, [this] { pick(choice::discard); });
    connect(close_button, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { pick(choice::undo); });
}

void dialog_undo_history::pick(choice c)
{
    const QTreeWidgetItem* item = list->currentItem();
    if (!item)
        return;
    picked = c;
    picked_run = item->data(0, Qt::UserRole).toString();
    accept();
}
