#pragma once

#include "map/map_content.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QComboBox;
class QItemSelectionModel;
class QLabel;
class QToolButton;
class table_data_model;

namespace Marble {
class MarbleWidget;
}

// The photos, the proposals and the track on a map, kept in step with the
// table and its selection: a click on a marker selects its photos, a right
// click or a drop of table rows places photos at the point.
class map_window : public QWidget {
    Q_OBJECT

public:
    explicit map_window(const table_data_model& table, QWidget* parent = nullptr);
    ~map_window() override;

    const map_content& content() const { return shown; }
    Marble::MarbleWidget* map() const { return marble; }

    // The table view's selection over the table; rows are photos. Shared:
    // the map shows it and changes it.
    void set_selection_model(QItemSelectionModel* selection);
    // One flag per row of the table, set for the selected ones.
    const std::vector<bool>& selected() const { return chosen; }

    // "plain" (offline) or "openstreetmap" (tiles from the network). Without
    // a choice of the user's, the latter when its tiles can be fetched.
    QString theme() const;
    void set_theme(const QString& name);

    // What a drag of table rows carries: the photos' paths, UTF-8, one a line.
    static QString photos_mime_type();

public slots:
    // Reads the table again; many calls in a row cost one reading.
    void refresh();
    // Shows every marker and the whole track.
    void fit_all();
    // Shows every position, own or proposed, of the selected photos.
    void fit_selection();
    // Whether the online map's tiles can be fetched, as a probe at the start
    // finds out; the map and its note follow it.
    void tiles_reachable(bool reachable);

signals:
    // The selected photos are to be put on this point.
    void place_here(double lat, double lon);
    // These photos were dragged from the table onto this point.
    void photos_dropped(const QStringList& paths, double lat, double lon);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class marker_layer;

    void rebuild();
    void read_selection();
    void probe_tiles();
    void fit(const map_content::box& area);
    void show_tool_tip(const QPoint& at);
    void click(const QPoint& at, bool add);
    void offer_position(const QPoint& at);
    bool drop(QEvent* event);

    const table_data_model& table;
    QPointer<QItemSelectionModel> selection;
    Marble::MarbleWidget* marble = nullptr;
    QComboBox* theme_choice = nullptr;
    QLabel* network_note = nullptr;
    QToolButton* button_fit = nullptr;
    QToolButton* button_fit_selection = nullptr;
    std::unique_ptr<marker_layer> layer;
    map_content shown;
    std::vector<bool> chosen;
    int chosen_count = 0;
    QPoint pressed_at;
    bool stale = true;
    bool rebuild_queued = false;
    bool fitted = false;
};
