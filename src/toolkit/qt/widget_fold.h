#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

namespace ktk::qt {

class layout;

// A section with a title row and a content area that a button collapses to
// the title row's height and opens again. It must sit in a ktk::qt::layout,
// whose row it resizes.
class widget_fold : public QWidget {
    Q_OBJECT

public:
    // Without a button, the section makes its own one labelled "fold" /
    // "unfold".
    explicit widget_fold(const QString& title = QString(), QPushButton* button = nullptr, double = 0,
        int collapsed_height = 25, QWidget* parent = nullptr);

    ktk::qt::layout* title_layout() const { return m_title_layout; }
    ktk::qt::layout* content_layout() const { return m_content_layout; }
    QPushButton* button() const { return m_button; }
    bool is_folded() const { return m_folded; }

public slots:
    void toggle();

signals:
    // Whether the section is now collapsed.
    void folded(bool closed);

private:
    void fit_content_to_row();

    ktk::qt::layout* m_main_layout;
    bool m_owns_button = false;
    bool m_folded = false;
    int m_collapsed_height;
    int m_remembered_height = 25;
    ktk::qt::layout* m_title_layout = nullptr;
    ktk::qt::layout* m_content_layout = nullptr;
    double m_unused;
    QPushButton* m_button;
};

} // namespace ktk::qt
