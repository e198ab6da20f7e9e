#include "app/sync_panel.h"

#include "toolkit/qt/layout.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(sync_mode)
Q_DECLARE_METATYPE(gps_data)

namespace {

gps_data point(double lat, double lon, const QString& utc)
{
    gps_data p;
    p.latitude = lat;
    p.longitude = lon;
    p.msecs = QDateTime::fromString(utc, Qt::ISODate).toMSecsSinceEpoch();
    return p;
}

} // namespace

class tst_sync_panel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void show_mode_data() { modes(); }
    void show_mode();
    void click_reports_mode_data() { modes(); }
    void click_reports_mode();
    void track_text_data();
    void track_text();
    void camera_clock_text();
    void controls_report_data();
    void controls_report();
    void town_fills_the_position();

private:
    static void modes();
    template <typename W> W* find(const QString& name) { return host->findChild<W*>(name); }

    // The two halves placed on a window, as the main window places them.
    std::unique_ptr<QWidget> host;
    sync_panel* panel = nullptr;
};

void tst_sync_panel::init()
{
    host = std::make_unique<QWidget>();
    panel = new sync_panel(host.get());
    auto* grid = new ktk::qt::layout(host.get(), 2, false);
    grid->add(panel->copy_modes());
    grid->add(panel->other_sources());
    host->resize(925, 300);
    host->show();
}

void tst_sync_panel::modes()
{
    QTest::addColumn<sync_mode>("mode");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("placeholder");

    QTest::newRow("previous") << sync_mode::previous << "radio_gps_use_prev"
                              << "";
    QTest::newRow("next") << sync_mode::next << "radio_gps_use_next"
                          << "";
    QTest::newRow("closest") << sync_mode::closest << "radio_gps_use_closest"
                             << "";
    QTest::newRow("typed") << sync_mode::typed << "radio_gps_set"
                           << "";
    QTest::newRow("track: its default limit shows") << sync_mode::track << "radio_gps_gpx"
                                                    << "30";
    QTest::newRow("none: no radio") << sync_mode::none << ""
                                    << "";
}

void tst_sync_panel::show_mode()
{
    QFETCH(sync_mode, mode);
    QFETCH(QString, radio);
    QFETCH(QString, placeholder);

    panel->show_mode(sync_mode::track);
    panel->show_mode(mode);
    const QList<QRadioButton*> radios = host->findChildren<QRadioButton*>(QRegularExpression("^radio_gps"));
    QCOMPARE(radios.size(), 5);
    for (QRadioButton* r : radios)
        QCOMPARE(r->isChecked(), r->objectName() == radio);
    QCOMPARE(find<QLineEdit>("lineedit_max_timedelta")->placeholderText(), placeholder);
}

void tst_sync_panel::click_reports_mode()
{
    QFETCH(sync_mode, mode);
    QFETCH(QString, radio);
    if (radio.isEmpty())
        QSKIP("no radio stands for no mode");

    QList<sync_mode> chosen;
    connect(panel, &sync_panel::mode_chosen, this, [&chosen](sync_mode m) { chosen << m; });
    // The chosen mode again is reported too: the window stores it on every click.
    find<QRadioButton>(radio)->click();
    find<QRadioButton>(radio)->click();
    QCOMPARE(chosen, (QList<sync_mode> { mode, mode }));
}

void tst_sync_panel::track_text_data()
{
    QTest::addColumn<QVector<gps_data>>("points");
    QTest::addColumn<QString>("text");

    QTest::newRow("no track: cleared") << QVector<gps_data> {} << "";
    QTest::newRow("one point") << QVector<gps_data> { point(48, 11, "2019-05-01T08:00:00Z") }
                               << "Walk: 1 point, 2019-05-01 08:00:00 to 2019-05-01 08:00:00 UTC";
    QTest::newRow("points in any order") << QVector<gps_data> { point(48.1, 11.1, "2019-05-01T09:30:15Z"),
        point(48, 11, "2019-05-01T08:00:00Z"), point(48.2, 11.2, "2019-05-01T09:00:00Z") }
                                         << "Walk: 3 points, 2019-05-01 08:00:00 to 2019-05-01 09:30:15 UTC";
}

void tst_sync_panel::track_text()
{
    QFETCH(QVector<gps_data>, points);
    QFETCH(QString, text);

    auto* field = find<QLineEdit>("lineedit_gpx_file");
    field->setText("an earlier track");
    panel->show_track("Walk", gps_track({ track_data { "Walk", points } }), "yyyy-MM-dd hh:mm:ss");
    QCOMPARE(field->text(), text);
    QCOMPARE(field->placeholderText(), QString("No track loaded"));
    if (!text.isEmpty()) {
        QCOMPARE(field->toolTip(), text);
        QCOMPARE(field->cursorPosition(), 0);
    }
}

void tst_sync_panel::camera_clock_text()
{
    camera_clock clock = *camera_clock::from_zone_text("UTC+02:00");
    clock.clock_offset = -90;
    panel->show_camera_clock(clock);
    auto* label = find<QLabel>("label_camera_clock");
    QCOMPARE(label->text(), QString("Camera: UTC+02:00, -00:01:30"));
    QVERIFY2(
        label->toolTip().contains("set to UTC+02:00 and ran -00:01:30 ahead"), qPrintable(label->toolTip()));
}

void tst_sync_panel::controls_report_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("track button") << "button_load_gpx" << QByteArray(SIGNAL(load_track_clicked()));
    QTest::newRow("track for every photo")
        << "checkbox_use_gpx" << QByteArray(SIGNAL(track_overwrites_toggled(bool)));
    QTest::newRow("clock button") << "button_camera_clock" << QByteArray(SIGNAL(camera_clock_clicked()));
    QTest::newRow("clock label") << "label_camera_clock" << QByteArray(SIGNAL(camera_clock_clicked()));
    QTest::newRow("removal link") << "label_delete_gps" << QByteArray(SIGNAL(remove_gps_clicked()));
}

void tst_sync_panel::controls_report()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, signal);

    QSignalSpy spy(panel, signal.constData());
    QWidget* widget = find<QWidget>(control);
    QVERIFY(widget);
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->click();
    else
        QTest::mouseClick(widget, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    if (control == "checkbox_use_gpx")
        QCOMPARE(spy.at(0).at(0).toBool(), true);
}

void tst_sync_panel::town_fills_the_position()
{
    std::optional<lat_lon> position;
    connect(panel, &sync_panel::position_typed, this, [&position](const std::optional<lat_lon>& p) { position = p; });
    auto* lat = find<QLineEdit>("lineedit_lat");
    lat->setFocus();
    QTest::keyClicks(lat, "Reykj");
    QAbstractItemModel* offered = lat->completer()->completionModel();
    QVERIFY(offered->rowCount() >= 1);
    QVERIFY2(offered->index(0, 0).data().toString().startsWith("Reykjav"), qPrintable(offered->index(0, 0).data().toString()));
    // Numbers and hemisphere letters offer nothing.
    lat->clear();
    QTest::keyClicks(lat, "12 N");
    QCOMPARE(lat->completer()->completionModel()->rowCount(), 0);

    lat->clear();
    QTest::keyClicks(lat, "Reykj");
    QAbstractItemView* popup = lat->completer()->popup();
    popup->setCurrentIndex(lat->completer()->completionModel()->index(0, 0));
    QTest::keyClick(popup, Qt::Key_Return);
    QTRY_VERIFY(position);
    QVERIFY(position && qAbs(position->first - 64.1355) < 0.01 && qAbs(position->second + 21.8954) < 0.01);
    QCOMPARE(find<QLineEdit>("lineedit_lat")->text(), QString("64.135480"));
}

QTEST_MAIN(tst_sync_panel)
#include "tst_sync_panel.moc"
