#include "app/application.h"
#include "app/table_panel.h"
#include "model/table_data_model.h"
#include "app/drop_files_widget.h"
#include "exif/exif_cache.h"
#include "exif/exiftool.h"
#include "geo/camera_clock.h"
#include "map/map_window.h"

#include "../exif/test_files.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTimeZone>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebFrame>
#include <QWebView>

#include <functional>
#include <memory>

namespace {

// A photo taken at `time` ("2019:05:01 10:00:00"), with a position when lat/lon are given.
QString photo(const QDir& dir, const QString& name, const QString& time, const QString& lat = QString(),
    const QString& lon = QString())
{
    const QString path = dir.filePath(name);
    QStringList args { "-DateTimeOriginal=" + time };
    if (!lat.isEmpty())
        args << "-GPSLatitude=" + lat << "-GPSLatitudeRef=" + lat << "-GPSLongitude=" + lon
             << "-GPSLongitudeRef=" + lon;
    if (!test_files::make_image(path, 16, 12) || !test_files::tag(path, args))
        qWarning() << "cannot make" << path;
    return path;
}

// Runs `answer` on the next modal dialog once it is up.
void when_modal(std::function<void(QWidget*)> answer)
{
    QTimer::singleShot(20, [answer] {
        if (QWidget* modal = QApplication::activeModalWidget())
            answer(modal);
        else
            when_modal(answer);
    });
}

// Picks `path` in a file dialog the way a user types it.
void choose_file(QWidget* modal, const QString& path)
{
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialog->setDirectory(QFileInfo(path).absolutePath());
        dialog->selectFile(QFileInfo(path).fileName());
        if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(QFileInfo(path).fileName());
    }
    static_cast<QDialog*>(modal)->accept();
}

} // namespace

class tst_mainwindow : public QObject {
    Q_OBJECT

public:
    explicit tst_mainwindow(application& app)
        : app(app)
    {
    }

private Q_SLOTS:
    void init();
    void cleanup();
    void first_start_defaults();
    void mode_click_is_stored_data();
    void mode_click_is_stored();
    void loading_keeps_writable_files_directly_inside_a_folder();
    void unreadable_files_still_load_with_their_file_dates();
    void dropped_web_link_emits_empty_list();
    void typed_position_reaches_the_model();
    void time_limit_field_data();
    void time_limit_field();
    void file_open_events_load_while_the_window_is_shown();
    void command_line_paths_load_like_dropped_ones();
    void file_dialog_remembers_the_folder_before_reading();
    void load_arriving_during_a_load_joins_it();
    void reset_clears_table_and_metadata();
    void progress_advances_per_file_and_the_window_repaints();
    void help_toggles_and_shows_this_platforms_keys_data();
    void help_toggles_and_shows_this_platforms_keys();
    void shortcuts();
    void map_follows_the_table_and_picks_a_position();
    void settings_dialog_changes_the_date_column();
    void about_dialog_is_centred_and_credits_exiftool();
    void gpx_answers_data();
    void gpx_answers();
    void folder_choices_come_back();
    void dropped_track_among_photos();
    void track_fit_is_offered_data();
    void track_fit_is_offered();

private:
    MainWindow& window() { return app.main_window(); }
    QAbstractItemModel* model() { return window().findChild<QTableView*>("table_view")->model(); }
    QString gps_text(int row) { return model()->index(row, 2).data().toString(); }
    QString lat_lon_label(const QString& lat, const QString& lon);

    application& app;
    std::unique_ptr<QTemporaryDir> dir;
};

void tst_mainwindow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    window().on_button_reset_clicked();
}

void tst_mainwindow::cleanup()
{
    QLocale::setDefault(QLocale::c());
    window().set_camera_clock(camera_clock());
}

void tst_mainwindow::first_start_defaults()
{
    // The window was built before any setting existed.
    QVERIFY(window().findChild<QRadioButton*>("radio_gps_use_closest")->isChecked());
}

void tst_mainwindow::mode_click_is_stored_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("mode");
    QTest::newRow("previous") << "radio_gps_use_prev" << 0;
    QTest::newRow("closest") << "radio_gps_use_closest" << 2;
}

void tst_mainwindow::mode_click_is_stored()
{
    QFETCH(QString, radio);
    QFETCH(int, mode);
    window().findChild<QRadioButton*>(radio)->click();
    QCOMPARE(QSettings().value("sync_order").toInt(), mode);
    MainWindow reopened;
    QVERIFY(reopened.findChild<QRadioButton*>(radio)->isChecked());
}

void tst_mainwindow::loading_keeps_writable_files_directly_inside_a_folder()
{
    QDir d(dir->path());
    photo(d, "a.jpg", "2019:05:01 10:00:00");
    photo(d, "b.JPG", "2019:05:01 11:00:00");
    for (const char* name : { "archive.tar.gz", "notes.txt", "IMG_0001.AAE", "a.jpg.xmp", "clip.avi", ".hidden.jpg" }) {
        QFile f(d.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(d.mkdir("sub"));
    photo(QDir(d.filePath("sub")), "deeper.jpg", "2019:05:01 12:00:00");

    // What is not loaded is named in one box; hidden files are not.
    QString box_text;
    when_modal([&box_text](QWidget* modal) {
        box_text = static_cast<QMessageBox*>(modal)->text();
        static_cast<QDialog*>(modal)->accept();
    });
    window().load_files({ d.path() });
    QCOMPARE(model()->rowCount(), 2);
    QCOMPARE(model()->index(0, 0).data().toString(), QString("a.jpg"));
    QCOMPARE(model()->index(1, 0).data().toString(), QString("b.JPG"));
    // Sidecars are kinds ExifTool writes, but they belong to their photos.
    QVERIFY2(box_text.startsWith("5 files were not loaded") && box_text.contains("notes.txt (not a photo)")
            && box_text.contains("a.jpg.xmp (not a photo)")
            && box_text.contains("IMG_0001.AAE (not a photo)") && box_text.contains("clip.avi (ExifTool cannot write it)")
            && !box_text.contains("hidden"),
        qPrintable(box_text));

    // Loading again adds nothing.
    window().load_files({ d.filePath("a.jpg"), d.filePath("b.JPG") });
    QCOMPARE(model()->rowCount(), 2);
}

void tst_mainwindow::unreadable_files_still_load_with_their_file_dates()
{
    QDir d(dir->path());
    QFile text(d.filePath("letter.jpg"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a photo at all\n");
    text.close();
    QFile empty(d.filePath("empty.png"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();

    window().load_files({ text.fileName(), empty.fileName() });
    QCOMPARE(model()->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const QDateTime when = model()->index(row, 1).data(Qt::UserRole).toDateTime();
        QVERIFY(when.isValid());
        QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 600);
        QCOMPARE(gps_text(row), QString("?  -"));
    }
}

namespace {

// Qt delivers a drop only to the widget that accepted the drag's entry.
void drag_and_drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

} // namespace

void tst_mainwindow::dropped_web_link_emits_empty_list()
{
    QDir d(dir->path());
    const QString path = photo(d, "dropped.jpg", "2019:05:01 10:00:00");
    auto* drop = window().findChild<drop_files_widget*>("drop_widget");
    QSignalSpy dropped(drop, &drop_files_widget::files_dropped);

    drag_and_drop(drop, { QUrl("https://www.kaltrin.example/photo.jpg") });
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).toStringList(), QStringList());

    // A folder loads its photos; a file that is not there is named in one box.
    QString box_text;
    when_modal([&box_text](QWidget* modal) {
        box_text = static_cast<QMessageBox*>(modal)->text();
        static_cast<QDialog*>(modal)->accept();
    });
    drag_and_drop(drop, { QUrl::fromLocalFile(d.path()), QUrl::fromLocalFile(d.filePath("missing.jpg")) });
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.at(1).at(0).toStringList(), (QStringList { d.path(), d.filePath("missing.jpg") }));
    QCOMPARE(model()->rowCount(), 1);
    QCOMPARE(model()->index(0, 0).data(Qt::UserRole).toString(), path);
    QVERIFY2(box_text.startsWith("1 file was not loaded") && box_text.contains("missing.jpg (there is no such file)"),
        qPrintable(box_text));
}

QString tst_mainwindow::lat_lon_label(const QString& lat, const QString& lon)
{
    window().findChild<QLineEdit*>("lineedit_lat")->setText(lat);
    window().findChild<QLineEdit*>("lineedit_lon")->setText(lon);
    return gps_text(0);
}

void tst_mainwindow::typed_position_reaches_the_model()
{
    photo(QDir(dir->path()), "p.jpg", "2019:05:01 10:00:00");
    window().load_files({ QDir(dir->path()).filePath("p.jpg") });
    window().findChild<QRadioButton*>("radio_gps_set")->click();

    QCOMPARE(lat_lon_label("48°30'N", "11.5"), QString("=  48.5, 11.5"));
    QCOMPARE(*static_cast<table_data_model*>(model())->settings().typed, (lat_lon { 48.5, 11.5 }));
    // Out of range or unreadable: the last good position stays.
    QCOMPARE(lat_lon_label("91", "11.5"), QString("=  48.5, 11.5"));
    QCOMPARE(lat_lon_label("12.5X", "11.5"), QString("=  48.5, 11.5"));
    QCOMPARE(lat_lon_label(" -33.5 ", "151.25"), QString("=  -33.5, 151.25"));
    // A whole position pasted into the latitude field fills both.
    window().findChild<QLineEdit*>("lineedit_lat")->setText("12.5S 5.5W");
    QCOMPARE(gps_text(0), QString("=  -12.5, -5.5"));
    QCOMPARE(window().findChild<QLineEdit*>("lineedit_lon")->text(), QString("-5.5"));
    QCOMPARE(lat_lon_label("", "151.25"), QString("=  Clear GPS data"));
    window().findChild<QRadioButton*>("radio_gps_use_closest")->click();
}

void tst_mainwindow::time_limit_field_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("marker");
    QTest::newRow("empty: no limit") << ""
                                     << "↑";
    QTest::newRow("0: no limit") << "0"
                                 << "↑";
    QTest::newRow("60 min: source within") << "60"
                                           << "↑";
    QTest::newRow("5 min: source too far") << "5"
                                           << "?";
}

void tst_mainwindow::time_limit_field()
{
    QFETCH(QString, typed);
    QFETCH(QString, marker);
    QDir d(dir->path());
    window().load_files({ photo(d, "source.jpg", "2019:05:01 10:00:00", "48.5", "11.5"),
        photo(d, "target.jpg", "2019:05:01 10:30:00") });
    window().findChild<QRadioButton*>("radio_gps_use_prev")->click();
    auto* field = window().findChild<QLineEdit*>("lineedit_max_timedelta");
    field->setText("1");
    field->setText(typed);
    QVERIFY2(gps_text(1).startsWith(marker), qPrintable(gps_text(1)));
    field->clear();
    window().findChild<QRadioButton*>("radio_gps_use_closest")->click();
}

void tst_mainwindow::file_open_events_load_while_the_window_is_shown()
{
    QDir d(dir->path());
    photo(d, "one.jpg", "2019:05:01 10:00:00");
    photo(d, "two.jpg", "2019:05:01 10:01:00");

    window().hide();
    QFileOpenEvent hidden(d.path());
    QApplication::sendEvent(&app, &hidden);
    QCOMPARE(model()->rowCount(), 0);

    window().show();
    QFileOpenEvent shown(d.path());
    QApplication::sendEvent(&app, &shown);
    QTRY_COMPARE(model()->rowCount(), 2);
}

void tst_mainwindow::command_line_paths_load_like_dropped_ones()
{
    QDir d(dir->path());
    const QString single = photo(d, "single.jpg", "2019:05:01 10:00:00");
    QVERIFY(d.mkdir("folder"));
    photo(QDir(d.filePath("folder")), "inside.jpg", "2019:05:01 10:05:00");

    app.post_file_open_events({ single, d.filePath("folder"), "--not-a-path", d.filePath("missing.jpg") });
    QTRY_COMPARE(model()->rowCount(), 2);
    QCOMPARE(model()->index(1, 0).data().toString(), QString("inside.jpg"));
}

void tst_mainwindow::file_dialog_remembers_the_folder_before_reading()
{
    QDir d(dir->path());
    const QString path = photo(d, "chosen.jpg", "2019:05:01 10:00:00");
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QSettings().setValue(
        "last_image_load_path", QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    MainWindow fresh;
    QString stored_while_loading;
    QObject::connect(fresh.findChild<QTableView*>("table_view")->model(), &QAbstractItemModel::rowsInserted,
        this, [&] { stored_while_loading = QSettings().value("last_image_load_path").toString(); });
    QString opened_in;
    when_modal([path, &opened_in](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal))
            opened_in = dialog->directory().absolutePath();
        choose_file(modal, path);
    });
    fresh.on_button_load_files_clicked();
    QCOMPARE(opened_in, QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QCOMPARE(stored_while_loading, d.absolutePath());
    QCOMPARE(QSettings().value("last_image_load_path").toString(), d.absolutePath());
    QCOMPARE(fresh.findChild<QTableView*>("table_view")->model()->rowCount(), 1);

    // Cancelling changes nothing.
    when_modal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    fresh.on_button_load_files_clicked();
    QCOMPARE(fresh.findChild<QTableView*>("table_view")->model()->rowCount(), 1);
}

void tst_mainwindow::load_arriving_during_a_load_joins_it()
{
    QDir d(dir->path());
    const QString first = photo(d, "first.jpg", "2019:05:01 12:00:00");
    const QString second = photo(d, "second.jpg", "2019:05:01 09:00:00");
    bool nested = false;
    const auto connection = QObject::connect(model(), &QAbstractItemModel::rowsInserted, this, [&] {
        if (!nested) {
            nested = true;
            window().load_files({ second });
            // Queued: nothing was added inside the running load.
            QCOMPARE(model()->rowCount(), 1);
        }
    });
    window().load_files({ first });
    QObject::disconnect(connection);
    QCOMPARE(model()->rowCount(), 2);
    QCOMPARE(model()->index(0, 0).data().toString(), QString("second.jpg"));
    QVERIFY(!window().findChild<QProgressDialog*>("progress_load")->isVisible());
}

void tst_mainwindow::reset_clears_table_and_metadata()
{
    const QString path = photo(QDir(dir->path()), "r.jpg", "2019:05:01 10:00:00");
    window().load_files({ path });
    QCOMPARE(model()->rowCount(), 1);
    QVERIFY(exif_cache::instance()->gps_numbers(path));
    window().findChild<QAbstractButton*>("button_reset")->click();
    QCOMPARE(model()->rowCount(), 0);
    QVERIFY(!exif_cache::instance()->gps_numbers(path));
}

void tst_mainwindow::progress_advances_per_file_and_the_window_repaints()
{
    QDir d(dir->path());
    QStringList files;
    for (int i = 0; i < 150; ++i) {
        files << d.filePath(QString("burst_%1.jpg").arg(i, 3, 10, QChar('0')));
        QVERIFY(test_files::make_image(files.last(), 16, 12));
    }
    window().show();
    auto* progress = window().findChild<QProgressDialog*>("progress_load");
    auto* bar = progress->findChild<QProgressBar*>();
    QSignalSpy steps(bar, &QProgressBar::valueChanged);
    int paints = 0;
    struct paint_counter : QObject {
        int& count;
        explicit paint_counter(int& c)
            : count(c)
        {
        }
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++count;
            return false;
        }
    } counter(paints);
    progress->installEventFilter(&counter);

    window().load_files(files);
    QCOMPARE(model()->rowCount(), 150);
    QCOMPARE(bar->maximum(), 150);
    QVERIFY(steps.count() >= 150);
    QVERIFY(paints > 0);
    QTRY_VERIFY(!progress->isVisible());
}

void tst_mainwindow::help_toggles_and_shows_this_platforms_keys_data()
{
    QTest::addColumn<QLocale::Language>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("quit_keys");
    QTest::newRow("english") << QLocale::English << "Help - Vestra" << "Ctrl + Q or Alt + F4";
    QTest::newRow("german") << QLocale::German << "Hilfe - Vestra" << "Strg + Q oder Alt + F4";
    QTest::newRow("french gets english") << QLocale::French << "Help - Vestra" << "Ctrl + Q or Alt + F4";
}

void tst_mainwindow::help_toggles_and_shows_this_platforms_keys()
{
    QFETCH(QLocale::Language, language);
    QFETCH(QString, title);
    QFETCH(QString, quit_keys);
    QLocale::setDefault(QLocale(language));
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    auto help_windows = [] {
        QList<QWebView*> views;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* view = qobject_cast<QWebView*>(top))
                views << view;
        }
        return views;
    };
    const int before = help_windows().size();
    w.findChild<QAbstractButton*>("button_help")->click();
    QWebView* help = nullptr;
    for (QWebView* view : help_windows()) {
        if (view->isVisible())
            help = view;
    }
    QVERIFY(help);
    QCOMPARE(help_windows().size(), before + 1);
    QTRY_COMPARE(help->title(), title);
    const QString text = help->page()->mainFrame()->toPlainText();
    QVERIFY2(text.contains(quit_keys), qPrintable(text));
    QVERIFY(!text.contains("Cmd"));

    w.findChild<QAbstractButton*>("button_help")->click();
    QVERIFY(!help->isVisible());
    w.findChild<QAbstractButton*>("button_help")->click();
    QVERIFY(help->isVisible());
    QCOMPARE(help_windows().size(), before + 1);
}

void tst_mainwindow::shortcuts()
{
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    QString title;
    when_modal([&](QWidget* dialog) {
        title = dialog->windowTitle();
        static_cast<QDialog*>(dialog)->reject();
    });
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(title, QString("Select photos"));

    auto help_visible = [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QWebView*>(top) && top->isVisible())
                return true;
        }
        return false;
    };
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    QVERIFY(help_visible());
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_Question, Qt::ControlModifier);
    QVERIFY(!help_visible());
}

void tst_mainwindow::map_follows_the_table_and_picks_a_position()
{
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QString path = photo(QDir(dir->path()), "placed.jpg", "2019:05:01 10:00:00");
    QVERIFY(test_files::tag(
        path, { "-GPSLatitude=47.5", "-GPSLatitudeRef=N", "-GPSLongitude=11.25", "-GPSLongitudeRef=E" }));
    w.load_files({ path, photo(QDir(dir->path()), "later.jpg", "2019:05:01 10:05:00") });

    auto shown_map = [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* map = qobject_cast<map_window*>(top); map && map->isVisible())
                return map;
        }
        return static_cast<map_window*>(nullptr);
    };
    w.findChild<QAbstractButton*>("button_map")->click();
    map_window* map = shown_map();
    QVERIFY(map);
    QCOMPARE(map->theme(), QString("plain"));
    QTRY_COMPARE(int(map->content().markers.size()), 2);
    QCOMPARE(map->content().markers[0].what, map_content::kind::own);

    // The online map is a choice that is remembered; the offline one is back after.
    auto* maps = map->findChild<QComboBox*>();
    for (const QString theme : { "openstreetmap", "plain" }) {
        emit maps->activated(maps->findData(theme));
        QCOMPARE(map->theme(), theme);
        QCOMPARE(QSettings().value("map_theme").toString(), theme);
    }

    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(!shown_map());
    QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(shown_map(), map);

    // Picked on the map: only the selected photo takes the spot, by hand;
    // the mode stays.
    auto* table = w.findChild<QTableView*>("table_view")->model();
    const QString first = table->index(0, 2).data().toString();
    w.photos_panel()->select_paths({ table->index(1, 0).data(Qt::UserRole).toString() });
    emit map->place_here(-33.8567844, 151.2152967);
    QCOMPARE(table->index(1, 2).data().toString(), QString("◆  -33.856784, 151.215297"));
    QCOMPARE(table->index(0, 2).data().toString(), first);
    QVERIFY(!w.findChild<QRadioButton*>("radio_gps_set")->isChecked());

    w.on_button_reset_clicked();
    QTRY_VERIFY(map->content().markers.empty());
    w.findChild<QRadioButton*>("radio_gps_use_closest")->click();
}

void tst_mainwindow::settings_dialog_changes_the_date_column()
{
    window().load_files({ photo(QDir(dir->path()), "dated.jpg", "2019:05:01 10:00:00") });
    QCOMPARE(model()->index(0, 1).data().toString(), QString("01.05.2019 - 10:00:00"));
    when_modal([](QWidget* dialog) {
        for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
            if (radio->text() == "YYYY-MM-DD" || radio->text() == "hh:mm")
                radio->click();
        }
        static_cast<QDialog*>(dialog)->reject();
    });
    window().findChild<QAbstractButton*>("button_settings")->click();
    QCOMPARE(model()->index(0, 1).data().toString(), QString("2019-05-01 - 10:00"));
    QCOMPARE(QSettings().value("date_format").toString(), QString("yyyy-MM-dd"));

    // Back to the defaults for the other tests.
    when_modal([](QWidget* dialog) {
        for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
            if (radio->text() == "DD.MM.YYYY" || radio->text() == "hh:mm:ss")
                radio->click();
        }
        static_cast<QDialog*>(dialog)->reject();
    });
    window().findChild<QAbstractButton*>("button_settings")->click();
}

void tst_mainwindow::about_dialog_is_centred_and_credits_exiftool()
{
    window().show();
    QPoint about_centre;
    QStringList credits;
    when_modal([&](QWidget* about) {
        about_centre = about->geometry().center();
        QLabel* line = nullptr;
        for (QLabel* label : about->findChildren<QLabel*>()) {
            if (label->text().startsWith("Click here"))
                line = label;
        }
        if (!line) {
            static_cast<QDialog*>(about)->reject();
            return;
        }
        when_modal([&credits, about](QWidget* info) {
            for (QLabel* label : info->findChildren<QLabel*>())
                credits << label->text();
            static_cast<QDialog*>(info)->reject();
            QTimer::singleShot(0, about, [about] { static_cast<QDialog*>(about)->reject(); });
        });
        QTest::mouseClick(line, Qt::LeftButton);
    });
    window().findChild<QAbstractButton*>("button_about")->click();
    QCOMPARE(about_centre, window().geometry().center());
    QVERIFY2(credits.contains("Exiftool"), qPrintable(credits.join('|')));
    QVERIFY(credits.join('\n').contains("Vestra uses Exiftool by"));
}

void tst_mainwindow::gpx_answers_data()
{
    QTest::addColumn<QByteArray>("tracks");
    QTest::addColumn<QString>("answer"); // the warning's title, or the tracks offered
    QByteArray timed;
    for (int minute = 0; minute < 10; ++minute)
        timed += QStringLiteral("<trkpt lat=\"48.1\" lon=\"11.5\"><time>2019-05-01T10:0%1:00Z</time></trkpt>").arg(minute).toUtf8();
    QTest::newRow("routes only: a warning") << QByteArray("<rte><rtept lat=\"1\" lon=\"2\"/></rte>") << "Track file";
    // A track without times is shown, but cannot be picked.
    QTest::newRow("two tracks: a choice")
        << "<trk><name>A</name><trkseg>" + timed + "</trkseg></trk><trk><name>B</name><trkseg>"
            + QByteArray("<trkpt lat=\"48.1\" lon=\"11.5\"/>").repeated(3) + "</trkseg></trk>"
        << "All tracks (10 points)|A (10 points, 2019-05-01 10:00 to 10:09 UTC)|-B: no points with a time, cannot be matched";
}

void tst_mainwindow::gpx_answers()
{
    QFETCH(QByteArray, tracks);
    QFETCH(QString, answer);
    const QString path = QDir(dir->path()).filePath("walk.gpx");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<?xml version=\"1.0\"?><gpx>" + tracks + "</gpx>");
    f.close();

    QString seen;
    when_modal([path, &seen](QWidget* modal) {
        // A plain directory to start in, no made-up file name.
        QVERIFY(!static_cast<QFileDialog*>(modal)->selectedFiles().value(0).contains("dummy"));
        choose_file(modal, path);
        when_modal([&seen](QWidget* box) {
            QStringList entries;
            if (const auto* list = box->findChild<QListWidget*>("list_tracks")) {
                for (int i = 0; i < list->count(); ++i)
                    entries << (list->item(i)->flags() & Qt::ItemIsEnabled ? "" : "-") + list->item(i)->text();
            }
            seen = entries.isEmpty() ? box->windowTitle() : entries.join('|');
            static_cast<QDialog*>(box)->reject();
        });
    });
    window().on_button_load_gpx_clicked();
    QCOMPARE(seen, answer);
    QCOMPARE(QSettings().value("last_gpx_load_path").toString(), QDir(dir->path()).absolutePath());
}

// The track files and the camera clock chosen for a folder come back with
// its photos; one of several track files can be taken away.
void tst_mainwindow::folder_choices_come_back()
{
    const QDir d(dir->path());
    QStringList paths { photo(d, "a.jpg", "2019:05:01 10:05:00") };
    for (const char* name : { "one", "two" }) {
        QFile f(d.filePath(QString(name) + ".gpx"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("<?xml version=\"1.0\"?><gpx><trk><name>%1</name><trkseg>"
                               "<trkpt lat=\"48.1\" lon=\"11.5\"><time>2019-05-01T10:00:00Z</time></trkpt>"
                               "<trkpt lat=\"48.2\" lon=\"11.6\"><time>2019-05-01T10:10:00Z</time></trkpt>"
                               "</trkseg></trk></gpx>").arg(name).toUtf8());
        paths << f.fileName();
    }
    // Both files' tracks are offered; all of them, first in the list, are taken.
    when_modal([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
    window().load_files(paths);
    QCOMPARE(window().track_files().size(), 2);
    window().remove_track_file(paths[2]);
    QCOMPARE(window().track_files(), QStringList { paths[1] });
    QVERIFY(window().findChild<QLineEdit*>("lineedit_gpx_file")->text().startsWith("one: 2 points"));
    // A clock that keeps the photo on the track, so nothing is asked.
    camera_clock clock = *camera_clock::from_zone_text("UTC");
    clock.clock_offset = 60;
    window().set_camera_clock(clock);

    // Elsewhere, other choices; back in the folder, its own.
    window().on_button_reset_clicked();
    window().remove_track_file(QString());
    window().set_camera_clock(camera_clock());
    QVERIFY(window().track_files().isEmpty());
    window().load_files({ d.path() });
    QCOMPARE(window().track_files(), QStringList { paths[1] });
    QVERIFY(window().findChild<QLineEdit*>("lineedit_gpx_file")->text().startsWith("one: 2 points"));
    QCOMPARE(window().findChild<QLabel*>("label_camera_clock")->text(), QString("Camera: UTC+00:00, +00:01:00"));
    window().remove_track_file(QString());
}

// A track dropped with the photos is the photos' track: the track mode is
// chosen and nothing is named as not loaded.
void tst_mainwindow::dropped_track_among_photos()
{
    const QString track = QDir(dir->path()).filePath("walk.kml");
    QFile f(track);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"(<?xml version="1.0"?><kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2">
<Document><Placemark><gx:Track><when>2019-05-01T10:00:00Z</when><when>2019-05-01T10:10:00Z</when>
<gx:coord>11.5 48.1 500</gx:coord><gx:coord>11.6 48.2 510</gx:coord></gx:Track></Placemark></Document></kml>)");
    f.close();
    // Any box is closed and counted; the watch ends with the test.
    bool boxed = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&boxed] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            boxed = true;
            modal->reject();
        }
    });
    watch.start(20);
    window().load_files({ photo(QDir(dir->path()), "walk.jpg", "2019:05:01 10:05:00"), track });
    QTRY_COMPARE(model()->rowCount(), 1);
    QVERIFY(!boxed);
    QCOMPARE(window().findChild<QRadioButton*>("radio_gps_gpx")->isChecked(), true);
    QVERIFY2(window().findChild<QLineEdit*>("lineedit_gpx_file")->text().contains("2 points"),
        qPrintable(window().findChild<QLineEdit*>("lineedit_gpx_file")->text()));
}

// Photos two hours off a track recorded near Zurich: the camera showed
// Zurich's summer time. With the computer's zone (UTC here) the track's
// zone is offered; with the camera's zone set to UTC, a clock offset.
void tst_mainwindow::track_fit_is_offered_data()
{
    QTest::addColumn<QString>("camera_zone");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("clock_after");
    QTest::newRow("the zone of the track's place") << "local" << "Use Europe/Zurich" << "Europe/Zurich +00:00:00";
    QTest::newRow("a clock offset") << "UTC" << "Use it" << "UTC +02:00:00";
}

void tst_mainwindow::track_fit_is_offered()
{
    QFETCH(QString, camera_zone);
    QFETCH(QString, answer);
    QFETCH(QString, clock_after);
    if (QTimeZone::systemTimeZone().offsetFromUtc(QDateTime(QDate(2019, 5, 1), QTime(10, 0), Qt::UTC)) != 0)
        QSKIP("the case needs a computer on UTC");
    window().on_button_reset_clicked();
    window().set_camera_clock(*camera_clock::from_zone_text(camera_zone));

    const QDir d(dir->path());
    QStringList paths;
    for (int minute = 0; minute <= 10; minute += 2)
        paths << photo(d, QStringLiteral("z%1.jpg").arg(minute), QStringLiteral("2019:05:01 10:%1:00").arg(minute, 2, 10, QChar('0')));
    QByteArray points;
    for (int minute = 0; minute <= 10; ++minute)
        points += QStringLiteral("<trkpt lat=\"47.37%1\" lon=\"8.54\"><time>2019-05-01T08:%2:00Z</time></trkpt>")
                      .arg(minute, 2, 10, QChar('0'))
                      .arg(minute, 2, 10, QChar('0'))
                      .toUtf8();
    QFile track(d.filePath("zurich.gpx"));
    QVERIFY(track.open(QIODevice::WriteOnly));
    track.write("<?xml version=\"1.0\"?><gpx><trk><trkseg>" + points + "</trkseg></trk></gpx>");
    track.close();

    QString asked;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&asked, &answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked = box->text();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == answer)
                button->click();
        }
        if (box->isVisible())
            box->reject();
    });
    watch.start(20);
    window().load_files(paths << track.fileName());
    QVERIFY2(asked.startsWith("6 of 6 photos lie outside the track.") && asked.contains("all 6 match"), qPrintable(asked));
    const QString label = window().findChild<QLabel*>("label_camera_clock")->text();
    QVERIFY2(label.contains(clock_after.section(' ', 0, 0)) && label.contains(clock_after.section(' ', 1)), qPrintable(label));
    QCOMPARE(gps_text(0).left(1), QString("•"));
    window().set_camera_clock(camera_clock());
}

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setApplicationName("Vestra");
    QStandardPaths::setTestModeEnabled(true);
    // Every run starts as a first start.
    QSettings().clear();
    application app(argc, argv);
    app.main_window().show();
    tst_mainwindow tc(app);
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_mainwindow.moc"
