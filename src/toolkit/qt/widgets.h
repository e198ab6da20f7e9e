#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>

#include <functional>

class QMouseEvent;
class QPaintEvent;
class QPainter;

namespace kal {

// A frameless push button that flashes a light frame for 200 ms after each
// release.
class button : public QPushButton {
    Q_OBJECT

public:
    explicit button(const QString& text = QString(), QWidget* parent = nullptr);
    // The frame is drawn at r (inset by 4 at the top left, grown by 1 at the
    // bottom right); a null r leaves it to the style sheet.
    button(QWidget* parent, QRect r);

    bool highlighted() const { return m_highlighted; }
    QRect highlight_rect() const { return m_highlight_rect; }

public slots:
    void deaktivate_highlight();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_highlighted = false;
    QRect m_highlight_rect;
};

// A button whose face is rendered rich text.
class button_html : public button {
    Q_OBJECT

public:
    explicit button_html(QWidget* parent = nullptr);
    explicit button_html(const QString& html, QWidget* parent = nullptr);
};

// A push button painted entirely by a callback (nothing at all without one).
class button_custom : public QPushButton {
    Q_OBJECT

public:
    using painter_function = std::function<void(QPainter&)>;

    explicit button_custom(QWidget* parent = nullptr);
    explicit button_custom(painter_function painter, QWidget* parent = nullptr);

    void set_painter(painter_function painter);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    painter_function m_painter;
};

class radio : public QRadioButton {
    Q_OBJECT

public:
    explicit radio(QWidget* parent = nullptr);
    explicit radio(const QString& text, QWidget* parent = nullptr);

private:
    void init();
};

// A check box sized to its text plus the indicator (text width + 25, font
// height).
class checkbox : public QCheckBox {
    Q_OBJECT

public:
    explicit checkbox(const QString& text, QWidget* parent = nullptr, bool alt = false);

private:
    void init(const QString& text, bool alt);
};

class lineedit : public QLineEdit {
    Q_OBJECT

public:
    explicit lineedit(QWidget* parent = nullptr);
    explicit lineedit(const QString& text, QWidget* parent = nullptr);
};

class clickable_label : public QLabel {
    Q_OBJECT

public:
    explicit clickable_label(
        const QString& text = QString(), bool pointing_cursor = false, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

const QString& vertical_scrollbar_style();
const QString& horizontal_scrollbar_style();

// Flat dark scroll bars for any scroll area.
template <typename V> void style_scrollbars(V* view)
{
    for (QScrollBar* bar : { view->verticalScrollBar(), view->horizontalScrollBar() }) {
        QStyle* style = QStyleFactory::create(QStringLiteral("fusion"));
        // setStyle() does not take ownership; the bar does.
        if (style)
            style->setParent(bar);
        bar->setStyle(style);
        bar->setStyleSheet(
            bar == view->verticalScrollBar() ? vertical_scrollbar_style() : horizontal_scrollbar_style());
    }
}

} // namespace kal
