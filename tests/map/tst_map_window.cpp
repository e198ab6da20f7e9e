#include "map/map_window.h"

#include "model/table_data_model.h"

#include <marble/MarbleWidget.h>

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QtTest>

#include <memory>

// The map and the table's selection: markers select photos, the selection
// shows on the map, and the map's menu and drops place photos.
class tst_map_window : public QObject {
    Q_OBJECT

    // Two photos on one spot, one on another, one without; all typed to a third.
    struct fixture {
        table_data_model table;
        QItemSelectionModel selection { &table };
        std::unique_ptr<map_window> map;

        fixture()
        {
            auto photo = [](const char* path, const char* time, std::optional<lat_lon> own) {
                photo_facts p;
                p.path = QString::fromLatin1(path);
                p.taken = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
                p.time_from = time_source::camera;
                p.own = own;
                return p;
            };
            table.add_photos({ photo("/p/a.jpg", "2019-05-01T08:00:00", lat_lon { 47.1, 11.1 }),
                photo("/p/b.jpg", "2019-05-01T08:01:00", lat_lon { 47.1, 11.1 }),
                photo("/p/c.jpg", "2019-05-01T09:00:00", lat_lon { 47.2, 11.3 }),
                photo("/p/d.jpg", "2019-05-01T10:00:00", std::nullopt) });
            table.set_typed_position(lat_lon { 47.15, 11.2 });
            table.set_mode(sync_mode::typed);
            map = std::make_unique<map_window>(table);
            map->set_selection_model(&selection);
            map->show();
            if (QTest::qWaitForWindowExposed(map.get())) {
                map->fit_all();
                map->map()->repaint();
            }
        }

        QPoint spot(const QString& name) const
        {
            const std::map<QString, lat_lon> places = { { "own", { 47.1, 11.1 } },
                { "other", { 47.2, 11.3 } }, { "typed", { 47.15, 11.2 } }, { "empty", { 47.1, 11.3 } } };
            const lat_lon at = places.at(name);
            qreal x = 0;
            qreal y = 0;
            map->map()->screenCoordinates(at.second, at.first, x, y);
            return QPointF(x, y).toPoint();
        }

        void select(const QList<int>& rows)
        {
            selection.clear();
            for (const int row : rows)
                selection.select(
                    table.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }

        QList<int> selected_rows() const
        {
            QList<int> rows;
            for (const QModelIndex& index : selection.selectedRows())
                rows << index.row();
            std::sort(rows.begin(), rows.end());
            return rows;
        }

        // Whether the light ring of a selected marker is drawn around this point.
        bool ringed(const QPoint& at) const
        {
            const QImage image = map->map()->grab().toImage();
            for (int dx = -12; dx <= 12; ++dx) {
                for (int dy = -12; dy <= 12; ++dy) {
                    const QColor c = image.pixelColor(at + QPoint(dx, dy));
                    if (c.red() > 220 && c.green() > 200 && c.blue() < 130)
                        return true;
                }
            }
            return false;
        }
    };

private slots:
    void init() { QSettings().clear(); }

    void clicks_select_and_the_map_shows_it_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QList<int>>("after");
        QTest::addColumn<QStringList>("ringed");

        QTest::newRow("a spot of two")
            << QList<int> {} << "own" << false << QList<int> { 0, 1 } << QStringList { "own", "typed" };
        QTest::newRow("another spot replaces") << QList<int> { 0, 1 } << "other" << false << QList<int> { 2 }
                                               << QStringList { "other", "typed" };
        QTest::newRow("ctrl adds") << QList<int> { 2 } << "own" << true << QList<int> { 0, 1, 2 }
                                   << QStringList { "own", "other", "typed" };
        QTest::newRow("the typed spot stands for all")
            << QList<int> {} << "typed" << false << QList<int> { 0, 1, 2, 3 }
            << QStringList { "own", "other", "typed" };
        QTest::newRow("empty map keeps the selection")
            << QList<int> { 2 } << "empty" << false << QList<int> { 2 } << QStringList { "other", "typed" };
    }

    void clicks_select_and_the_map_shows_it()
    {
        QFETCH(QList<int>, before);
        QFETCH(QString, clicked);
        QFETCH(bool, ctrl);
        QFETCH(QList<int>, after);
        QFETCH(QStringList, ringed);

        fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.map.get()));
        f.select(before);
        QTest::mouseClick(
            f.map->map(), Qt::LeftButton, ctrl ? Qt::ControlModifier : Qt::NoModifier, f.spot(clicked));
        QCOMPARE(f.selected_rows(), after);
        for (const QString spot : { "own", "other", "typed" })
            QVERIFY2(f.ringed(f.spot(spot)) == ringed.contains(spot), qPrintable(spot));
    }

    void menu_places_the_selection_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("text");

        QTest::newRow("none: disabled") << QList<int> {} << "Place the selected photos here";
        QTest::newRow("one") << QList<int> { 3 } << "Place the selected photo here";
        QTest::newRow("three") << QList<int> { 0, 2, 3 } << "Place the 3 selected photos here";
    }

    void menu_places_the_selection()
    {
        QFETCH(QList<int>, selected);
        QFETCH(QString, text);

        fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.map.get()));
        f.select(selected);
        QSignalSpy placed(f.map.get(), &map_window::place_here);
        bool enabled = false;
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QAction* place = menu ? menu->findChild<QAction*>("place_here") : nullptr;
            if (!place)
                return;
            enabled = place->isEnabled();
            shown = place->text();
            if (enabled)
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(place).center());
            else
                menu->close();
        });
        QTest::mouseClick(f.map->map(), Qt::RightButton, Qt::NoModifier, f.spot("empty"));
        QCOMPARE(shown, text);
        QCOMPARE(enabled, !selected.isEmpty());
        QCOMPARE(placed.count(), enabled ? 1 : 0);
        if (enabled) {
            QVERIFY(std::abs(placed[0][0].toDouble() - 47.1) < 0.01);
            QVERIFY(std::abs(placed[0][1].toDouble() - 11.3) < 0.01);
        }
    }

    void dropped_rows_are_placed_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("table rows") << map_window::photos_mime_type()
                                    << QStringList { "/p/a b.jpg", "/p/ü.jpg" };
        QTest::newRow("other data") << "text/plain" << QStringList {};
    }

    void dropped_rows_are_placed()
    {
        QFETCH(QString, type);
        QFETCH(QStringList, expected);

        fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.map.get()));
        QSignalSpy dropped(f.map.get(), &map_window::photos_dropped);
        QMimeData data;
        data.setData(type, QString::fromUtf8("/p/a b.jpg\r\n/p/ü.jpg\n").toUtf8());
        const QPoint at = f.spot("empty");
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.map->map(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.map->map(), &drop);
        if (expected.isEmpty()) {
            QCOMPARE(dropped.count(), 0);
            return;
        }
        QVERIFY(enter.isAccepted() && drop.isAccepted());
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped[0][0].toStringList(), expected);
        QVERIFY(std::abs(dropped[0][1].toDouble() - 47.1) < 0.01);
        QVERIFY(std::abs(dropped[0][2].toDouble() - 11.3) < 0.01);
    }

    // The online map is the default where its tiles come; a choice of the
    // user's stands either way.
    void theme_follows_the_network_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("theme");
        QTest::addColumn<QString>("note");

        QTest::newRow("default, online") << "" << true << "openstreetmap"
                                         << "";
        QTest::newRow("default, offline") << "" << false << "plain"
                                          << "Offline: the plain map";
        QTest::newRow("plain chosen, online") << "plain" << true << "plain"
                                              << "";
        QTest::newRow("online map chosen, offline") << "openstreetmap" << false << "openstreetmap"
                                                    << "Offline: no new tiles";
    }

    void theme_follows_the_network()
    {
        QFETCH(QString, stored);
        QFETCH(bool, reachable);
        QFETCH(QString, theme);
        QFETCH(QString, note);

        if (!stored.isEmpty())
            QSettings().setValue("map_theme", stored);
        table_data_model table;
        map_window map(table);
        map.tiles_reachable(reachable);
        QCOMPARE(map.theme(), theme);
        auto* label = map.findChild<QLabel*>("network_note");
        QCOMPARE(label->isVisibleTo(&map) ? label->text() : QString(), note);
        QCOMPARE(QSettings().value("map_theme").toString(), stored);
    }
};

QTEST_MAIN(tst_map_window)
#include "tst_map_window.moc"
