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
};

void tst_message_box::default_button_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<QMessageBox::StandardButton>("requested_default");
    QTest::addColumn<QMessageBox::StandardButton>("expected_default");
    QTest::addColumn<QMessageBox::StandardButton>("clicked");

    using M = QMessageBox;
    // Per row: icon, buttons offered, default asked for, default seen, button clicked.
    const auto row = [](const char* tag, M::Icon icon, M::StandardButtons buttons, M::StandardButton asked,
                         M::StandardButton seen, M::StandardButton clicked) {
        QTest::newRow(tag) << int(icon) << buttons << asked << seen << clicked;
    };
    row("information, no default: Ok", M::Information, M::Ok | M::Cancel, M::NoButton, M::Ok, M::Cancel);
    row("question Yes|No, default No: No", M::Question, M::Yes | M::No, M::No, M::No, M::Yes);
    row("question Yes|No, no default: none", M::Question, M::Yes | M::No, M::NoButton, M::NoButton, M::No);
    row("warning Save|Discard|Cancel, no default: Save", M::Warning, M::Save | M::Discard | M::Cancel,
        M::NoButton, M::Save, M::Discard);
    row("critical, default Cancel", M::Critical, M::Ok | M::Cancel, M::Cancel, M::Cancel, M::Ok);
    row("information Ok, default not offered: none", M::Information, M::Ok, M::Cancel, M::NoButton, M::Ok);
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
    answer_modal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        seen_default = box->standardButton(box->defaultButton());
        seen_buttons = box->standardButtons();
        seen_icon = box->icon();
        box->button(clicked)->click();
    });

    QCOMPARE(show_with(icon)(buttons, requested_default), clicked);
    QCOMPARE(seen_default, expected_default);
    QCOMPARE(seen_buttons, buttons);
    QCOMPARE(int(seen_icon), icon);
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
    QTest::newRow("1, cancelled") << 1 << false << QString() << QString("two");
    QTest::newRow("past the end, chosen") << 7 << false << QString("one") << QString("one");
    QTest::newRow("editable, typed") << 0 << true << QString("four") << QString("four");
}

void tst_message_box::get_item()
{
    QFETCH(int, current);
    QFETCH(bool, editable);
    QFETCH(QString, choose);
    QFETCH(QString, expected);

    answer_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
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
}

QTEST_MAIN(tst_message_box)
#include "tst_message_box.moc"
