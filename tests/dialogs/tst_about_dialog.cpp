#include "dialogs/dialog_3rd_part_lib_info.h"
#include "dialogs/dialog_about.h"
#include "dialogs/git_version.h"
#include "toolkit/qt/widgets.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

QSize measured(const QString& text, int pixel_size, bool bold = false)
{
    QFont font("FreeSans");
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return QFontMetrics(font).size(0, text);
}

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

QString qt_description()
{
    kal::dialog_3rd_part_lib_info dialog;
    return dialog.items.at(0).description;
}

} // namespace

class tst_about_dialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void library_line_runs_the_callback_with_the_dialog();
    void versions_formatted_lists_every_component();

    void library_dialog_fits_its_widest_text_data();
    void library_dialog_fits_its_widest_text();
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
    const auto labels = about.findChildren<QLabel*>();
    QVERIFY(
        std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text().startsWith("1.0.2 "); }));
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

void tst_about_dialog::versions_formatted_lists_every_component()
{
    const QStringList lines
        = QString::fromStdString(git_version::versions_formatted()).split('\n', Qt::SkipEmptyParts);
    const auto versions = git_version::versions();
    QCOMPARE(lines.size(), int(versions.size()));
    QCOMPARE(versions.at(""), git_version::version());
    for (const auto& [name, id] : versions)
        QVERIFY(lines.contains(QString::fromStdString("Component: '" + name + "'\tVersion: '" + id + "'")));
}

void tst_about_dialog::library_dialog_fits_its_widest_text_data()
{
    QTest::addColumn<QString>("exiftool_description");
    QTest::newRow("title widest") << "Vestra uses Exiftool.\nhttps://exiftool.org/";
    QTest::newRow("Exiftool description widest") << "Vestra uses Exiftool, read and written through one "
                                                    "long-lived process for every photo that is loaded.\n"
                                                    "https://exiftool.org/";
}

void tst_about_dialog::library_dialog_fits_its_widest_text()
{
    QFETCH(QString, exiftool_description);

    kal::dialog_about about;
    auto* info = new kal::dialog_3rd_part_lib_info(&about);
    info->items.push_back({ "Exiftool", exiftool_description, QString(), QSize() });

    const QString title = "Vestra uses the following open source and/or 3rd party libraries:";
    const QSize title_size = measured(title, 20);
    const QSize qt_size = measured(qt_description(), 12);
    const QSize exiftool_size = measured(exiftool_description, 12);
    const int widest = std::max({ title_size.width() + 10, qt_size.width(), exiftool_size.width() });
    const int height = title_size.height() + 10 + measured(info->items.at(0).name, 14, true).height()
        + qt_size.height() + 10 + measured("Exiftool", 14, true).height() + exiftool_size.height() + 10;

    run_and_inspect(*info, [&](QDialog& dialog) {
        QCOMPARE(dialog.size(), QSize(widest + 10, height));
        const auto labels = dialog.findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == title; }));
    });
    QVERIFY(info->parent() == &about);
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
