#include "toolkit/qt/lambda.h"
#include "toolkit/qt/number_validator.h"
#include "toolkit/qt/set_style_sheet.h"
#include "toolkit/qt/widgets.h"

#include <QImage>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString idle_sheet = QStringLiteral("border:none;margin:2px 2px 2px 2px;");
const QColor frame_colour(222, 222, 222);

QColor pixel(QWidget& widget, int x, int y)
{
    return widget.grab().toImage().pixelColor(x, y);
}

} // namespace

class tst_widgets : public QObject {
    Q_OBJECT

private slots:
    void number_validator_validate_data();
    void number_validator_validate();
    void number_validator_fixup();
    void merge_style_sheet_data();
    void merge_style_sheet();

    void button_frame_after_releases();
    void button_signals_on_release();

    void lambda_connect();
};

void tst_widgets::merge_style_sheet_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* tag, const QString& sheet, const QString& text, const QString& expected) {
        QTest::newRow(tag) << sheet << text << expected;
    };
    row("replaced in place, order of the sheet kept", idle_sheet,
        "margin:0px 0px 0px 0px;border:2px solid rgb(222,222,222);",
        "border:2px solid rgb(222,222,222);margin:0px 0px 0px 0px;");
    row("first declaration unchanged, later ones still applied", idle_sheet,
        "border:none;margin:1px;color:red;", "border:none;margin:1px;color:red;");
    row("missing final semicolon added", "a:1;", "b:2", "a:1;b:2;");
    row("value spaces count", "color: red;", "color:red;", "color:red;");
    row("key spaces count", "color :red;", "color:red;", "color :red;color:red;");
    row("key is not matched inside a longer key", "min-width:5px;", "width:10px;",
        "min-width:5px;width:10px;");
    row("inside a block", "QPushButton{border:none;}", "border:1px;", "QPushButton{border:1px;}");
    row("old last declaration without semicolon", "a:1;b:2", "b:3;", "a:1;b:3;");
    row("block's last declaration without semicolon keeps the brace", "a{border:none}", "border:2px;",
        "a{border:2px;}");
}

void tst_widgets::merge_style_sheet()
{
    QFETCH(QString, sheet);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QWidget widget;
    widget.setStyleSheet(sheet);
    ktk::qt::setStyleSheet(&widget, text);
    QCOMPARE(widget.styleSheet(), expected);
}

void tst_widgets::button_frame_after_releases()
{
    kal::button button(QStringLiteral("Load"));
    button.resize(80, 30);
    QVERIFY(pixel(button, 0, 15) != frame_colour);

    QTest::mouseClick(&button, Qt::LeftButton);
    QVERIFY(button.highlighted());
    QCOMPARE(pixel(button, 0, 15), frame_colour);
    QVERIFY(!button.isDown());
    QTest::qWait(50);
    QTest::mouseClick(&button, Qt::LeftButton);
    QVERIFY(button.highlighted());

    // Both timers fire; the sheet is back to exactly the idle declarations.
    QTRY_VERIFY(!button.highlighted());
    QCOMPARE(button.styleSheet(), idle_sheet);
    QVERIFY(pixel(button, 0, 15) != frame_colour);
}

void tst_widgets::button_signals_on_release()
{
    kal::button button(QStringLiteral("Sync"));
    QStringList order;
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QSignalSpy pressed(&button, &QAbstractButton::pressed);
    connect(&button, &QAbstractButton::clicked, [&] { order << QStringLiteral("clicked"); });
    connect(&button, &QAbstractButton::released, [&] { order << QStringLiteral("released"); });
    connect(&button, &QAbstractButton::toggled, [&] { order << QStringLiteral("toggled"); });

    QTest::mouseClick(&button, Qt::LeftButton);

    QCOMPARE(order, (QStringList { "clicked", "released", "toggled" }));
    QCOMPARE(pressed.count(), 1);
    // Only our release handling runs, so one click, not two.
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toBool(), false);

    // A right click, or letting go off the button, clicks nothing.
    QTest::mouseClick(&button, Qt::RightButton);
    QTest::mousePress(&button, Qt::LeftButton);
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));
    QCOMPARE(clicked.count(), 1);
    QVERIFY(!button.isDown());
}

void tst_widgets::lambda_connect()
{
    int calls = 0;
    QPushButton button;
    auto* l = new ktk::qt::lambda([&] { ++calls; });
    QVERIFY(ktk::qt::connect(&button, SIGNAL(clicked()), l));
    button.click();
    button.click();
    QCOMPARE(calls, 2);

    ktk::qt::lambda empty;
    QVERIFY(ktk::qt::connect(&button, SIGNAL(clicked()), &empty));
    button.click();
    QCOMPARE(calls, 3);
    delete l;
}

void tst_widgets::number_validator_validate_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    QTest::addColumn<QLocale::Language>("language");

    // A comma locale changes nothing, nor does one that groups with spaces.
    for (const QLocale::Language language : { QLocale::German, QLocale::French }) {
        const QString name = QLocale(language).name() + ": ";
        const auto row = [&](const char* tag) -> QTestData& { return QTest::newRow(qPrintable(name + tag)); };
        row("0") << "0" << int(QValidator::Acceptable) << language;
        row("120") << "120" << int(QValidator::Acceptable) << language;
        row("empty") << "" << int(QValidator::Intermediate) << language;
        row("point") << "1.5" << int(QValidator::Invalid) << language;
        row("comma") << "1,5" << int(QValidator::Invalid) << language;
        row("leading minus") << "-" << int(QValidator::Invalid) << language;
        row("letters") << "1a" << int(QValidator::Invalid) << language;
        row("grouped thousands") << QString("1") + QChar(0x202F) + "000" << int(QValidator::Invalid)
                                 << language;
    }
}

void tst_widgets::number_validator_validate()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    QFETCH(QLocale::Language, language);
    QLocale::setDefault(QLocale(language));
    number_validator validator;
    int pos = input.size();
    const QValidator::State got = validator.validate(input, pos);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(int(got), state);
}

void tst_widgets::number_validator_fixup()
{
    number_validator validator;
    QString input = "1.5,0";
    validator.fixup(input);
    QCOMPARE(input, QString("150"));
    int pos = input.size();
    QCOMPARE(validator.validate(input, pos), QValidator::Acceptable);
}

QTEST_MAIN(tst_widgets)
#include "tst_widgets.moc"
