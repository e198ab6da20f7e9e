#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLabel;
class QTableView;
class QTimer;
class QWidget;
class table_data_model;

// The photos' table with what goes with it: the pane showing the selected
// photo, the markers' legend, the filter and the last write's summary. Per
// photo decisions are made here through the model; what needs the window
// (asking, writing) is handed on.
class table_panel : public QObject {
    Q_OBJECT

public:
    table_panel(table_data_model& model, QObject* parent);

    QWidget* widget() const { return container; }
    QTableView* view() const { return table; }
    // The paths of the selected rows, in row order.
    QStringList selected_paths() const;
    void select_paths(const QStringList& paths);
    // One line under the table about the last write; empty hides it.
    void show_summary(const QString& text);
    void set_only_without_position(bool on);

Q_SIGNALS:
    void set_position_requested(const QStringList& paths);
    void remove_gps_requested(const QStringList& paths);
    void show_on_map_requested();

private:
    void show_context_menu(const QPoint& at);
    void apply_filter();
    void show_selected();

    table_data_model& model;
    QWidget* container = nullptr;
    QTableView* table = nullptr;
    QLabel* picture = nullptr;
    QLabel* details = nullptr;
    QLabel* summary = nullptr;
    QCheckBox* only_without = nullptr;
    QTimer* preview_delay = nullptr;
    QString pictured_path;
    bool rows_hidden = false;
};
