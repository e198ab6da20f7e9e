#include "toolkit/qt/stylesheet.h"

#include <QWidget>
#include <QtTest>

class tst_stylesheet : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void apply_replaces_the_sheet();
    void empty_text_clears_the_sheet();
};

void tst_stylesheet::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("sorted by key, spaces kept") << "font-size:12px;color: rgb(198,213,210);"
                                                << "color: rgb(198,213,210);font-size:12px;";
    QTest::newRow("leading space makes another key")
        << "font-size:14px; font-weight:bold;font-weight:normal;"
        << " font-weight:bold;font-size:14px;font-weight:normal;";
    QTest::newRow("last value of a key wins") << "color:red;color:blue;"
                                              << "color:blue;";
    QTest::newRow("value keeps its colons") << "background-image:url(:/images/Head.png);"
                                            << "background-image:url(:/images/Head.png);";
    QTest::newRow("missing final semicolon runs into the next key")
        << "background-color: none; background-image: none"
           "color:red;"
        << " background-image: nonecolor:red;background-color: none;";
    QTest::newRow("last declaration without semicolon") << "color:red"
                                                        << "color:red;";
    QTest::newRow("piece without colon dropped") << "garbage;color:red;"
                                                 << "color:red;";
    QTest::newRow("empty key or value dropped") << ":red;color:;;"
                                                << "";
    QTest::newRow("empty text") << ""
                                << "";
    QTest::newRow("selector taken as a declaration") << "QPushButton{border:none;}"
                                                     << "QPushButton{border:none;";
}

void tst_stylesheet::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(ktk::qt::stylesheet(text).to_string()), expected);
}

void tst_stylesheet::apply_replaces_the_sheet()
{
    QWidget w;
    w.setStyleSheet("font-size:12px;");
    ktk::qt::stylesheet s(w.styleSheet() + "color: rgb(198,213,210);");
    s.set("font-size:14px;");
    s.apply(&w);
    QCOMPARE(w.styleSheet(), QString("color: rgb(198,213,210);font-size:14px;"));
}

void tst_stylesheet::empty_text_clears_the_sheet()
{
    QWidget w;
    w.setStyleSheet("color:red;");
    ktk::qt::stylesheet s(QString {});
    QVERIFY(s.to_string().empty());
    s.apply(&w);
    QVERIFY(w.styleSheet().isEmpty());
}

QTEST_MAIN(tst_stylesheet)
#include "tst_stylesheet.moc"
