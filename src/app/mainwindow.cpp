#include "app/mainwindow.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QWebView>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    QFontDatabase::addApplicationFont(":/images/FreeSans.ttf");
    QFontDatabase::addApplicationFont(":/images/FreeSansBold.ttf");
    QFont font("FreeSans");
    font.setPointSize(12);
    QApplication::setFont(font);

    resize(925, 600);
    setMinimumSize(925, 600);

    auto* central = new QWidget;
    central->setStyleSheet("color: rgb(198,213,210);");
    setCentralWidget(central);
}

MainWindow::~MainWindow()
{
    delete help_window;
}

bool MainWindow::event(QEvent* e)
{
    return QMainWindow::event(e);
}
