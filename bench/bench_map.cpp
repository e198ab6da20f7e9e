// Times the map with many photos: reading its content from the table, and
// drawing a frame (the map and the markers) at the fitted view and zoomed in,
// as panning and zooming do on every step.

#include "map/map_window.h"
#include "model/table_data_model.h"

#include <marble/MarbleWidget.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

// Photos spread over a day's walk of some 20 km, every one with a position.
void fill(table_data_model& table, int count)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(-0.1, 0.1);
    std::vector<photo_facts> photos;
    for (int i = 0; i < count; ++i) {
        photo_facts p;
        p.path = QStringLiteral("/photos/IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
        p.taken = QDateTime(QDate(2019, 5, 1), QTime(8, 0).addSecs(i * 3));
        p.time_from = time_source::camera;
        p.own = lat_lon { 47.25 + spread(random), 11.40 + spread(random) };
        photos.push_back(p);
    }
    table.add_photos(photos);
}

template <typename F> double median_ms(int reps, F&& work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%8s %14s %14s %14s %14s\n", "photos", "content ms", "frame ms", "zoomed x8 ms", "empty frame ms");
    for (const int count : { 1000, 10000 }) {
        table_data_model table;
        fill(table, count);
        map_window window(table);
        window.resize(900, 650);
        window.show();
        QCoreApplication::processEvents();
        window.fit_all();
        QImage frame(window.map()->size(), QImage::Format_ARGB32_Premultiplied);
        auto draw = [&] {
            QPainter painter(&frame);
            window.map()->render(&painter);
        };
        const double content = median_ms(5, [&] { window.refresh(), QCoreApplication::processEvents(); });
        draw();
        const double fitted = median_ms(9, draw);
        const int radius = window.map()->radius();
        window.map()->setRadius(radius * 8);
        const double zoomed = median_ms(9, draw);
        window.map()->setRadius(radius);
        table_data_model none;
        map_window plain(none);
        plain.resize(900, 650);
        plain.show();
        QCoreApplication::processEvents();
        plain.map()->setRadius(radius);
        plain.map()->centerOn(11.4, 47.25);
        QImage empty(plain.map()->size(), QImage::Format_ARGB32_Premultiplied);
        const double bare = median_ms(9, [&] {
            QPainter painter(&empty);
            plain.map()->render(&painter);
        });
        std::printf("%8d %14.1f %14.1f %14.1f %14.1f\n", count, content, fitted, zoomed, bare);
    }
    return 0;
}
