#pragma once

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace kal {

// QMessageBox in the dark look; the static functions take the arguments and
// give the results of QMessageBox's.
class message_box : public QMessageBox {
    Q_OBJECT

public:
    message_box(QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons = QMessageBox::NoButton, QWidget* parent = nullptr);

    static StandardButton information(QWidget* parent, const QString& title, const QString& text,
        StandardButtons buttons = Ok, StandardButton default_button = NoButton);
    static StandardButton question(QWidget* parent, const QString& title, const QString& text,
        StandardButtons buttons = StandardButtons(Yes | No), StandardButton default_button = NoButton);
    static StandardButton warning(QWidget* parent, const QString& title, const QString& text,
        StandardButtons buttons = Ok, StandardButton default_button = NoButton);
    static StandardButton critical(QWidget* parent, const QString& title, const QString& text,
        StandardButtons buttons = Ok, StandardButton default_button = NoButton);
    // Yes and No, labelled with the given texts.
    static StandardButton question(QWidget* parent, const QString& title, const QString& text,
        const QString& yes_text, const QString& no_text, StandardButton default_button = NoButton);

    static StandardButton showNewMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, StandardButtons buttons, StandardButton default_button);
    // Adds the requested buttons; without a requested default, the first
    // accepting button becomes the default.
    static void initMessageBox(QMessageBox& box, StandardButtons buttons, StandardButton default_button);
};

void style_dialog(QInputDialog& dialog);

// QInputDialog's static functions in the dark look.
class input_dialog {
public:
    input_dialog() = delete;

    static double get_double(QWidget* parent, const QString& title, const QString& label, double value = 0,
        double min = -2147483647, double max = 2147483647, int decimals = 1, bool* ok = nullptr,
        Qt::WindowFlags flags = Qt::WindowFlags());
    static int get_int(QWidget* parent, const QString& title, const QString& label, int value = 0,
        int min = -2147483647, int max = 2147483647, int step = 1, bool* ok = nullptr,
        Qt::WindowFlags flags = Qt::WindowFlags());
    static QString get_item(QWidget* parent, const QString& title, const QString& label,
        const QStringList& items, int current = 0, bool editable = true, bool* ok = nullptr,
        Qt::WindowFlags flags = Qt::WindowFlags(), Qt::InputMethodHints input_method_hints = Qt::ImhNone);
    static QString get_multi_line_text(QWidget* parent, const QString& title, const QString& label,
        const QString& text = QString(), bool* ok = nullptr, Qt::WindowFlags flags = Qt::WindowFlags(),
        Qt::InputMethodHints input_method_hints = Qt::ImhNone);
    static QString get_text(QWidget* parent, const QString& title, const QString& label,
        QLineEdit::EchoMode mode = QLineEdit::Normal, const QString& text = QString(), bool* ok = nullptr,
        Qt::WindowFlags flags = Qt::WindowFlags(), Qt::InputMethodHints input_method_hints = Qt::ImhNone);
};

} // namespace kal
