#include "toolkit/qt/message_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

// Runs `answer` on the modal dialog as soon as it is up.
void answer_modal(std::function<void(QWidget*)> answer)
{
    QTimer::singleShot(20, [answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            answer(modal);
            // A failed check inside `answer` must not leave the dialog waiting.
            if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
                dialog->done(QDialog::Rejected);
        } else
            answer_modal(answer);
    });
}

using box_function
    = std::function<QMessageBox::StandardButton(QMessageBox::StandardButtons, QMessageBox::StandardButton)>;

box_function show_with(int icon)
{
    return [icon](QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button) {
        switch (icon) {
        case QMessageBox::Information:
            return kal::message_box::information(nullptr, "Title", "Text", buttons, default_button);
        case QMessageBox::Question:
            return kal::message_box::question(nullptr, "Title", "Text", buttons, default_button);
        case QMessageBox::Warning:
            return kal::message_box::warning(nullptr, "Title", "Text", buttons, default_button);
        default:
            return kal::message_box::critical(nullptr, "Title", "Text", buttons, default_button);
        }
    };
}

QPushButton* dialog_button(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    auto* box = dialog->findChild<QDialogButtonBox*>();
    return box ? box->button(which) : nullptr;
}

} // namespace

class tst_message_box : public QObject {
    Q_OBJECT

private slots:
    void default_button_data();
    void default_button();

    void yes_no_texts_data();
    void yes_no_texts();

    void get_item_data();
    void get_item();

    void get_int_data();
    void get_int();

    void get_double_data();
    void get_double();

    void get_text_data();
    void get_text();
};

void tst_message_box::default_button_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<QMessageBox::StandardButton>("requested_default");
    QTest::addColumn<QMessageBox::StandardButton>("expected_default");
    QTest::addColumn<QMessageBox::StandardButton>("clicked");

    QTest::newRow("information Ok|Cancel, no default: Ok")
        << int(QMessageBox::Information)
        << QMessageBox::StandardButtons(QMessageBox::Ok | QMessageBox::Cancel) << QMessageBox::NoButton
        << QMessageBox::Ok << QMessageBox::Cancel;
    QTest::newRow("question Yes|No, default No: No")
        << int(QMessageBox::Question) << QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No)
        << QMessageBox::No << QMessageBox::No << QMessageBox::Yes;
    QTest::newRow("question Yes|No, no default: none")
        << int(QMessageBox::Question) << QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No)
        << QMessageBox::NoButton << QMessageBox::NoButton << QMessageBox::No;
    QTest::newRow("warning Save|Discard|Cancel, no default: Save")
        << int(QMessageBox::Warning)
        << QMessageBox::StandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel)
        << QMessageBox::NoButton << QMessageBox::Save << QMessageBox::Discard;
    QTest::newRow("critical Ok|Cancel, default Cancel: Cancel")
        << int(QMessageBox::Critical) << QMessageBox::StandardButtons(QMessageBox::Ok | QMessageBox::Cancel)
        << QMessageBox::Cancel << QMessageBox::Cancel << QMessageBox::Ok;
    QTest::newRow("information Ok, default not offered: none")
        << int(QMessageBox::Information) << QMessageBox::StandardButtons(QMessageBox::Ok)
        << QMessageBox::Cancel << QMessageBox::NoButton << QMessageBox::Ok;
}

void tst_message_box::default_button()
{
    QFETCH(int, icon);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(QMessageBox::StandardButton, requested_default);
    QFETCH(QMessageBox::StandardButton, expected_default);
    QFETCH(QMessageBox::StandardButton, clicked);

    QMessageBox::StandardButton seen_default = QMessageBox::FlagMask;
    QMessageBox::StandardButtons seen_buttons;
    QMessageBox::Icon seen_icon = QMessageBox::NoIcon;
    QString seen_sheet;
    answer_modal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        seen_default = box->standardButton(box->defaultButton());
        seen_buttons = box->standardButtons();
        seen_icon = box->icon();
        seen_sheet = box->styleSheet();
        box->button(clicked)->click();
    });

    QCOMPARE(show_with(icon)(buttons, requested_default), clicked);
    QCOMPARE(seen_default, expected_default);
    QCOMPARE(seen_buttons, buttons);
    QCOMPARE(int(seen_icon), icon);
    QVERIFY(seen_sheet.startsWith("* {background-color: rgb(47,47,47);"));
}

void tst_message_box::yes_no_texts_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("clicked");
    QTest::addColumn<QMessageBox::StandardButton>("expected");

    QTest::newRow("Yes") << QMessageBox::Yes << QMessageBox::Yes;
    QTest::newRow("No") << QMessageBox::No << QMessageBox::No;
    QTest::newRow("exec gives -1: Cancel") << QMessageBox::NoButton << QMessageBox::Cancel;
}

void tst_message_box::yes_no_texts()
{
    QFETCH(QMessageBox::StandardButton, clicked);
    QFETCH(QMessageBox::StandardButton, expected);

    QString yes_text;
    QString no_text;
    QMessageBox::StandardButton seen_default = QMessageBox::FlagMask;
    answer_modal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        yes_text = box->button(QMessageBox::Yes)->text();
        no_text = box->button(QMessageBox::No)->text();
        seen_default = box->standardButton(box->defaultButton());
        if (clicked == QMessageBox::NoButton)
            box->done(-1);
        else
            box->button(clicked)->click();
    });

    const auto result = kal::message_box::question(
        nullptr, "Overwrite?", "Some photos have GPS data.", "Overwrite", "Keep", QMessageBox::No);
    QCOMPARE(result, expected);
    QCOMPARE(yes_text, QStringLiteral("Overwrite"));
    QCOMPARE(no_text, QStringLiteral("Keep"));
    QCOMPARE(seen_default, QMessageBox::No);
}

void tst_message_box::get_item_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QString>("choose"); // null: cancel
    QTest::addColumn<QString>("expected");

    QTest::newRow("-1, cancelled") << -1 << false << QString() << QString("");
    QTest::newRow("past the end, cancelled") << 3 << false << QString() << QString("");
    QTest::newRow("-1 editable, cancelled") << -1 << true << QString() << QString("");
    QTest::newRow("1, cancelled") << 1 << false << QString() << QString("two");
    QTest::newRow("-1, chosen") << -1 << false << QString("three") << QString("three");
    QTest::newRow("past the end, chosen") << 7 << false << QString("one") << QString("one");
    QTest::newRow("editable, typed") << 0 << true << QString("four") << QString("four");
}

void tst_message_box::get_item()
{
    QFETCH(int, current);
    QFETCH(bool, editable);
    QFETCH(QString, choose);
    QFETCH(QString, expected);

    QString title;
    answer_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        if (choose.isNull()) {
            dialog_button(dialog, QDialogButtonBox::Cancel)->click();
        } else {
            dialog->setTextValue(choose);
            dialog_button(dialog, QDialogButtonBox::Ok)->click();
        }
    });

    bool ok = choose.isNull();
    const QString result = kal::input_dialog::get_item(
        nullptr, "Pick", "Item:", { "one", "two", "three" }, current, editable, &ok);
    QCOMPARE(result, expected);
    QCOMPARE(ok, !choose.isNull());
    QCOMPARE(title, QStringLiteral("Pick"));
}

void tst_message_box::get_int_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("entered");
    QTest::addColumn<int>("expected");

    QTest::newRow("cancelled: given value") << false << 30 << 15;
    QTest::newRow("accepted: entered value") << true << 30 << 30;
    QTest::newRow("accepted: clamped to max") << true << 500 << 120;
}

void tst_message_box::get_int()
{
    QFETCH(bool, accept);
    QFETCH(int, entered);
    QFETCH(int, expected);

    int step = 0;
    answer_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        step = dialog->intStep();
        dialog->setIntValue(entered);
        dialog_button(dialog, accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });

    bool ok = !accept;
    QCOMPARE(kal::input_dialog::get_int(nullptr, "Minutes", "Limit:", 15, 0, 120, 5, &ok), expected);
    QCOMPARE(ok, accept);
    QCOMPARE(step, 5);
}

void tst_message_box::get_double_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<double>("entered");
    QTest::addColumn<double>("expected");

    QTest::newRow("cancelled: given value") << false << 2.25 << 48.5;
    QTest::newRow("accepted: entered value") << true << 2.25 << 2.25;
    QTest::newRow("accepted: rounded to decimals") << true << 2.256 << 2.26;
}

void tst_message_box::get_double()
{
    QFETCH(bool, accept);
    QFETCH(double, entered);
    QFETCH(double, expected);

    answer_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        dialog->setDoubleValue(entered);
        dialog_button(dialog, accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });

    bool ok = !accept;
    const double result
        = kal::input_dialog::get_double(nullptr, "Latitude", "Degrees:", 48.5, -90, 90, 2, &ok);
    QVERIFY2(qAbs(result - expected) < 1e-9, qPrintable(QString::number(result)));
    QCOMPARE(ok, accept);
}

void tst_message_box::get_text_data()
{
    QTest::addColumn<bool>("multi_line");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("expected");

    QTest::newRow("line, cancelled") << false << false << QString();
    QTest::newRow("line, accepted") << false << true << QString("typed");
    QTest::newRow("multi-line, cancelled") << true << false << QString();
    QTest::newRow("multi-line, accepted") << true << true << QString("first\nsecond");
}

void tst_message_box::get_text()
{
    QFETCH(bool, multi_line);
    QFETCH(bool, accept);
    QFETCH(QString, expected);

    QString preset;
    answer_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        preset = dialog->textValue();
        dialog->setTextValue(multi_line ? "first\nsecond" : "typed");
        dialog_button(dialog, accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });

    bool ok = !accept;
    const QString result = multi_line
        ? kal::input_dialog::get_multi_line_text(nullptr, "Note", "Text:", "preset", &ok)
        : kal::input_dialog::get_text(nullptr, "Name", "Text:", QLineEdit::Normal, "preset", &ok);
    QCOMPARE(result, expected);
    QCOMPARE(ok, accept);
    QCOMPARE(preset, QStringLiteral("preset"));
}

QTEST_MAIN(tst_message_box)
#include "tst_message_box.moc"
