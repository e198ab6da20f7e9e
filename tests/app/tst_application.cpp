#include "app/application.h"

#include <QAbstractButton>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {

// Closes the next modal message box and remembers its title and text.
struct message_box_catcher {
    QString title;
    QString text;

    void arm()
    {
        QTimer::singleShot(50, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                arm();
                return;
            }
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
    }
};

struct empty_what : std::exception {
    const char* what() const noexcept override { return ""; }
};

} // namespace

class tst_application : public QObject {
    Q_OBJECT

public:
    explicit tst_application(application& app)
        : app(app)
    {
    }

private Q_SLOTS:
    void identity();
    void frame();
    void non_file_open_events_reach_the_main_window_base();
    void compiled_in_resources_data();
    void compiled_in_resources();
    void fatal_error_ends_with_dialog_and_exit_code_1_data();
    void fatal_error_ends_with_dialog_and_exit_code_1();
    void normal_quit_gives_exit_code_0();

private:
    application& app;
};

void tst_application::identity()
{
    QCOMPARE(QCoreApplication::organizationName(), QString("Kaltrin"));
    QCOMPARE(QCoreApplication::applicationName(), QString("Vestra"));
    QCOMPARE(QCoreApplication::applicationVersion(), QString("1.0.2"));
    QVERIFY(!QApplication::windowIcon().isNull());
    // The window has no title of its own; the title bar shows the display name.
    QVERIFY(app.main_window().windowTitle().isEmpty());
}

void tst_application::frame()
{
    MainWindow& w = app.main_window();
    QCOMPARE(w.size(), QSize(925, 600));
    QCOMPARE(w.minimumSize(), QSize(925, 600));
    w.resize(400, 300);
    QCOMPARE(w.size(), QSize(925, 600));

    QVERIFY(QFile::exists(":/images/FreeSans.ttf") && QFile::exists(":/images/FreeSansBold.ttf"));
    QVERIFY(QFontDatabase().families().contains("FreeSans"));
    QCOMPARE(QApplication::font().family(), QString("FreeSans"));
    QCOMPARE(QApplication::font().pointSize(), 12);
    // Dialogs the window opens inherit the application font.
    QMessageBox box;
    QCOMPARE(box.font().family(), QString("FreeSans"));
    QCOMPARE(w.centralWidget()->styleSheet(), QString("color: rgb(198,213,210);"));
}

void tst_application::non_file_open_events_reach_the_main_window_base()
{
    MainWindow& w = app.main_window();
    QEvent title_changed(QEvent::WindowTitleChange);
    QCOMPARE(w.event(&title_changed), true);
    QEvent none(QEvent::None);
    QCOMPARE(w.event(&none), false);
}

void tst_application::compiled_in_resources_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size"); // invalid: any size
    const QSize any;
    QTest::newRow("icon") << ":/images/icon.png" << any;
    QTest::newRow("header band") << ":/images/Head.png" << QSize(925, 97);
    QTest::newRow("logo") << ":/images/logo.png" << QSize(230, 70);
    QTest::newRow("border") << ":/images/border.png" << any;
    QTest::newRow("topless border") << ":/images/border_topless.png" << any;
    QTest::newRow("drop area") << ":/images/drop_images_here.png" << any;
    QTest::newRow("mode picture") << ":/images/sync_kind.png" << QSize(156, 227);
    QTest::newRow("sync") << ":/images/button_sync.png" << QSize(119, 52);
    QTest::newRow("undo") << ":/images/button_undo.png" << QSize(52, 52);
    QTest::newRow("undo disabled") << ":/images/button_undo_disabled.png" << QSize(52, 52);
    QTest::newRow("reset") << ":/images/button_reset.png" << QSize(43, 43);
    QTest::newRow("load") << ":/images/button_load.png" << QSize(43, 43);
    QTest::newRow("settings") << ":/images/button_settings_small.png" << QSize(27, 27);
    QTest::newRow("info") << ":/images/button_info_small.png" << QSize(27, 27);
    QTest::newRow("help") << ":/images/button_help_small.png" << QSize(27, 27);
    QTest::newRow("map") << ":/images/button_map_small.png" << QSize(27, 27);
    QTest::newRow("load track") << ":/images/button_load_gpx.png" << QSize(24, 24);
    QTest::newRow("camera clock") << ":/images/button_camera_clock.png" << QSize(24, 24);
    QTest::newRow("own position marker") << ":/images/marker_own.png" << QSize(16, 16);
    QTest::newRow("proposed position marker") << ":/images/marker_proposed.png" << QSize(16, 16);
    QTest::newRow("typed position marker") << ":/images/marker_set.png" << QSize(16, 16);
    for (const char* state : { "unchecked", "checked", "disabled_unchecked", "disabled_checked" }) {
        QTest::newRow(qPrintable(QString("radio ") + state))
            << QString(":/gui/radio/%1.png").arg(state) << QSize(13, 13);
        QTest::newRow(qPrintable(QString("check box ") + state))
            << QString(":/gui/checkbox/%1.png").arg(state) << QSize(13, 13);
    }
    QTest::newRow("check box alt checked") << ":/checkbox/checked_alt.png" << QSize(13, 13);
    QTest::newRow("check box alt unchecked") << ":/checkbox/unchecked_alt.png" << QSize(13, 13);
    QTest::newRow("graphics view") << ":/graphics_view/background.png" << any;
    QTest::newRow("gui graphics view") << ":/gui/graphics_view/background.png" << any;
    QTest::newRow("combo box arrow") << ":/gui/combobox/arrow.png" << any;
    QTest::newRow("fold open") << ":/gui/fold_open.png" << any;
    QTest::newRow("fold closed") << ":/gui/fold_closed.png" << any;
    QTest::newRow("colour cone") << ":/gui/color_cone.png" << any;
}

void tst_application::compiled_in_resources()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    if (size.isValid())
        QCOMPARE(image.size(), size);
}

void tst_application::fatal_error_ends_with_dialog_and_exit_code_1_data()
{
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QString>("tail");
    QTest::newRow("with text") << false << QString("\n\nout of film");
    QTest::newRow("empty what") << true << QString("Sorry for the inconvenience.\n\n");
}

void tst_application::fatal_error_ends_with_dialog_and_exit_code_1()
{
    QFETCH(bool, empty);
    QFETCH(QString, tail);

    message_box_catcher catcher;
    catcher.arm();
    QTimer::singleShot(0, [empty] {
        if (empty)
            throw empty_what();
        throw std::runtime_error("out of film");
    });
    QCOMPARE(exec_guarded(app), 1);
    QCOMPARE(catcher.title, QString("Fatal error detected"));
    QVERIFY2(catcher.text.startsWith("A fatal error has been detected!\nAll unsaved work has been lost.\n"
                                     "Please report what you did to cause this error to the developers.\n"
                                     "Sorry for the inconvenience.\n\n"),
        qPrintable(catcher.text));
    QVERIFY2(catcher.text.endsWith(tail), qPrintable(catcher.text));
}

void tst_application::normal_quit_gives_exit_code_0()
{
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCOMPARE(exec_guarded(app), 0);
}

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setApplicationName("Vestra");
    QCoreApplication::setApplicationVersion("1.0.2");
    application app(argc, argv);
    QGuiApplication::setApplicationDisplayName("Vestra");
    app.main_window().show();
    tst_application tc(app);
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_application.moc"
