#pragma once

class QProgressDialog;
class QString;
class QWidget;

// A progress dialog in the window's look, without a cancel button, hidden
// until a job sets its range.
QProgressDialog* make_progress_dialog(QWidget* parent, const QString& name, const QString& label);

// Advances the progress dialog and lets the window repaint; user input waits.
void step_progress(QProgressDialog* progress, int value);
