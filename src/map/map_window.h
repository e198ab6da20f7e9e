#pragma once

#include "map/map_content.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QToolButton;
class table_data_model;

namespace Marble {
class MarbleWidget;
}

// The photos, the proposals and the track on a map, kept in step with the
// table. A right click offers the point under the mouse as the typed position.
class map_window : public QWidget {
    Q_OBJECT

public:
    explicit map_window(const table_data_model& table, QWidget* parent = nullptr);
    ~map_window() override;

    const map_content& content() const { return shown; }
    Marble::MarbleWidget* map() const { return marble; }

    // "plain" (offline, the default) or "openstreetmap" (tiles from the network).
    QString theme() const;
    void set_theme(const QString& name);

public slots:
    // Reads the table again; many calls in a row cost one reading.
    void refresh();
    // Shows every marker and the whole track.
    void fit_all();

signals:
    void position_chosen(double lat, double lon);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class marker_layer;

    void rebuild();
    void show_tool_tip(const QPoint& at);
    void offer_position(const QPoint& at);

    const table_data_model& table;
    Marble::MarbleWidget* marble = nullptr;
    QComboBox* theme_choice = nullptr;
    QToolButton* button_fit = nullptr;
    std::unique_ptr<marker_layer> layer;
    map_content shown;
    bool stale = true;
    bool rebuild_queued = false;
    bool fitted = false;
};
