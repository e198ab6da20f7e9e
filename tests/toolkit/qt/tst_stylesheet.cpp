#include "toolkit/qt/stylesheet.h"

#include <QWidget>
#include <QtTest>

class tst_stylesheet : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_stylesheet::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* tag, const char* text, const char* expected) {
        QTest::newRow(tag) << QString(text) << QString(expected);
    };
    row("sorted by key, spaces kept", "font-size:12px;color: rgb(198,213,210);",
        "color: rgb(198,213,210);font-size:12px;");
    row("leading space makes another key", "font-size:14px; font-weight:bold;font-weight:normal;",
        " font-weight:bold;font-size:14px;font-weight:normal;");
    row("last value of a key wins", "color:red;color:blue;", "color:blue;");
    row("value keeps its colons", "background-image:url(:/images/Head.png);",
        "background-image:url(:/images/Head.png);");
    row("missing final semicolon runs into the next key",
        "background-color: none; background-image: nonecolor:red;",
        " background-image: nonecolor:red;background-color: none;");
    row("last declaration without semicolon", "color:red", "color:red;");
    row("piece without colon dropped", "garbage;color:red;", "color:red;");
    row("empty key or value dropped", ":red;color:;;", "");
    row("selector taken as a declaration", "QPushButton{border:none;}", "QPushButton{border:none;");
}

void tst_stylesheet::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const ktk::qt::stylesheet sheet(text);
    QCOMPARE(QString::fromStdString(sheet.to_string()), expected);
    // Applied, it replaces the widget's sheet; an empty one clears it.
    QWidget w;
    w.setStyleSheet("font-size:12px;");
    sheet.apply(&w);
    QCOMPARE(w.styleSheet(), expected);
}

QTEST_MAIN(tst_stylesheet)
#include "tst_stylesheet.moc"
