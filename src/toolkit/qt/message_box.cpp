#include "toolkit/qt/message_box.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace kal {

namespace {

// The dialog is created on the heap and watched: if its parent goes away
// while it runs, exec() returns and the dialog is already gone.
class input_dialog_runner {
public:
    input_dialog_runner(QWidget* parent, const QString& title, const QString& label, Qt::WindowFlags flags)
        : m_dialog(new QInputDialog(parent, flags))
    {
        style_dialog(*m_dialog);
        m_dialog->setWindowTitle(title);
        m_dialog->setLabelText(label);
    }
    ~input_dialog_runner() { delete m_dialog.data(); }
    input_dialog_runner(const input_dialog_runner&) = delete;
    input_dialog_runner& operator=(const input_dialog_runner&) = delete;

    QInputDialog& operator*() const { return *m_dialog; }
    QInputDialog* operator->() const { return m_dialog.data(); }

    // Runs the dialog; true when it was accepted and still exists.
    bool exec(bool* ok)
    {
        const int result = m_dialog->exec();
        const bool accepted = m_dialog && result == QDialog::Accepted;
        if (ok)
            *ok = accepted;
        return accepted;
    }

private:
    QPointer<QInputDialog> m_dialog;
};

QMessageBox::StandardButton run(QMessageBox* box)
{
    QPointer<QMessageBox> guard(box);
    const int result = box->exec();
    if (!guard || result == -1)
        return QMessageBox::Cancel;
    return box->standardButton(box->clickedButton());
}

} // namespace

message_box::message_box(QMessageBox::Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons, QWidget* parent)
    : QMessageBox(icon, title, text, buttons, parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setStyleSheet(QStringLiteral(
        "* {background-color: rgb(47,47,47);color: rgb(198,213,210); }QAbstractButton { background-color: "
        "rgb(99,99,99);background-image: none;border-image: none; }"));
}

QMessageBox::StandardButton message_box::information(QWidget* parent, const QString& title,
    const QString& text, StandardButtons buttons, StandardButton default_button)
{
    return showNewMessageBox(parent, Information, title, text, buttons, default_button);
}

QMessageBox::StandardButton message_box::question(QWidget* parent, const QString& title, const QString& text,
    StandardButtons buttons, StandardButton default_button)
{
    return showNewMessageBox(parent, Question, title, text, buttons, default_button);
}

QMessageBox::StandardButton message_box::warning(QWidget* parent, const QString& title, const QString& text,
    StandardButtons buttons, StandardButton default_button)
{
    return showNewMessageBox(parent, Warning, title, text, buttons, default_button);
}

QMessageBox::StandardButton message_box::critical(QWidget* parent, const QString& title, const QString& text,
    StandardButtons buttons, StandardButton default_button)
{
    return showNewMessageBox(parent, Critical, title, text, buttons, default_button);
}

QMessageBox::StandardButton message_box::question(QWidget* parent, const QString& title, const QString& text,
    const QString& yes_text, const QString& no_text, StandardButton default_button)
{
    auto* box = new message_box(Question, title, text, NoButton, parent);
    QPointer<QMessageBox> guard(box);
    initMessageBox(*box, StandardButtons(Yes | No), default_button);
    box->button(Yes)->setText(yes_text);
    box->button(No)->setText(no_text);
    const StandardButton result = run(box);
    delete guard.data();
    return result;
}

QMessageBox::StandardButton message_box::showNewMessageBox(QWidget* parent, QMessageBox::Icon icon,
    const QString& title, const QString& text, StandardButtons buttons, StandardButton default_button)
{
    auto* box = new message_box(icon, title, text, NoButton, parent);
    QPointer<QMessageBox> guard(box);
    initMessageBox(*box, buttons, default_button);
    const StandardButton result = run(box);
    delete guard.data();
    return result;
}

void message_box::initMessageBox(QMessageBox& box, StandardButtons buttons, StandardButton default_button)
{
    if (auto* icon_label = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
        icon_label->setStyleSheet(
            QStringLiteral("background: none; background-color: rgb(47,47,47); color: rgb(198,213,210);"));

    for (uint flag = Ok; flag <= LastButton; flag <<= 1) {
        if (!(buttons & flag))
            continue;
        const auto standard = static_cast<StandardButton>(flag);
        QPushButton* added = box.addButton(standard);
        if (box.defaultButton())
            continue;
        if (default_button == standard || (default_button == NoButton && box.buttonRole(added) == AcceptRole))
            box.setDefaultButton(added);
    }
}

void style_dialog(QInputDialog& dialog)
{
    dialog.setStyleSheet(QStringLiteral(
        "* {background: none;background-color: rgb(47,47,47);border-image: none;color: rgb(198,213,210); "
        "}QAbstractButton { background-color: rgb(99,99,99);}QLineEdit { border: 1px solid rgb(99,99,99); "
        "background-color: rgb(38,38,38); }"));
}

double input_dialog::get_double(QWidget* parent, const QString& title, const QString& label, double value,
    double min, double max, int decimals, bool* ok, Qt::WindowFlags flags)
{
    input_dialog_runner dialog(parent, title, label, flags);
    dialog->setDoubleDecimals(decimals);
    dialog->setDoubleRange(min, max);
    dialog->setDoubleValue(value);
    return dialog.exec(ok) ? dialog->doubleValue() : value;
}

int input_dialog::get_int(QWidget* parent, const QString& title, const QString& label, int value, int min,
    int max, int step, bool* ok, Qt::WindowFlags flags)
{
    input_dialog_runner dialog(parent, title, label, flags);
    dialog->setIntRange(min, max);
    dialog->setIntValue(value);
    dialog->setIntStep(step);
    return dialog.exec(ok) ? dialog->intValue() : value;
}

QString input_dialog::get_item(QWidget* parent, const QString& title, const QString& label,
    const QStringList& items, int current, bool editable, bool* ok, Qt::WindowFlags flags,
    Qt::InputMethodHints input_method_hints)
{
    const QString preselected = items.value(current); // empty outside the list
    input_dialog_runner dialog(parent, title, label, flags);
    dialog->setComboBoxItems(items);
    dialog->setTextValue(preselected);
    dialog->setComboBoxEditable(editable);
    dialog->setInputMethodHints(input_method_hints);
    return dialog.exec(ok) ? dialog->textValue() : preselected;
}

QString input_dialog::get_multi_line_text(QWidget* parent, const QString& title, const QString& label,
    const QString& text, bool* ok, Qt::WindowFlags flags, Qt::InputMethodHints input_method_hints)
{
    input_dialog_runner dialog(parent, title, label, flags);
    dialog->setOptions(QInputDialog::UsePlainTextEditForTextInput);
    dialog->setTextValue(text);
    dialog->setInputMethodHints(input_method_hints);
    return dialog.exec(ok) ? dialog->textValue() : QString();
}

QString input_dialog::get_text(QWidget* parent, const QString& title, const QString& label,
    QLineEdit::EchoMode mode, const QString& text, bool* ok, Qt::WindowFlags flags,
    Qt::InputMethodHints input_method_hints)
{
    input_dialog_runner dialog(parent, title, label, flags);
    dialog->setTextValue(text);
    dialog->setTextEchoMode(mode);
    dialog->setInputMethodHints(input_method_hints);
    return dialog.exec(ok) ? dialog->textValue() : QString();
}

} // namespace kal
