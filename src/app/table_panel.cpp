#include "app/table_panel.h"

#include "app/styles.h"
#include "model/table_data_model.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int pane_width = 250;

const QString pane_style = QStringLiteral(
    "QWidget#photo_pane{background:rgb(47,47,47);border-left:1px solid rgb(20,20,20);}"
    "QLabel{color:rgb(198,213,210);}");
const QString line_style = QStringLiteral(
    "QWidget#table_footer{background:rgb(47,47,47);border-top:1px solid rgb(20,20,20);}"
    "QLabel, QCheckBox{color:rgb(198,213,210);}");

QString legend_text()
{
    return QObject::tr("← own   ↑↓ from the photo above / below   • track point   ≈ between track points   "
                       "= typed   ◆ set by hand   ∅ left out   ? none");
}

} // namespace

table_panel::table_panel(table_data_model& model, QObject* parent)
    : QObject(parent)
    , model(model)
{
    table = styles::make_table_view(&model);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setFocusPolicy(Qt::StrongFocus);
    // Rows are dragged onto the map; nothing is dropped here.
    table->setDragEnabled(true);
    table->setDragDropMode(QAbstractItemView::DragOnly);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, &table_panel::show_context_menu);

    picture = new QLabel;
    picture->setObjectName(QStringLiteral("label_preview"));
    picture->setAlignment(Qt::AlignCenter);
    picture->setFixedSize(pane_width - 20, 170);
    details = new QLabel;
    details->setObjectName(QStringLiteral("label_photo_details"));
    details->setWordWrap(true);
    details->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* pane = new QWidget;
    pane->setObjectName(QStringLiteral("photo_pane"));
    pane->setAttribute(Qt::WA_StyledBackground);
    pane->setStyleSheet(pane_style);
    pane->setFixedWidth(pane_width);
    auto* pane_column = new QVBoxLayout(pane);
    pane_column->setContentsMargins(10, 10, 10, 10);
    pane_column->addWidget(picture);
    pane_column->addWidget(details, 1);

    summary = new QLabel;
    summary->setObjectName(QStringLiteral("label_summary"));
    summary->hide();
    only_without = new QCheckBox(tr("Only photos without a position"));
    only_without->setObjectName(QStringLiteral("checkbox_only_without_position"));
    auto* legend = new QLabel(legend_text());
    legend->setObjectName(QStringLiteral("label_legend"));
    legend->setStyleSheet(QStringLiteral("color: rgb(140,150,148);"));
    legend->setToolTip(tr("← the photo's own position\n↑ from the photo above it in the list\n↓ from the photo below it\n"
                          "• from a point of the track\n≈ between two points of the track\n= the typed position\n"
                          "◆ set by hand for this photo\n∅ left out of the write\n? no position: hover over it for why"));
    auto* footer = new QWidget;
    footer->setObjectName(QStringLiteral("table_footer"));
    footer->setAttribute(Qt::WA_StyledBackground);
    footer->setStyleSheet(line_style);
    auto* footer_column = new QVBoxLayout(footer);
    footer_column->setContentsMargins(10, 3, 10, 3);
    footer_column->setSpacing(2);
    footer_column->addWidget(summary);
    auto* footer_row = new QHBoxLayout;
    footer_row->addWidget(only_without);
    footer_row->addSpacing(16);
    footer_row->addWidget(legend, 1);
    footer_column->addLayout(footer_row);

    container = new QWidget;
    auto* column = new QVBoxLayout(container);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(table, 1);
    row->addWidget(pane);
    column->addLayout(row, 1);
    column->addWidget(footer);

    preview_delay = new QTimer(this);
    preview_delay->setSingleShot(true);
    // Moving through the rows with the keys decodes only where it stops.
    preview_delay->setInterval(80);
    connect(preview_delay, &QTimer::timeout, this, &table_panel::show_selected);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, preview_delay,
        QOverload<>::of(&QTimer::start));
    connect(&model, &QAbstractItemModel::layoutChanged, this, [this] {
        apply_filter();
        show_selected();
    });
    connect(&model, &QAbstractItemModel::modelReset, this, &table_panel::show_selected);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &table_panel::apply_filter);
    connect(only_without, &QCheckBox::toggled, this, &table_panel::apply_filter);

    auto* leave_out = new QShortcut(QKeySequence::Delete, table);
    leave_out->setContext(Qt::WidgetShortcut);
    connect(leave_out, &QShortcut::activated, this, [this] { this->model.set_left_out(selected_paths(), true); });
    show_selected();
}

QStringList table_panel::selected_paths() const
{
    QList<int> rows;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList paths;
    for (const int row : rows)
        paths << model.photos()[std::size_t(row)].path;
    return paths;
}

void table_panel::select_paths(const QStringList& paths)
{
    QItemSelection selection;
    for (const QString& path : paths) {
        const int row = model.row_of(path);
        if (row >= 0)
            selection.select(model.index(row, 0), model.index(row, model.columnCount() - 1));
    }
    table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        table->scrollTo(selection.first().topLeft());
}

void table_panel::show_summary(const QString& text)
{
    summary->setText(text);
    summary->setVisible(!text.isEmpty());
}

void table_panel::set_only_without_position(bool on)
{
    only_without->setChecked(on);
}

void table_panel::apply_filter()
{
    // A large table is rebuilt on every key typed in a field: rows are only
    // walked while the filter is on, or once to show them again.
    const bool only = only_without->isChecked();
    if (!only && !rows_hidden)
        return;
    for (int row = 0; row < model.rowCount(); ++row)
        table->setRowHidden(row, only && model.has_position(row));
    rows_hidden = only;
}

void table_panel::show_context_menu(const QPoint& at)
{
    const QStringList paths = selected_paths();
    if (paths.isEmpty())
        return;
    bool any_left_out = false;
    bool any_included = false;
    bool any_manual = false;
    for (const QString& path : paths) {
        const photo_decision decision = model.settings().decisions.value(path);
        (decision.left_out ? any_left_out : any_included) = true;
        any_manual = any_manual || decision.position.has_value();
    }
    const QString count = paths.size() == 1 ? QFileInfo(paths.first()).fileName() : tr("%1 photos").arg(paths.size());
    QMenu menu(table);
    menu.setObjectName(QStringLiteral("menu_photos"));
    menu.addSection(count);
    if (any_included)
        menu.addAction(tr("Leave out of the write"), this, [this, paths] { model.set_left_out(paths, true); });
    if (any_left_out)
        menu.addAction(tr("Include in the write"), this, [this, paths] { model.set_left_out(paths, false); });
    menu.addAction(tr("Set position…"), this, [this, paths] { emit set_position_requested(paths); });
    if (any_manual)
        menu.addAction(tr("Take back the position set by hand"), this,
            [this, paths] { model.set_manual_position(paths, std::nullopt); });
    menu.addSeparator();
    menu.addAction(tr("Show on the map"), this, &table_panel::show_on_map_requested);
    menu.addAction(tr("Remove GPS data from these photos…"), this, [this, paths] { emit remove_gps_requested(paths); });
    menu.exec(table->viewport()->mapToGlobal(at));
}

void table_panel::show_selected()
{
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.size() != 1) {
        pictured_path.clear();
        picture->setPixmap(QPixmap());
        picture->hide();
        details->setText(rows.isEmpty() ? tr("Select a photo to see it here.") + QStringLiteral("<br><br>")
                    + tr("Right-click the selected photos to leave them out, set their position or remove their "
                         "GPS data, or drag them onto the map.")
                                        : tr("%1 photos selected.").arg(rows.size()) + QStringLiteral("<br><br>")
                    + tr("Right-click them to leave them out, set their position or remove their GPS data."));
        return;
    }
    picture->show();
    const int row = rows.first().row();
    const photo_facts& photo = model.photos()[std::size_t(row)];
    if (photo.path != pictured_path) {
        pictured_path = photo.path;
        QImageReader reader(photo.path);
        reader.setAutoTransform(true);
        const QSize full = reader.size();
        if (full.isValid())
            reader.setScaledSize(full.scaled(picture->size(), Qt::KeepAspectRatio));
        const QImage image = photo.kind == file_kind::video ? QImage() : reader.read();
        if (image.isNull()) {
            picture->setPixmap(QPixmap());
            picture->setText(photo.kind == file_kind::video ? tr("A video: no picture shown") : tr("No picture for this file"));
        } else {
            picture->setPixmap(QPixmap::fromImage(image.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        }
    }
    const assignment& a = model.results()[std::size_t(row)];
    QStringList lines;
    lines << QStringLiteral("<b>%1</b>").arg(QFileInfo(photo.path).fileName().toHtmlEscaped());
    lines << model.time_text(row).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    lines << tr("Own position: %1")
                 .arg(photo.own ? table_data_model::position_text(*photo.own) : tr("none"));
    if (a.proposed)
        lines << tr("Proposed: %1").arg(a.position ? table_data_model::position_text(*a.position) : tr("no position"));
    const QString source = model.source_text(row);
    lines << (source.left(1).toUpper() + source.mid(1)).toHtmlEscaped();
    if (!photo.read_error.isEmpty())
        lines << photo.read_error.toHtmlEscaped();
    details->setText(lines.join(QStringLiteral("<br><br>")));
}
