#include "app/progress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStyle>
#include <QStyleFactory>

QProgressDialog* make_progress_dialog(QWidget* parent, const QString& name, const QString& label)
{
    auto* dialog = new QProgressDialog(parent, Qt::WindowFlags());
    dialog->setObjectName(name);
    QStyle* fusion = QStyleFactory::create("fusion");
    fusion->setParent(dialog);
    dialog->setStyle(fusion);
    dialog->setWindowFlags(
        dialog->windowFlags() ^ Qt::WindowCloseButtonHint ^ Qt::WindowContextHelpButtonHint);
    dialog->setLabelText(label);
    dialog->setCancelButton(nullptr);
    dialog->setMinimumDuration(0);
    dialog->setMinimum(1);
    dialog->setFixedSize(dialog->size());
    dialog->setStyleSheet("* {    background-color: rgb(47,47,47);    color: rgb(198,213,210);}"
                          "QProgressBar {    color: rgb(198,213,210);    background-color: rgb(47,47,47);    "
                          "border: 2px solid rgb(55,63,61);    border-radius: 4px;    text-align: center;}"
                          "QProgressBar::chunk {    background-color: rgb(91,91,91);    width: 5px}");
    auto* bar = new QProgressBar;
    bar->setFormat(QObject::tr("%v of %m"));
    dialog->setBar(bar);
    // Stops the timer that would otherwise pop the dialog up on its own.
    dialog->reset();
    dialog->hide();
    return dialog;
}

void step_progress(QProgressDialog* progress, int value)
{
    progress->setValue(value);
    // A round of events per file would cost more than the file on a fast disk.
    static QElapsedTimer since_events;
    if (since_events.isValid() && since_events.elapsed() < 20 && value < progress->maximum())
        return;
    since_events.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
}
