#include "toolkit/qt/widgets.h"

#include "toolkit/qt/set_style_sheet.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>
#include <QTimer>

namespace kal {

namespace {

const QString idle_button_style = QStringLiteral("border:none;margin:2px 2px 2px 2px;");
const QString highlighted_button_style
    = QStringLiteral("margin:0px 0px 0px 0px;border:2px solid rgb(222,222,222);");

} // namespace

button::button(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    ktk::qt::setStyleSheet(this, idle_button_style);
    setFocusPolicy(Qt::NoFocus);
}

button::button(QWidget* parent, QRect r)
    : button(QString(), parent)
{
    m_highlight_rect = QRect(QPoint(r.left() + 4, r.top() + 4), QPoint(r.right() + 1, r.bottom() + 1));
}

void button::mouseReleaseEvent(QMouseEvent* event)
{
    // QPushButton's own release handling is bypassed (it would click a second
    // time), but the pressed look must not stick.
    setDown(false);
    // As with any desktop button, only the left button clicks, and moving off
    // the button before letting go takes the click back.
    if (event->button() != Qt::LeftButton || !rect().contains(event->pos()))
        return;
    if (!m_highlight_rect.isValid())
        ktk::qt::setStyleSheet(this, highlighted_button_style);
    QTimer::singleShot(200, this, &button::deaktivate_highlight);
    m_highlighted = true;
    update();
    emit clicked(false);
    emit released();
    emit toggled(isChecked());
}

void button::deaktivate_highlight()
{
    if (!m_highlight_rect.isValid())
        ktk::qt::setStyleSheet(this, idle_button_style);
    m_highlighted = false;
    update();
}

void button::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (!m_highlight_rect.isValid() || !m_highlighted)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(222, 222, 222), 2));
    painter.drawRect(m_highlight_rect);
}

button_html::button_html(QWidget* parent)
    : button_html(QString(), parent)
{
}

button_html::button_html(const QString& html, QWidget* parent)
    : button(parent, QRect())
{
    QTextDocument document;
    document.setHtml(html);
    const QSizeF size = document.size();
    QPixmap pixmap(static_cast<int>(size.width()), static_cast<int>(size.height()));
    if (pixmap.isNull())
        return;
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        document.drawContents(&painter, QRectF(pixmap.rect()));
    }
    setIcon(QIcon(pixmap));
    setIconSize(pixmap.size());
}

button_custom::button_custom(QWidget* parent)
    : QPushButton(parent)
{
}

button_custom::button_custom(painter_function painter, QWidget* parent)
    : QPushButton(parent)
    , m_painter(std::move(painter))
{
}

void button_custom::set_painter(painter_function painter)
{
    m_painter = std::move(painter);
    update();
}

void button_custom::paintEvent(QPaintEvent*)
{
    if (!m_painter)
        return;
    QPainter painter(this);
    m_painter(painter);
}

radio::radio(QWidget* parent)
    : QRadioButton(parent)
{
    init();
}

radio::radio(const QString& text, QWidget* parent)
    : QRadioButton(text, parent)
{
    init();
}

void radio::init()
{
    setStyleSheet(QStringLiteral(
        "QRadioButton{spacing:3px;}"
        "QRadioButton::indicator:enabled:unchecked{image:url(:/gui/radio/unchecked.png);}"
        "QRadioButton::indicator:enabled:checked{image:url(:/gui/radio/checked.png);}"
        "QRadioButton::indicator:!enabled:unchecked{image:url(:/gui/radio/disabled_unchecked.png);}"
        "QRadioButton::indicator:!enabled:checked{image:url(:/gui/radio/disabled_checked.png);}"));
}

checkbox::checkbox(const QString& text, QWidget* parent, bool alt)
    : QCheckBox(text, parent)
{
    init(text, alt);
}

void checkbox::init(const QString& text, bool alt)
{
    const QFontMetrics metrics(font());
    setFixedSize(metrics.horizontalAdvance(text) + 25, metrics.height());
    if (alt) {
        setStyleSheet(
            QStringLiteral("QCheckBox::indicator:enabled:unchecked{image:url(:/checkbox/unchecked_alt.png);}"
                           "QCheckBox::indicator:enabled:checked{image:url(:/checkbox/checked_alt.png);}"));
    } else {
        setStyleSheet(QStringLiteral(
            "QCheckBox::indicator:enabled:unchecked{image:url(:/gui/checkbox/unchecked.png);}"
            "QCheckBox::indicator:enabled:checked{image:url(:/gui/checkbox/checked.png);}"
            "QCheckBox::indicator:!enabled:unchecked{image:url(:/gui/checkbox/disabled_unchecked.png);}"
            "QCheckBox::indicator:!enabled:checked{image:url(:/gui/checkbox/disabled_checked.png);}"));
    }
}

lineedit::lineedit(QWidget* parent)
    : lineedit(QString(), parent)
{
}

lineedit::lineedit(const QString& text, QWidget* parent)
    : QLineEdit(text, parent)
{
    setStyleSheet(QStringLiteral(
        "kal--lineedit{    background:rgb(38,38,38);    color:rgb(198,213,210);    border: 1px solid "
        "rgb(99,99,99);    selection-background-color:rgb(198,213,210);    selection-color: "
        "#000;}kal--lineedit:disabled{    background:rgb(99,99,99);}"));
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

clickable_label::clickable_label(const QString& text, bool pointing_cursor, QWidget* parent)
    : QLabel(text, parent)
{
    if (pointing_cursor)
        setCursor(Qt::PointingHandCursor);
}

void clickable_label::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
}

const QString& vertical_scrollbar_style()
{
    static const QString style = QStringLiteral(
        "QScrollBar:vertical {    border: none;    background-color:rgb(47,47,47);    width:11px;     "
        "   margin: 0px 0px 0px 0px;}QScrollBar::handle:vertical {    border: 1px solid black;    "
        "border-radius: 5px;    background: rgb(0,0,0);    min-height: 20px;}QScrollBar::add-line:vertical "
        "{    background: black;    height: 0px;    subcontrol-position: bottom;    subcontrol-origin: "
        "margin;}QScrollBar::sub-line:vertical {    background: black;    height: 0px;    "
        "subcontrol-position: top;    subcontrol-origin: margin;}");
    return style;
}

const QString& horizontal_scrollbar_style()
{
    static const QString style = QStringLiteral(
        "QScrollBar:horizontal {    border: none;    background-color:rgb(47,47,47);    height:11px;   "
        "     margin: 0px 0px 0px 0px;}QScrollBar::handle:horizontal {    border: 1px solid black;    "
        "border-radius: 5px;    background: rgb(0,0,0);    min-width: 20px;}QScrollBar::add-line:horizontal "
        "{    background: black;    width: 0px;    subcontrol-position: left;    subcontrol-origin: "
        "margin;}QScrollBar::sub-line:horizontal {    background: black;    width: 0px;    "
        "subcontrol-position: right;    subcontrol-origin: margin;}");
    return style;
}

} // namespace kal
