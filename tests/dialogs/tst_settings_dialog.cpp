#include "dialogs/datetime_format_selector.h"
#include "toolkit/qt/widgets.h"

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
    void stored_value_is_read_back_data();
    void stored_value_is_read_back();

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
    QCOMPARE(checked_labels(selector.get()), (QStringList { "DD.MM.YYYY", "hh:mm:ss" }));
    QCOMPARE(selector->get_datetime_format(), QString("dd.MM.yyyy - HH:mm:ss"));
    // Nothing is written until the user picks something.
    QVERIFY(QSettings().allKeys().isEmpty());
}

void tst_settings_dialog::click_is_stored_and_announced_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("date_format");
    QTest::addColumn<QString>("time_format");

    const auto row = [](const char* label, const char* date_format, const char* time_format) {
        QTest::newRow(label) << QString(label) << QString(date_format) << QString(time_format);
    };
    row("YYYY-MM-DD", "yyyy-MM-dd", "HH:mm:ss");
    row("MM/DD/YYYY", "MM/dd/yyyy", "HH:mm:ss");
    row("hh:mm", "dd.MM.yyyy", "HH:mm");
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

void tst_settings_dialog::stored_value_is_read_back_data()
{
    QTest::addColumn<QString>("stored_date");
    QTest::addColumn<QString>("stored_time");
    QTest::addColumn<QStringList>("checked");

    const auto row = [](const char* tag, const char* date, const char* time, const QStringList& checked) {
        QTest::newRow(tag) << QString(date) << QString(time) << checked;
    };
    row("known values", "yyyy.MM.dd", "HH:mm", { "YYYY.MM.DD", "hh:mm" });
    row("hand-edited date", "d.M.yy", "HH:mm", { "hh:mm" });
    row("hand-edited time", "MM/dd/yyyy", "h:mm ap", { "MM/DD/YYYY" });
    row("values differ in case only", "DD.MM.YYYY", "hh:mm:ss", {});
}

void tst_settings_dialog::stored_value_is_read_back()
{
    QFETCH(QString, stored_date);
    QFETCH(QString, stored_time);
    QFETCH(QStringList, checked);

    const auto store = [&] {
        QSettings settings;
        settings.setValue("date_format", stored_date);
        settings.setValue("time_format", stored_time);
    };
    store();
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
    store();
    selector->load_settings();
    QCOMPARE(selector->get_datetime_format(), stored_date + " - " + stored_time);
    QCOMPARE(checked_labels(selector.get()), checked);
}

QTEST_MAIN(tst_settings_dialog)
#include "tst_settings_dialog.moc"
