#include "dialogs/datetime_format_selector.h"
#include "dialogs/dialog_settings.h"
#include "toolkit/qt/widgets.h"

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

kal::radio* radio_labelled(QWidget* root, const QString& label)
{
    for (kal::radio* rb : root->findChildren<kal::radio*>())
        if (rb->text() == label)
            return rb;
    return nullptr;
}

QStringList checked_labels(QWidget* root)
{
    QStringList labels;
    for (kal::radio* rb : root->findChildren<kal::radio*>())
        if (rb->isChecked())
            labels << rb->text();
    labels.sort();
    return labels;
}

} // namespace

class tst_settings_dialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void defaults_with_empty_settings();
    void click_is_stored_and_announced_data();
    void click_is_stored_and_announced();
    void clicking_the_checked_button_saves_and_emits_again();
    void stored_value_is_read_back_data();
    void stored_value_is_read_back();
    void dialog_frame();

private:
    // Shown, so the layouts have placed the radio buttons inside it.
    std::unique_ptr<kal::datetime_format_selector> shown_selector();
};

void tst_settings_dialog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("Kaltrin");
    QCoreApplication::setApplicationName("Vestra");
}

void tst_settings_dialog::init()
{
    QSettings().clear();
}

std::unique_ptr<kal::datetime_format_selector> tst_settings_dialog::shown_selector()
{
    auto selector = std::make_unique<kal::datetime_format_selector>(nullptr);
    selector->resize(355, 165);
    selector->show();
    if (!QTest::qWaitForWindowExposed(selector.get()))
        qWarning("selector window not exposed");
    return selector;
}

void tst_settings_dialog::defaults_with_empty_settings()
{
    auto selector = shown_selector();
    QCOMPARE(selector->findChildren<kal::radio*>().size(), 9);
    QCOMPARE(checked_labels(selector.get()), (QStringList { "DD.MM.YYYY", "hh:mm:ss" }));
    QCOMPARE(selector->get_date_format(), QString("dd.MM.yyyy"));
    QCOMPARE(selector->get_time_format(), QString("HH:mm:ss"));
    QCOMPARE(selector->get_datetime_format(), QString("dd.MM.yyyy - HH:mm:ss"));
    // Nothing is written until the user picks something.
    QVERIFY(QSettings().allKeys().isEmpty());
}

void tst_settings_dialog::click_is_stored_and_announced_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("date_format");
    QTest::addColumn<QString>("time_format");

    QTest::newRow("DD/MM/YYYY") << "DD/MM/YYYY"
                                << "dd/MM/yyyy"
                                << "HH:mm:ss";
    QTest::newRow("DD.MM.YYYY") << "DD.MM.YYYY"
                                << "dd.MM.yyyy"
                                << "HH:mm:ss";
    QTest::newRow("DD-MM-YYYY") << "DD-MM-YYYY"
                                << "dd-MM-yyyy"
                                << "HH:mm:ss";
    QTest::newRow("YYYY/MM/DD") << "YYYY/MM/DD"
                                << "yyyy/MM/dd"
                                << "HH:mm:ss";
    QTest::newRow("YYYY.MM.DD") << "YYYY.MM.DD"
                                << "yyyy.MM.dd"
                                << "HH:mm:ss";
    QTest::newRow("YYYY-MM-DD") << "YYYY-MM-DD"
                                << "yyyy-MM-dd"
                                << "HH:mm:ss";
    QTest::newRow("MM/DD/YYYY") << "MM/DD/YYYY"
                                << "MM/dd/yyyy"
                                << "HH:mm:ss";
    QTest::newRow("hh:mm:ss") << "hh:mm:ss"
                              << "dd.MM.yyyy"
                              << "HH:mm:ss";
    QTest::newRow("hh:mm") << "hh:mm"
                           << "dd.MM.yyyy"
                           << "HH:mm";
}

void tst_settings_dialog::click_is_stored_and_announced()
{
    QFETCH(QString, label);
    QFETCH(QString, date_format);
    QFETCH(QString, time_format);

    auto selector = shown_selector();
    QSignalSpy spy(selector.get(), &kal::datetime_format_selector::format_changed);
    kal::radio* rb = radio_labelled(selector.get(), label);
    QVERIFY(rb);
    QTest::mouseClick(rb, Qt::LeftButton);

    const QString expected = date_format + " - " + time_format;
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), expected);
    QCOMPARE(selector->get_datetime_format(), expected);

    // Both keys land in the store at once, without closing anything.
    QSettings settings;
    QCOMPARE(settings.value("date_format").toString(), date_format);
    QCOMPARE(settings.value("time_format").toString(), time_format);

    // One button per group stays checked.
    const bool is_date = label.startsWith('D') || label.startsWith('Y') || label.startsWith('M');
    QStringList expected_checked { is_date ? label : "DD.MM.YYYY", is_date ? "hh:mm:ss" : label };
    expected_checked.sort();
    QCOMPARE(checked_labels(selector.get()), expected_checked);
}

void tst_settings_dialog::clicking_the_checked_button_saves_and_emits_again()
{
    auto selector = shown_selector();
    QSignalSpy spy(selector.get(), &kal::datetime_format_selector::format_changed);
    kal::radio* rb = radio_labelled(selector.get(), "MM/DD/YYYY");
    QVERIFY(rb);

    QTest::mouseClick(rb, Qt::LeftButton);
    QSettings().remove("date_format");
    QTest::mouseClick(rb, Qt::LeftButton);

    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toString(), QString("MM/dd/yyyy - HH:mm:ss"));
    QCOMPARE(QSettings().value("date_format").toString(), QString("MM/dd/yyyy"));
    QVERIFY(rb->isChecked());
}

void tst_settings_dialog::stored_value_is_read_back_data()
{
    QTest::addColumn<QString>("stored_date");
    QTest::addColumn<QString>("stored_time");
    QTest::addColumn<QStringList>("checked");

    QTest::newRow("known values") << "yyyy.MM.dd"
                                  << "HH:mm" << QStringList { "YYYY.MM.DD", "hh:mm" };
    QTest::newRow("hand-edited date") << "d.M.yy"
                                      << "HH:mm" << QStringList { "hh:mm" };
    QTest::newRow("hand-edited time") << "MM/dd/yyyy"
                                      << "h:mm ap" << QStringList { "MM/DD/YYYY" };
    QTest::newRow("values differ in case only") << "DD.MM.YYYY"
                                                << "hh:mm:ss" << QStringList {};
}

void tst_settings_dialog::stored_value_is_read_back()
{
    QFETCH(QString, stored_date);
    QFETCH(QString, stored_time);
    QFETCH(QStringList, checked);

    {
        QSettings settings;
        settings.setValue("date_format", stored_date);
        settings.setValue("time_format", stored_time);
    }
    auto selector = shown_selector();
    QCOMPARE(selector->get_datetime_format(), stored_date + " - " + stored_time);
    checked.sort();
    QCOMPARE(checked_labels(selector.get()), checked);

    // The groups are exclusive again once a button is picked.
    QTest::mouseClick(radio_labelled(selector.get(), "DD-MM-YYYY"), Qt::LeftButton);
    QTest::mouseClick(radio_labelled(selector.get(), "YYYY/MM/DD"), Qt::LeftButton);
    QTest::mouseClick(radio_labelled(selector.get(), "hh:mm:ss"), Qt::LeftButton);
    QCOMPARE(checked_labels(selector.get()), (QStringList { "YYYY/MM/DD", "hh:mm:ss" }));

    // Reloading follows the store, unchecking what was picked meanwhile.
    {
        QSettings settings;
        settings.setValue("date_format", stored_date);
        settings.setValue("time_format", stored_time);
    }
    selector->load_settings();
    QCOMPARE(selector->get_datetime_format(), stored_date + " - " + stored_time);
    QCOMPARE(checked_labels(selector.get()), checked);
}

void tst_settings_dialog::dialog_frame()
{
    dialog_settings dialog;
    QCOMPARE(dialog.size(), QSize(355, 165));
    QCOMPARE(dialog.minimumSize(), QSize(355, 165));
    QCOMPARE(dialog.maximumSize(), QSize(355, 165));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(dialog.selector());
    QCOMPARE(dialog.selector()->get_datetime_format(), QString("dd.MM.yyyy - HH:mm:ss"));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.isAncestorOf(dialog.selector()));
    QCOMPARE(dialog.findChildren<kal::radio*>().size(), 9);
    QVERIFY(dialog.findChildren<QPushButton*>().isEmpty());
}

QTEST_MAIN(tst_settings_dialog)
#include "tst_settings_dialog.moc"
