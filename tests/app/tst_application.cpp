#include "app/application.h"

#include <QAbstractButton>
#include <QDirIterator>
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
    void font_is_compiled_in_and_inherited();
    void non_file_open_events_reach_the_main_window_base();
    void compiled_in_images_decode();
    void fatal_error_ends_with_dialog_and_exit_code_1_data();
    void fatal_error_ends_with_dialog_and_exit_code_1();
    void normal_quit_gives_exit_code_0();

private:
    application& app;
};

void tst_application::font_is_compiled_in_and_inherited()
{
    QVERIFY(QFontDatabase().families().contains("FreeSans"));
    QCOMPARE(QApplication::font().family(), QString("FreeSans"));
    // Dialogs the window opens inherit the application font.
    QMessageBox box;
    QCOMPARE(box.font().family(), QString("FreeSans"));
}

void tst_application::non_file_open_events_reach_the_main_window_base()
{
    MainWindow& w = app.main_window();
    QEvent title_changed(QEvent::WindowTitleChange);
    QCOMPARE(w.event(&title_changed), true);
    QEvent none(QEvent::None);
    QCOMPARE(w.event(&none), false);
}

// A picture that does not decode is a blank button or marker, not an error.
void tst_application::compiled_in_images_decode()
{
    int images = 0;
    for (QDirIterator it(":/", { "*.png" }, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (path.startsWith(":/qt-project.org"))
            continue;
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        ++images;
    }
    QVERIFY(images > 30);
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
