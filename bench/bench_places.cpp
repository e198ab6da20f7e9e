// Times the places unit: reading the gazetteer and building the index, naming
// 10,000 positions spread over the globe, and searching by typed names.
//
//   bench_places [--reps N]
//
// Prints median and best of the repetitions in ms. The checksum covers every
// place found, so two builds of the index can be compared.

#include "places/place_index.h"
#include "places/places.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

struct timing {
    double median;
    double best;
};

template <typename Work> timing time_ms(int reps, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return { times[times.size() / 2], times.front() };
}

void report(const char* what, int reps, timing t, unsigned long long checksum)
{
    std::printf("%-40s %5d %9.2f %9.2f  %016llx\n", what, reps, t.median, t.best, checksum);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int reps = 9;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps"))
            reps = std::max(1, args[++i].toInt());
    }

    std::printf("%-40s %5s %9s %9s  %s\n", "case", "reps", "median", "best", "checksum");
    unsigned long long sum = 0;
    const timing read = time_ms(reps, [&] { sum = read_gazetteer().size(); });
    report("read gazetteer", reps, read, sum);
    const timing build = time_ms(reps, [&] {
        const place_index index(read_gazetteer());
        sum = index.entries().size();
    });
    report("read gazetteer and build index", reps, build, sum);

    std::mt19937 random(20240601u);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<std::pair<double, double>> positions(10000);
    for (auto& position : positions)
        position = { std::asin(unit(random)) * 180 / M_PI, unit(random) * 180 };
    nearest_place(0, 0); // the shared index, built once

    const timing nearest = time_ms(reps, [&] {
        sum = 0;
        for (const auto& position : positions)
            sum = sum * 31 + unsigned(place_index::shared().nearest(position.first, position.second));
    });
    report("nearest of 10,000 positions", reps, nearest, sum);
    const timing named = time_ms(reps, [&] {
        sum = 0;
        for (const auto& position : positions) {
            const auto found = nearest_place(position.first, position.second);
            sum = sum * 31 + unsigned(describe_place(found->where, found->km).size());
        }
    });
    report("name 10,000 positions with description", reps, named, sum);

    // Whole names, and their first three letters, of 1,000 places.
    const auto& entries = place_index::shared().entries();
    QStringList typed;
    for (int i = 0; i < 1000; ++i) {
        const QString name = entries[std::size_t(random()) % entries.size()].where.name;
        typed << (i % 2 ? name : name.left(3));
    }
    const timing keys = time_ms(1, [&] { sum = std::size_t(search_places(QStringLiteral("a")).size()); });
    report("first search, building name keys", 1, keys, sum);
    const timing searched = time_ms(reps, [&] {
        sum = 0;
        for (const QString& text : typed)
            sum = sum * 31 + unsigned(search_places(text).size());
    });
    report("search 1,000 names or prefixes", reps, searched, sum);
    return 0;
}
