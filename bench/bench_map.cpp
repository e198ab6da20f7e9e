// Times the map with many photos: reading its content from the table, and
// drawing a frame (the map and the markers) at the fitted view and zoomed in,
// as panning and zooming do on every step.

#include "exif/exif_cache.h"
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

class bench_table : public table_data_model {
public:
    using table_data_model::add_cached_file;
};

std::string two_digits(int value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Photos spread over a day's walk of some 20 km, every one with a position.
void fill(bench_table& table, int count)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(-0.1, 0.1);
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("/photos/IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
        auto& entry = exif_cache::instance()->derived_info[ktk::string(path.toUtf8().toStdString())];
        const QTime t = QTime(8, 0).addSecs(i * 3);
        entry["has_data"] = "true";
        entry["rec_year"] = "2019";
        entry["rec_month"] = "05";
        entry["rec_day"] = "01";
        entry["rec_hour"] = two_digits(t.hour());
        entry["rec_minute"] = two_digits(t.minute());
        entry["rec_second"] = two_digits(t.second());
        const QString lat = QString::number(47.25 + spread(random), 'f', 6);
        const QString lon = QString::number(11.40 + spread(random), 'f', 6);
        entry["has_gps_position"] = "true";
        entry["gps_lat"] = lat.toStdString();
        entry["gps_lat_ref"] = "N";
        entry["gps_lon"] = lon.toStdString();
        entry["gps_lon_ref"] = "E";
        entry["gps_numerical"] = (lat + ", " + lon).toStdString();
        table.add_cached_file(path, false);
    }
    table.build_cache();
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
        exif_cache::instance()->derived_info.clear();
        bench_table table;
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
        bench_table none;
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
