#include "app/help_window.h"

#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QShortcut>
#include <QWebPage>

#include <algorithm>

help_window::help_window()
    : QWebView(nullptr)
{
    const QString language = QLocale().language() == QLocale::German ? "de" : "en";
    QString html;
    QFile file(QString(":/help/index_%1.html").arg(language));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        html = QString::fromUtf8(bytes.constData(), qstrnlen(bytes.constData(), bytes.size()));
    }

    // Closing the main window ends the program even while help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setHtml(html, QUrl());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    resize(std::min(800, screen.width() - 20), std::min(760, screen.height() - 60));
    page()->setLinkDelegationPolicy(QWebPage::DelegateAllLinks);
    auto* close_on_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close_on_escape, &QShortcut::activated, this, &QWidget::close);
    connect(this, &QWebView::linkClicked, [](const QUrl& url) { QDesktopServices::openUrl(url); });
}

void help_window::toggle()
{
    if (isVisible())
        close();
    else
        show();
}
