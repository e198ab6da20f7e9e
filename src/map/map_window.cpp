#include "map/map_window.h"

#include "model/table_data_model.h"

#include <marble/AbstractFloatItem.h>
#include <marble/GeoDataCoordinates.h>
#include <marble/GeoDataLatLonBox.h>
#include <marble/GeoPainter.h>
#include <marble/LayerInterface.h>
#include <marble/MarbleWidget.h>
#include <marble/MarbleWidgetInputHandler.h>
#include <marble/RenderPlugin.h>
#include <marble/ViewportParams.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace {

const char* const theme_key = "map_theme";
const char* const geometry_key = "map_window_geometry";

QString theme_id(const QString& name)
{
    return name == QLatin1String("openstreetmap") ? QStringLiteral("earth/openstreetmap/openstreetmap.dgml")
                                                  : QStringLiteral("earth/plain/plain.dgml");
}

// Markers closer than this many pixels are drawn as one.
constexpr double merge_pixels = 6;
// How near the mouse must be to a marker for its tip.
constexpr double hover_pixels = 9;

QColor colour_of(map_content::kind what)
{
    switch (what) {
    case map_content::kind::own:
        return QColor(30, 110, 235);
    case map_content::kind::proposed:
        return QColor(245, 125, 20);
    case map_content::kind::typed:
        return QColor(215, 25, 60);
    case map_content::kind::track_proposal:
        return QColor(245, 125, 20);
    }
    return Qt::black;
}

const QColor track_colour(160, 30, 170);

} // namespace

// Draws the content in screen space: plain shapes, merged where they crowd,
// so that ten thousand photos still pan smoothly.
class map_window::marker_layer : public Marble::LayerInterface {
public:
    explicit marker_layer(const map_content& content)
        : content(content)
    {
        for (const map_content::kind what : { map_content::kind::own, map_content::kind::proposed,
                 map_content::kind::typed, map_content::kind::track_proposal }) {
            stamps[std::size_t(what) * 2] = make_stamp(what, false);
            stamps[std::size_t(what) * 2 + 1] = make_stamp(what, true);
        }
    }

    QStringList renderPosition() const override { return { QStringLiteral("HOVERS_ABOVE_SURFACE") }; }

    bool render(Marble::GeoPainter* geo_painter, Marble::ViewportParams* viewport, const QString&,
        Marble::GeoSceneLayer*) override
    {
        QPainter* painter = geo_painter;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        draw_track(painter, viewport);
        drawn = content.spots(
            [viewport](double lat, double lon) -> std::optional<QPointF> {
                qreal x = 0;
                qreal y = 0;
                if (!viewport->screenCoordinates(lon * Marble::DEG2RAD, lat * Marble::DEG2RAD, x, y))
                    return std::nullopt;
                return QPointF(x, y);
            },
            merge_pixels);
        // Own positions below, proposals above them.
        for (const map_content::kind what : { map_content::kind::own, map_content::kind::track_proposal,
                 map_content::kind::proposed, map_content::kind::typed }) {
            for (const map_content::spot& s : drawn) {
                if (s.what == what)
                    draw_spot(painter, s);
            }
        }
        painter->restore();
        return true;
    }

    // The drawn spots within reach of a point of the widget, the ones drawn
    // on top first.
    std::vector<const map_content::spot*> spots_near(const QPointF& at) const
    {
        std::vector<const map_content::spot*> near;
        for (const map_content::spot& s : drawn) {
            const QPointF d = s.at - at;
            if (d.x() * d.x() + d.y() * d.y() <= hover_pixels * hover_pixels)
                near.push_back(&s);
        }
        std::stable_sort(near.begin(), near.end(),
            [](const map_content::spot* a, const map_content::spot* b) { return int(a->what) > int(b->what); });
        return near;
    }

private:
    void draw_track(QPainter* painter, const Marble::ViewportParams* viewport) const
    {
        painter->setPen(QPen(track_colour, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        for (const map_content::line& line : content.track) {
            QPolygonF run;
            auto flush = [&] {
                if (run.size() > 1)
                    painter->drawPolyline(run);
                run.clear();
            };
            for (const auto& [lat, lon] : line) {
                qreal x = 0;
                qreal y = 0;
                if (!viewport->screenCoordinates(lon * Marble::DEG2RAD, lat * Marble::DEG2RAD, x, y)) {
                    flush();
                    continue;
                }
                // Points closer than a pixel add nothing but drawing time.
                if (!run.isEmpty() && std::fabs(run.last().x() - x) < 1 && std::fabs(run.last().y() - y) < 1)
                    continue;
                run << QPointF(x, y);
            }
            flush();
        }
    }

    // Each marker is a small picture drawn once and stamped where needed:
    // far cheaper than painting thousands of smooth shapes every frame.
    void draw_spot(QPainter* painter, const map_content::spot& s)
    {
        const bool many = s.photo_count > 1;
        const QImage& stamp = stamps[std::size_t(s.what) * 2 + (many ? 1 : 0)];
        painter->drawImage(s.at - QPointF(stamp.width(), stamp.height()) / 4.0, stamp);
        if (many && s.what != map_content::kind::own && s.what != map_content::kind::track_proposal)
            draw_count(painter, s.at + QPointF(9, -9), s.photo_count, colour_of(s.what));
    }

    // Twice the size, shown at device pixel ratio 2, so they stay sharp.
    static QImage make_stamp(map_content::kind what, bool many)
    {
        QImage image(44, 44, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(2);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QColor colour = colour_of(what);
        const QPointF c(11, 11);
        switch (what) {
        case map_content::kind::own:
            painter.setPen(QPen(Qt::white, 1.2));
            painter.setBrush(colour);
            painter.drawEllipse(c, many ? 5.0 : 4.0, many ? 5.0 : 4.0);
            break;
        case map_content::kind::track_proposal:
            painter.setPen(QPen(Qt::white, 1.2));
            painter.setBrush(colour);
            painter.drawEllipse(c, 3.5, 3.5);
            break;
        case map_content::kind::proposed:
            painter.setPen(QPen(colour, 2.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(c, 8.0, 8.0);
            break;
        case map_content::kind::typed:
            painter.setPen(QPen(Qt::white, 1.5));
            painter.setBrush(colour);
            painter.drawPolygon(QPolygonF({ c + QPointF(0, -9), c + QPointF(7, 0), c + QPointF(0, 9),
                c + QPointF(-7, 0) }));
            break;
        }
        return image;
    }

    // How many photos share a proposal, in a small badge beside it.
    static void draw_count(QPainter* painter, const QPointF& at, int count, const QColor& colour)
    {
        QFont font(QStringLiteral("FreeSansBold"));
        font.setPixelSize(11);
        painter->setFont(font);
        const QString text = QString::number(count);
        const QFontMetricsF metrics(font);
        const QRectF box(at.x(), at.y() - metrics.height() / 2 - 1, metrics.horizontalAdvance(text) + 8,
            metrics.height() + 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(colour);
        painter->drawRoundedRect(box, 4, 4);
        painter->setPen(Qt::white);
        painter->drawText(box, Qt::AlignCenter, text);
    }

    const map_content& content;
    std::vector<map_content::spot> drawn;
    QImage stamps[8];
};

map_window::map_window(const table_data_model& table, QWidget* parent)
    : QWidget(parent)
    , table(table)
{
    // The map library starts a web engine, which refuses to run as root
    // unless its sandbox is off; without this the program would abort here.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Its pages are never shown here; without OpenGL (remote displays, no
    // GPU) their scene would abort the program unless drawn in software.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    setWindowTitle(tr("Vestra - Map"));
    setStyleSheet(QStringLiteral("QWidget#map_bar{background-color: rgb(47,47,47);} "
                                 "QWidget#map_bar QLabel{color: rgb(198,213,210);} "
                                 "QWidget#map_bar QToolButton{color: rgb(198,213,210); background-color: rgb(70,70,70); "
                                 "border: 1px solid rgb(100,100,100); border-radius: 3px; padding: 3px 10px;} "
                                 "QWidget#map_bar QToolButton:hover{background-color: rgb(90,90,90);}"));

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("map_bar"));
    bar->setAttribute(Qt::WA_StyledBackground, true);
    auto* bar_layout = new QHBoxLayout(bar);
    bar_layout->setContentsMargins(8, 4, 8, 4);

    button_fit = new QToolButton(bar);
    button_fit->setText(tr("Show all"));
    button_fit->setToolTip(tr("Fit the view to all photos and the track"));
    bar_layout->addWidget(button_fit);
    bar_layout->addSpacing(12);

    auto legend = [&](map_content::kind what, const QString& text) {
        auto* label = new QLabel(bar);
        label->setText(QStringLiteral("<span style='color:%1; font-size:16px'>&#9679;</span> %2")
                           .arg(colour_of(what).name(), text.toHtmlEscaped()));
        bar_layout->addWidget(label);
    };
    legend(map_content::kind::own, tr("own position"));
    legend(map_content::kind::proposed, tr("proposed"));
    legend(map_content::kind::typed, tr("typed"));
    auto* track_label = new QLabel(bar);
    track_label->setText(QStringLiteral("<span style='color:%1; font-size:16px'>&#9473;</span> %2")
                             .arg(track_colour.name(), tr("track")));
    bar_layout->addWidget(track_label);
    bar_layout->addStretch();

    auto* theme_label = new QLabel(tr("Map:"), bar);
    bar_layout->addWidget(theme_label);
    theme_choice = new QComboBox(bar);
    theme_choice->addItem(tr("Plain (offline)"), QStringLiteral("plain"));
    theme_choice->addItem(tr("OpenStreetMap (needs a network)"), QStringLiteral("openstreetmap"));
    bar_layout->addWidget(theme_choice);

    marble = new Marble::MarbleWidget(this);
    marble->setProjection(Marble::Mercator);
    marble->setMapThemeId(theme_id(QStringLiteral("plain")));
    marble->setShowOverviewMap(false);
    marble->setShowCompass(false);
    marble->setShowCrosshairs(false);
    marble->setShowGrid(false);
    // Right clicks are ours; the built-in menu would look addresses up online.
    marble->inputHandler()->setMouseButtonPopupEnabled(Qt::RightButton, false);
    marble->inputHandler()->setMouseButtonPopupEnabled(Qt::LeftButton, false);
    marble->installEventFilter(this);
    marble->setMouseTracking(true);

    layer = std::make_unique<marker_layer>(shown);
    marble->addLayer(layer.get());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(marble, 1);

    QSettings settings;
    set_theme(settings.value(theme_key, QStringLiteral("plain")).toString());
    if (!restoreGeometry(settings.value(geometry_key).toByteArray()))
        resize(900, 650);

    connect(button_fit, &QToolButton::clicked, this, &map_window::fit_all);
    connect(theme_choice, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        const QString name = theme_choice->itemData(index).toString();
        set_theme(name);
        QSettings().setValue(theme_key, name);
    });

    connect(&table, &QAbstractItemModel::layoutChanged, this, &map_window::refresh);
    connect(&table, &QAbstractItemModel::modelReset, this, &map_window::refresh);
    connect(&table, &QAbstractItemModel::rowsInserted, this, &map_window::refresh);
    connect(&table, &QAbstractItemModel::rowsRemoved, this, &map_window::refresh);
    connect(&table, &QAbstractItemModel::dataChanged, this, &map_window::refresh);
}

map_window::~map_window()
{
    // Deleted with the main window, possibly while still open.
    if (isVisible())
        QSettings().setValue(geometry_key, saveGeometry());
    marble->removeLayer(layer.get());
}

QString map_window::theme() const
{
    return marble->mapThemeId() == theme_id(QStringLiteral("openstreetmap")) ? QStringLiteral("openstreetmap")
                                                                               : QStringLiteral("plain");
}

void map_window::set_theme(const QString& name)
{
    marble->setMapThemeId(theme_id(name));
    // Every plugin that might fetch from the network, or clutter the photos,
    // stays off; only the scale bar is worth its room.
    for (Marble::RenderPlugin* plugin : marble->renderPlugins()) {
        const bool wanted = plugin->nameId() == QLatin1String("scalebar");
        if (plugin->renderType() == Marble::RenderPlugin::OnlineRenderType || plugin->renderType() == Marble::RenderPlugin::PanelRenderType
            || plugin->nameId() == QLatin1String("overviewmap") || plugin->nameId() == QLatin1String("compass")
            || plugin->nameId() == QLatin1String("navigation") || wanted) {
            plugin->setEnabled(wanted);
            plugin->setVisible(wanted);
        }
    }
    const int index = theme_choice->findData(theme());
    theme_choice->setCurrentIndex(index);
}

void map_window::refresh()
{
    stale = true;
    if (!isVisible() || rebuild_queued)
        return;
    rebuild_queued = true;
    QTimer::singleShot(0, this, [this] { rebuild(); });
}

void map_window::rebuild()
{
    rebuild_queued = false;
    if (!stale)
        return;
    stale = false;
    shown = map_content::of(table.photos(), table.results(), table.settings());
    marble->update();
}

void map_window::fit_all()
{
    if (stale)
        rebuild();
    const auto all = shown.bounds();
    if (!all)
        return;
    const double lat = (all->north + all->south) / 2;
    const double lon = (all->west + all->east) / 2;
    marble->centerOn(lon, lat, false);
    // The plain map's theme stops zooming at a region, where a day's walk is
    // one blob; so the scale is set from a measurement instead: distances on
    // screen grow with the radius.
    const auto pixels = [this](double lat, double lon) {
        qreal x = 0;
        qreal y = 0;
        marble->viewport()->screenCoordinates(lon * Marble::DEG2RAD, lat * Marble::DEG2RAD, x, y);
        return QPointF(x, y);
    };
    const QPointF span = pixels(all->south, all->east) - pixels(all->north, all->west);
    const double room_x = std::max(marble->width() - 160, 40);
    const double room_y = std::max(marble->height() - 160, 40);
    const double scale = std::min(room_x / std::max(std::fabs(span.x()), 1e-9), room_y / std::max(std::fabs(span.y()), 1e-9));
    // A single spot, or a few metres: about two metres to the pixel.
    const double widest = 3e6;
    const double radius = std::min(marble->radius() * scale, widest);
    marble->setRadius(int(std::max(radius, 100.0)));
    marble->centerOn(lon, lat, false);
}

void map_window::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (stale)
        rebuild();
    if (!fitted) {
        fitted = true;
        // After the layout has given the map its size.
        QTimer::singleShot(0, this, &map_window::fit_all);
    }
}

void map_window::hideEvent(QHideEvent* event)
{
    QSettings().setValue(geometry_key, saveGeometry());
    QWidget::hideEvent(event);
}

bool map_window::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == marble) {
        if (event->type() == QEvent::MouseMove) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() == Qt::NoButton)
                show_tool_tip(mouse->pos());
        } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                if (event->type() == QEvent::MouseButtonRelease)
                    offer_position(mouse->pos());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void map_window::show_tool_tip(const QPoint& at)
{
    QStringList tips;
    for (const map_content::spot* s : layer->spots_near(at)) {
        std::vector<const map_content::marker*> here;
        for (const int i : s->members)
            here.push_back(&shown.markers[std::size_t(i)]);
        tips << map_content::tool_tip(here);
    }
    if (tips.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(marble->mapToGlobal(at), tips.join(QStringLiteral("<hr>")), marble);
}

void map_window::offer_position(const QPoint& at)
{
    qreal lon = 0;
    qreal lat = 0;
    if (!marble->geoCoordinates(at.x(), at.y(), lon, lat, Marble::GeoDataCoordinates::Degree))
        return;
    QMenu menu(this);
    menu.addSection(QStringLiteral("%1, %2").arg(lat, 0, 'f', 6).arg(lon, 0, 'f', 6));
    QAction* use = menu.addAction(tr("Use this position"));
    if (menu.exec(marble->mapToGlobal(at)) == use)
        emit position_chosen(lat, lon);
}
