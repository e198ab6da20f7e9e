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
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QShortcut>
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

// One tile of the online map: small, and what every first view fetches anyway.
const char* const probe_url = "https://a.tile.openstreetmap.org/0/0/0.png";
constexpr int probe_timeout_msecs = 4000;

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
    case map_content::kind::manual:
        return QColor(30, 170, 90);
    }
    return Qt::black;
}

const QColor track_colour(160, 30, 170);
// Light, with a dark edge: seen on the dark plain map and on light tiles.
const QColor selected_colour(255, 230, 70);

// Own positions below, proposals above them, what was set by hand on top.
constexpr map_content::kind draw_order[] = { map_content::kind::own, map_content::kind::track_proposal,
    map_content::kind::proposed, map_content::kind::typed, map_content::kind::manual };

int draw_rank(map_content::kind what)
{
    return int(std::find(std::begin(draw_order), std::end(draw_order), what) - std::begin(draw_order));
}

} // namespace

// Draws the content in screen space: plain shapes, merged where they crowd,
// so that ten thousand photos still pan smoothly.
class map_window::marker_layer : public Marble::LayerInterface {
public:
    marker_layer(const map_content& content, const std::vector<bool>& chosen, const int& chosen_count)
        : content(content)
        , chosen(chosen)
        , chosen_count(chosen_count)
    {
        for (const map_content::kind what : draw_order) {
            stamps[std::size_t(what) * 2] = make_stamp(what, false);
            stamps[std::size_t(what) * 2 + 1] = make_stamp(what, true);
        }
    }

    // The content changed: what was drawn of the old one is no target.
    void forget() { drawn.clear(); }

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
        for (const map_content::kind what : draw_order) {
            for (const map_content::spot& s : drawn) {
                if (s.what == what)
                    draw_spot(painter, s, chosen_count > 0 && content.touches(s, chosen));
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
        std::stable_sort(
            near.begin(), near.end(), [](const map_content::spot* a, const map_content::spot* b) {
                return draw_rank(a->what) > draw_rank(b->what);
            });
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
    void draw_spot(QPainter* painter, const map_content::spot& s, bool selected)
    {
        const bool many = s.photo_count > 1;
        if (selected) {
            const double r = s.what == map_content::kind::proposed ? 11.5 : 9.0;
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(QColor(0, 0, 0, 150), 5));
            painter->drawEllipse(s.at, r, r);
            painter->setPen(QPen(selected_colour, 3));
            painter->drawEllipse(s.at, r, r);
        }
        const QImage& stamp = stamps[std::size_t(s.what) * 2 + (many ? 1 : 0)];
        painter->drawImage(s.at - QPointF(stamp.width(), stamp.height()) / 4.0, stamp);
        if (many) {
            // Own positions and the track's points lie under proposals of the
            // same spot: their badges go below, the others' above.
            const bool below
                = s.what == map_content::kind::own || s.what == map_content::kind::track_proposal;
            draw_count(painter, s.at + QPointF(8, below ? 8 : -9), map_content::badge(s.photo_count),
                colour_of(s.what));
        }
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
        case map_content::kind::manual:
            painter.setPen(QPen(Qt::white, 1.5));
            painter.setBrush(colour);
            painter.drawRoundedRect(QRectF(c - QPointF(5.5, 5.5), QSizeF(11, 11)), 2, 2);
            break;
        }
        return image;
    }

    // How many photos a spot stands for, in a small badge beside it: white
    // on near black, edged in the kind's colour.
    static void draw_count(QPainter* painter, const QPointF& at, const QString& text, const QColor& colour)
    {
        QFont font(QStringLiteral("FreeSansBold"));
        font.setPixelSize(11);
        font.setBold(true);
        painter->setFont(font);
        const QFontMetricsF metrics(font);
        const QRectF box(at.x(), at.y() - metrics.height() / 2 - 1, metrics.horizontalAdvance(text) + 8,
            metrics.height() + 2);
        painter->setPen(QPen(colour, 1.5));
        painter->setBrush(QColor(25, 25, 25, 225));
        painter->drawRoundedRect(box, 4, 4);
        painter->setPen(Qt::white);
        painter->drawText(box, Qt::AlignCenter, text);
    }

    const map_content& content;
    const std::vector<bool>& chosen;
    const int& chosen_count;
    std::vector<map_content::spot> drawn;
    QImage stamps[map_content::kind_count * 2];
};

map_window::map_window(const table_data_model& table, QWidget* parent)
    : QWidget(parent)
    , table(table)
{
    // Esc closes the map as it closes dialogs.
    auto* close_on_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close_on_escape, &QShortcut::activated, this, &QWidget::close);
    // The map library starts a web engine, which refuses to run as root
    // unless its sandbox is off; without this the program would abort here.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Its pages are never shown here; without OpenGL (remote displays, no
    // GPU) their scene would abort the program unless drawn in software.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    setWindowTitle(tr("Vestra - Map"));
    setStyleSheet(QStringLiteral(
        "QWidget#map_bar{background-color: rgb(47,47,47);} "
        "QWidget#map_bar QLabel{color: rgb(198,213,210);} "
        "QWidget#map_bar QLabel#network_note{color: rgb(240,190,90);} "
        "QWidget#map_bar QToolButton{color: rgb(198,213,210); background-color: rgb(70,70,70); "
        "border: 1px solid rgb(100,100,100); border-radius: 3px; padding: 3px 10px;} "
        "QWidget#map_bar QToolButton:hover{background-color: rgb(90,90,90);} "
        "QWidget#map_bar QToolButton:disabled{color: rgb(120,120,120);}"));

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("map_bar"));
    bar->setAttribute(Qt::WA_StyledBackground, true);
    auto* bar_layout = new QHBoxLayout(bar);
    bar_layout->setContentsMargins(8, 4, 8, 4);

    button_fit = new QToolButton(bar);
    button_fit->setText(tr("Show all"));
    button_fit->setToolTip(tr("Fit the view to all photos and the track"));
    bar_layout->addWidget(button_fit);
    button_fit_selection = new QToolButton(bar);
    button_fit_selection->setText(tr("Fit selection"));
    button_fit_selection->setToolTip(
        tr("Fit the view to the selected photos, where they are and where they would go"));
    button_fit_selection->setEnabled(false);
    bar_layout->addWidget(button_fit_selection);
    bar_layout->addSpacing(12);

    auto legend = [&](const QString& symbol, const QColor& colour, const QString& text) {
        auto* label = new QLabel(bar);
        label->setText(QStringLiteral("<span style='color:%1; font-size:16px'>%2</span> %3")
                           .arg(colour.name(), symbol, text.toHtmlEscaped()));
        bar_layout->addWidget(label);
    };
    const QString dot = QStringLiteral("&#9679;");
    legend(dot, colour_of(map_content::kind::own), tr("own position"));
    legend(QStringLiteral("&#9675;"), colour_of(map_content::kind::proposed), tr("proposed"));
    legend(QStringLiteral("&#9670;"), colour_of(map_content::kind::typed), tr("typed"));
    legend(QStringLiteral("&#9632;"), colour_of(map_content::kind::manual), tr("set by hand"));
    legend(QStringLiteral("&#9473;"), track_colour, tr("track"));
    legend(QStringLiteral("&#9711;"), selected_colour, tr("selected"));
    bar_layout->addStretch();

    network_note = new QLabel(bar);
    network_note->setObjectName(QStringLiteral("network_note"));
    network_note->hide();
    bar_layout->addWidget(network_note);
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
    marble->setAcceptDrops(true);

    layer = std::make_unique<marker_layer>(shown, chosen, chosen_count);
    marble->addLayer(layer.get());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(marble, 1);

    QSettings settings;
    const QString stored = settings.value(theme_key).toString();
    set_theme(stored.isEmpty() ? QStringLiteral("plain") : stored);
    if (!restoreGeometry(settings.value(geometry_key).toByteArray()))
        resize(900, 650);

    connect(button_fit, &QToolButton::clicked, this, &map_window::fit_all);
    connect(button_fit_selection, &QToolButton::clicked, this, &map_window::fit_selection);
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

    // Only the online map needs to know.
    if (stored != QLatin1String("plain"))
        probe_tiles();
}

map_window::~map_window()
{
    // Deleted with the main window, possibly while still open.
    if (isVisible())
        QSettings().setValue(geometry_key, saveGeometry());
    marble->removeLayer(layer.get());
}

QString map_window::photos_mime_type()
{
    return QStringLiteral("application/x-vestra-photos");
}

void map_window::set_selection_model(QItemSelectionModel* model)
{
    if (selection)
        disconnect(selection, nullptr, this, nullptr);
    selection = model;
    if (selection)
        connect(selection, &QItemSelectionModel::selectionChanged, this, &map_window::read_selection);
    read_selection();
}

void map_window::read_selection()
{
    chosen.assign(table.photos().size(), false);
    chosen_count = 0;
    if (selection) {
        // Ranges rather than indexes: a whole table selected is one range.
        for (const QItemSelectionRange& range : selection->selection()) {
            for (int row = std::max(range.top(), 0); row <= range.bottom() && row < int(chosen.size());
                 ++row) {
                if (!chosen[std::size_t(row)])
                    ++chosen_count;
                chosen[std::size_t(row)] = true;
            }
        }
    }
    button_fit_selection->setEnabled(chosen_count > 0);
    marble->update();
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

void map_window::probe_tiles()
{
    // Tests and machines known to be offline say so, and nothing is sent.
    if (qEnvironmentVariableIsSet("VESTRA_OFFLINE")) {
        tiles_reachable(false);
        return;
    }
    auto* network = new QNetworkAccessManager(this);
    QNetworkRequest request { QUrl(QString::fromLatin1(probe_url)) };
    // The tile servers turn away requests that do not say who asks.
    request.setHeader(QNetworkRequest::UserAgentHeader,
        QStringLiteral("%1/%2").arg(
            QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
    request.setTransferTimeout(probe_timeout_msecs);
    QNetworkReply* reply = network->head(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, network] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        tiles_reachable(reply->error() == QNetworkReply::NoError && status >= 200 && status < 400);
        network->deleteLater();
    });
}

void map_window::tiles_reachable(bool reachable)
{
    // A choice of the user's stands; only the default follows the network.
    if (!QSettings().contains(theme_key))
        set_theme(reachable ? QStringLiteral("openstreetmap") : QStringLiteral("plain"));
    if (reachable) {
        network_note->hide();
        theme_choice->setToolTip({});
        return;
    }
    const bool plain = theme() == QLatin1String("plain");
    network_note->setText(plain ? tr("Offline: the plain map") : tr("Offline: no new tiles"));
    theme_choice->setToolTip(plain
            ? tr("The OpenStreetMap tiles could not be reached, so the plain map is shown.")
            : tr("The OpenStreetMap tiles could not be reached; only those fetched before show."));
    network_note->setToolTip(theme_choice->toolTip());
    network_note->show();
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
    layer->forget();
    // Rows moved or went with the table; the selection model followed them.
    read_selection();
}

void map_window::fit_all()
{
    if (stale)
        rebuild();
    if (const auto all = shown.bounds())
        fit(*all);
}

void map_window::fit_selection()
{
    if (stale)
        rebuild();
    if (const auto picked = shown.bounds(chosen))
        fit(*picked);
}

void map_window::fit(const map_content::box& area)
{
    const double lat = (area.north + area.south) / 2;
    const double lon = (area.west + area.east) / 2;
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
    const QPointF span = pixels(area.south, area.east) - pixels(area.north, area.west);
    const double room_x = std::max(marble->width() - 160, 40);
    const double room_y = std::max(marble->height() - 160, 40);
    const double scale = std::min(
        room_x / std::max(std::fabs(span.x()), 1e-9), room_y / std::max(std::fabs(span.y()), 1e-9));
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
    if (watched != marble)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() == Qt::NoButton)
            show_tool_tip(mouse->pos());
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            if (event->type() == QEvent::MouseButtonRelease)
                offer_position(mouse->pos());
            return true;
        }
        if (mouse->button() != Qt::LeftButton)
            break;
        if (event->type() == QEvent::MouseButtonPress)
            pressed_at = mouse->pos();
        // A drag pans the map; only a click selects.
        else if ((mouse->pos() - pressed_at).manhattanLength() <= 3)
            click(mouse->pos(), mouse->modifiers() & Qt::ControlModifier);
        break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return drop(event);
    default:
        break;
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

void map_window::click(const QPoint& at, bool add)
{
    const auto near = layer->spots_near(at);
    if (near.empty() || !selection || !selection->model())
        return;
    const QAbstractItemModel* model = selection->model();
    const std::vector<int> rows = shown.photo_indexes(*near.front());
    const int last_column = std::max(model->columnCount() - 1, 0);
    // Runs of rows as one range each: a thousand photos on one spot cost one.
    QItemSelection picked;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        if (rows[j] < model->rowCount())
            picked.select(model->index(rows[i], 0),
                model->index(std::min(rows[j], model->rowCount() - 1), last_column));
        i = j + 1;
    }
    if (picked.isEmpty())
        return;
    selection->select(picked,
        (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect)
            | QItemSelectionModel::Rows);
    // The table scrolls to the first of them.
    selection->setCurrentIndex(model->index(rows.front(), 0), QItemSelectionModel::NoUpdate);
}

void map_window::offer_position(const QPoint& at)
{
    qreal lon = 0;
    qreal lat = 0;
    if (!marble->geoCoordinates(at.x(), at.y(), lon, lat, Marble::GeoDataCoordinates::Degree))
        return;
    QMenu menu(this);
    menu.addSection(QStringLiteral("%1, %2").arg(lat, 0, 'f', 6).arg(lon, 0, 'f', 6));
    QAction* place = menu.addAction(chosen_count == 0 ? tr("Place the selected photos here")
            : chosen_count == 1                       ? tr("Place the selected photo here")
                                : tr("Place the %1 selected photos here").arg(chosen_count));
    place->setObjectName(QStringLiteral("place_here"));
    if (chosen_count == 0) {
        place->setEnabled(false);
        menu.addAction(tr("None selected: select photos in the table or click their markers"))
            ->setEnabled(false);
    }
    if (menu.exec(marble->mapToGlobal(at)) == place)
        emit place_here(lat, lon);
}

bool map_window::drop(QEvent* event)
{
    auto* dropped = static_cast<QDropEvent*>(event);
    if (!dropped->mimeData() || !dropped->mimeData()->hasFormat(photos_mime_type()))
        return false;
    qreal lon = 0;
    qreal lat = 0;
    const QPoint at = dropped->pos();
    const bool on_map = marble->geoCoordinates(at.x(), at.y(), lon, lat, Marble::GeoDataCoordinates::Degree);
    if (event->type() == QEvent::DragEnter) {
        // Entering over space beside the globe still lets the drag go on.
        dropped->acceptProposedAction();
        return true;
    }
    if (!on_map) {
        dropped->ignore();
        return true;
    }
    dropped->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        QStringList paths = QString::fromUtf8(dropped->mimeData()->data(photos_mime_type()))
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& path : paths)
            path = path.trimmed();
        paths.removeAll(QString());
        if (!paths.isEmpty())
            emit photos_dropped(paths, lat, lon);
    }
    return true;
}
