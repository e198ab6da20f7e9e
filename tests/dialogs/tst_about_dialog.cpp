#include "dialogs/dialog_3rd_part_lib_info.h"
#include "dialogs/dialog_about.h"
#include "toolkit/qt/widgets.h"

#include <QGuiApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

namespace {

// Runs the dialog modally; once it is up, hands it to `inspect` and closes it.
void run_and_inspect(QDialog& dialog, std::function<void(QDialog&)> inspect)
{
    bool inspected = false;
    std::function<void()> poll;
    poll = [&] {
        if (QApplication::activeModalWidget() != &dialog) {
            QTimer::singleShot(10, poll);
            return;
        }
        // Closed even when a check inside `inspect` fails and returns early.
        struct closer {
            QDialog& d;
            ~closer() { d.reject(); }
        } close { dialog };
        inspected = true;
        inspect(dialog);
    };
    QTimer::singleShot(0, poll);
    dialog.exec();
    QVERIFY(inspected);
}

} // namespace

class tst_about_dialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void library_line_runs_the_callback_with_the_dialog();
    void license_text_box_data();
    void license_text_box();
};

void tst_about_dialog::initTestCase()
{
    QGuiApplication::setApplicationDisplayName("Vestra");
    QCoreApplication::setApplicationVersion("1.0.2");
}

void tst_about_dialog::library_line_runs_the_callback_with_the_dialog()
{
    kal::dialog_about about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const auto lines = about.findChildren<kal::clickable_label*>();
    QCOMPARE(lines.size(), 1);

    // Without a callback the line does nothing.
    QTest::mouseClick(lines.at(0), Qt::LeftButton);

    QList<QWidget*> calls;
    about.set_lib_info_callback([&](QWidget* parent) { calls << parent; });
    QTest::mouseClick(lines.at(0), Qt::RightButton);
    QVERIFY(calls.isEmpty());
    QTest::mouseClick(lines.at(0), Qt::LeftButton);
    QCOMPARE(calls, QList<QWidget*> { &about });
}

void tst_about_dialog::license_text_box_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("shown");

    QTest::newRow("missing resource") << QByteArray() << false << QString();
    QTest::newRow("text up to the first zero byte")
        << QByteArray("GNU LESSER GENERAL PUBLIC LICENSE\n\xc2\xa9 all\0trailing", 42) << true
        << QString::fromUtf8("GNU LESSER GENERAL PUBLIC LICENSE\n© all");
}

void tst_about_dialog::license_text_box()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QFETCH(QString, shown);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("license.txt");
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else {
        shown = "Could not open license text resource at " + path;
    }

    kal::dialog_3rd_part_lib_info info;
    info.items.push_back({ "Some library", "Licensed under the LGPL.", path, QSize() });

    QString text;
    run_and_inspect(info, [&](QDialog& dialog) {
        const auto boxes = dialog.findChildren<QTextEdit*>();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.at(0)->isReadOnly());
        text = boxes.at(0)->toPlainText();
    });
    QCOMPARE(text, shown);
}

QTEST_MAIN(tst_about_dialog)
#include "tst_about_dialog.moc"
