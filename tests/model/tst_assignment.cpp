#include "model_fixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QDate day(2019, 5, 1);

QString source_lat(int id)
{
    return QString::number(id) + QStringLiteral(".000000");
}

QString source_lon(int id)
{
    return QString::number(10 + id) + QStringLiteral(".000000");
}

// Photos as "10:00:00 @1; +1/10:05:00; -": a time of day, optionally some
// days after (or before) the first of May ("-" for no time at all), and "@k"
// for a photo carrying GPS position k of its own. Returns the paths in the
// order given.
QStringList put_photos(const QString& photos)
{
    QStringList paths;
    const QStringList items = photos.split(';', Qt::SkipEmptyParts);
    for (const QString& item : items) {
        const QStringList parts = item.simplified().split(' ');
        const QString path = QStringLiteral("/photos/p%1.jpg").arg(paths.size());
        QDateTime time;
        if (parts[0] != QLatin1String("-")) {
            const int days = parts[0].contains('/') ? parts[0].section('/', 0, 0).toInt() : 0;
            const QTime clock = QTime::fromString(parts[0].section('/', -1), QStringLiteral("hh:mm:ss"));
            time = QDateTime(day.addDays(days), clock);
        }
        if (parts.size() > 1) {
            const int id = parts[1].mid(1).toInt();
            put_photo(path, time, source_lat(id), source_lon(id));
        } else {
            put_photo(path, time);
        }
        paths.append(path);
    }
    return paths;
}

int row_of(const table_data_model& model, const QString& path)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.data(model.index(row, 0), Qt::UserRole).toString() == path)
            return row;
    return -1;
}

// "<1" own GPS 1, "^1" and "v1" proposals of source 1 with the up or down
// arrow, "?" none; checks on the way that the user role of column 2 agrees.
QString outcome(const table_data_model& model, const QString& path)
{
    const int row = row_of(model, path);
    const QString text = model.data(model.index(row, 2)).toString();
    const QVariant pos = model.data(model.index(row, 2), Qt::UserRole);
    const int gap = text.indexOf(QStringLiteral("  "));
    const QString marker = text.left(gap);
    const QString label = text.mid(gap + 2);
    if (marker == QLatin1String("?")) {
        if (label != QLatin1String("-") || !pos.isValid() || pos.value<gps_pos>() != gps_pos())
            return QStringLiteral("bad none: ") + text;
        return QStringLiteral("?");
    }
    const QString id = label.section('.', 0, 0);
    const QString expected_label = source_lat(id.toInt()) + QStringLiteral(", ") + source_lon(id.toInt());
    if (label != expected_label)
        return QStringLiteral("bad label: ") + text;
    if (marker == QString(QChar(0x2190)))
        return pos.isValid() ? QStringLiteral("bad own: ") + text : QStringLiteral("<") + id;
    const gps_pos p = pos.value<gps_pos>();
    if (p.lat_numerical != source_lat(id.toInt()) || p.lon_numerical != source_lon(id.toInt())
        || p.lat != p.lat_numerical || p.lat_ref != QLatin1String("N") || p.lon_ref != QLatin1String("E"))
        return QStringLiteral("bad position: ") + text;
    if (marker == QString(QChar(0x2191)))
        return QStringLiteral("^") + id;
    if (marker == QString(QChar(0x2193)))
        return QStringLiteral("v") + id;
    return QStringLiteral("bad marker: ") + text;
}

QString swap_arrows(QString expected)
{
    expected.replace('^', '#').replace('v', '^').replace('#', 'v');
    return expected;
}

} // namespace

class tst_assignment : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void assignment_data();
    void assignment();
    void assignment_descending_data() { assignment_data(); }
    void assignment_descending();

    void invalid_time_is_within_every_limit_data();
    void invalid_time_is_within_every_limit();

    void set_position_data();
    void set_position();

    void unknown_mode_data();
    void unknown_mode();

    void track_mode_data();
    void track_mode();

    void slots_rebuild_in_every_mode();
    void slot_signals();

private:
    // Sets up the photos, then the limit and the mode, then sorts.
    void run(const QString& photos, int mode, int limit, Qt::SortOrder order);

    std::unique_ptr<probe_model> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QStringList paths;
};

void tst_assignment::init()
{
    clear_metadata();
    model = std::make_unique<probe_model>();
    tester = std::make_unique<QAbstractItemModelTester>(
        model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    paths.clear();
}

void tst_assignment::cleanup()
{
    tester.reset();
    model.reset();
}

void tst_assignment::run(const QString& photos, int mode, int limit, Qt::SortOrder order)
{
    paths = put_photos(photos);
    for (const QString& path : paths)
        model->add_cached_file(path, true);
    model->gps_max_time_difference(limit);
    model->gps_sync_order_changed(mode);
    model->sort(1, order);
}

void tst_assignment::assignment_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("photos");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no photos") << 0 << -1 << ""
                               << "";
    // P1 (GPS, 10:00), P2 (none, 10:05), P3 (GPS, 10:06).
    const QString three = QStringLiteral("10:00:00 @1; 10:05:00; 10:06:00 @2");
    QTest::newRow("previous, both sides") << 0 << -1 << three << "<1 ^1 <2";
    QTest::newRow("next, both sides") << 1 << -1 << three << "<1 v2 <2";
    QTest::newRow("closest, later nearer") << 2 << -1 << three << "<1 v2 <2";
    QTest::newRow("closest, earlier nearer") << 2 << -1 << "10:00:00 @1; 10:01:00; 10:06:00 @2"
                                             << "<1 ^1 <2";
    QTest::newRow("closest, equal distance takes the later")
        << 2 << -1 << "10:00:00 @1; 10:05:00; 10:10:00 @2"
        << "<1 v2 <2";

    QTest::newRow("previous, source before only") << 0 << -1 << "10:00:00 @1; 10:05:00"
                                                  << "<1 ^1";
    QTest::newRow("previous, source after only") << 0 << -1 << "10:00:00; 10:05:00 @1"
                                                 << "? <1";
    QTest::newRow("next, source after only") << 1 << -1 << "10:00:00; 10:05:00 @1"
                                             << "v1 <1";
    QTest::newRow("next, source before only") << 1 << -1 << "10:00:00 @1; 10:05:00"
                                              << "<1 ?";
    QTest::newRow("closest, source before only") << 2 << -1 << "10:00:00 @1; 10:05:00"
                                                 << "<1 ^1";
    QTest::newRow("closest, source after only") << 2 << -1 << "10:00:00; 10:05:00 @1"
                                                << "v1 <1";
    for (int mode : { 0, 1, 2 })
        QTest::addRow("mode %d, no source", mode) << mode << -1 << "10:00:00; 10:05:00"
                                                  << "? ?";

    QTest::newRow("nearest source wins in a run")
        << 0 << -1 << "10:00:00 @1; 10:01:00 @2; 10:02:00; 10:03:00 @3; 10:04:00"
        << "<1 <2 ^2 <3 ^3";
    QTest::newRow("input order does not matter") << 1 << -1 << "10:06:00 @2; 10:05:00; 10:00:00 @1"
                                                 << "<2 v2 <1";

    QTest::newRow("previous, 300 s accepted") << 0 << 5 << "10:00:00 @1; 10:05:00"
                                              << "<1 ^1";
    QTest::newRow("previous, 301 s refused") << 0 << 5 << "10:00:00 @1; 10:05:01"
                                             << "<1 ?";
    QTest::newRow("next, 300 s accepted") << 1 << 5 << "10:00:00; 10:05:00 @1"
                                          << "v1 <1";
    QTest::newRow("next, 301 s refused") << 1 << 5 << "09:59:59; 10:05:00 @1"
                                         << "? <1";
    QTest::newRow("closest, 300 s accepted") << 2 << 5 << "10:00:00 @1; 10:05:00; 10:10:01 @2"
                                             << "<1 ^1 <2";
    QTest::newRow("closest, 301 s refused on both sides") << 2 << 5 << "10:00:00 @1; 10:05:01; 10:10:02 @2"
                                                          << "<1 ? <2";
    QTest::newRow("one day accepted") << 0 << 1440 << "10:00:00 @1; +1/10:00:00"
                                      << "<1 ^1";
    QTest::newRow("one day and 1 s refused") << 0 << 1440 << "10:00:00 @1; +1/10:00:01"
                                             << "<1 ?";
    QTest::newRow("limit 0 disabled") << 0 << 0 << "00:00:00 @1; 23:59:59"
                                      << "<1 ^1";
    QTest::newRow("limit -1 disabled") << 2 << -1 << "-1/00:00:00 @1; 23:59:59"
                                       << "<1 ^1";

    QTest::newRow("previous, near source on the wrong side") << 0 << 5 << "10:00:00 @1; 10:30:00; 10:31:00 @2"
                                                             << "<1 ? <2";
    QTest::newRow("next, near source on the wrong side") << 1 << 5 << "10:00:00 @1; 10:01:00; 10:31:00 @2"
                                                         << "<1 ? <2";
    QTest::newRow("closest, earlier too far, later near") << 2 << 5 << "10:00:00 @1; 10:30:00; 10:34:00 @2"
                                                          << "<1 v2 <2";
    QTest::newRow("closest, earlier near, later too far") << 2 << 5 << "10:00:00 @1; 10:04:00; 10:34:00 @2"
                                                          << "<1 ^1 <2";
    QTest::newRow("proposals are not passed on") << 0 << 5 << "10:00:00 @1; 10:04:00; 10:08:00"
                                                 << "<1 ^1 ?";
}

void tst_assignment::assignment()
{
    QFETCH(int, mode);
    QFETCH(int, limit);
    QFETCH(QString, photos);
    QFETCH(QString, expected);

    run(photos, mode, limit, Qt::AscendingOrder);
    QStringList outcomes;
    for (const QString& path : paths)
        outcomes << outcome(*model, path);
    QCOMPARE(outcomes.join(' '), expected);
    QCOMPARE(model->all_files_assigned(), !expected.contains('?'));
    QVERIFY(!model->would_overwrite_data());
    QVERIFY(!model->remove_gps_except_position());
}

void tst_assignment::assignment_descending()
{
    QFETCH(int, mode);
    QFETCH(int, limit);
    QFETCH(QString, photos);
    QFETCH(QString, expected);
    run(photos, mode, limit, Qt::DescendingOrder);
    QStringList outcomes;
    for (const QString& path : paths)
        outcomes << outcome(*model, path);
    QCOMPARE(outcomes.join(' '), swap_arrows(expected));
}

void tst_assignment::invalid_time_is_within_every_limit_data()
{
    QTest::addColumn<QString>("photos");
    QTest::addColumn<int>("photo");
    QTest::addColumn<QString>("source");

    QTest::newRow("photo without a time") << "08:00:00 @1; -" << 1 << "1";
    QTest::newRow("source without a time") << "- @1; 08:00:00" << 1 << "1";
}

void tst_assignment::invalid_time_is_within_every_limit()
{
    QFETCH(QString, photos);
    QFETCH(int, photo);
    QFETCH(QString, source);

    // Where an invalid time sorts is QDateTime's business; the closest mode
    // looks both ways, so the one source must be taken whatever the order.
    run(photos, 2, 1, Qt::AscendingOrder);
    const QString result = outcome(*model, paths[photo]);
    QVERIFY2(
        result == QLatin1String("^") + source || result == QLatin1String("v") + source, qPrintable(result));
    QVERIFY(model->all_files_assigned());
}

void tst_assignment::set_position_data()
{
    QTest::addColumn<QString>("photos");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("overwrites");

    QTest::newRow("position over photos with GPS")
        << "10:00:00 @1; 10:05:00" << true << "48.5, -11.25" << true;
    QTest::newRow("position, no photo with GPS") << "10:00:00; 10:05:00" << true << "48.5, -11.25" << false;
    QTest::newRow("empty position") << "10:00:00 @1; 10:05:00" << false << "Clear GPS data" << true;
    QTest::newRow("no photos") << "" << true << "" << false;
}

void tst_assignment::set_position()
{
    QFETCH(QString, photos);
    QFETCH(bool, typed);
    QFETCH(QString, label);
    QFETCH(bool, overwrites);

    gps_pos fixed;
    if (typed) {
        fixed.lat = QStringLiteral("48°30'0\"");
        fixed.lat_ref = QStringLiteral("N");
        fixed.lon = QStringLiteral("-11°-15'0\"");
        fixed.lon_ref = QStringLiteral("W");
        fixed.lat_numerical = QStringLiteral("48.5");
        fixed.lon_numerical = QStringLiteral("-11.25");
    }
    run(photos, 3, 1, Qt::AscendingOrder);
    model->gps_set_pos_changed(fixed);

    for (int row = 0; row < model->rowCount(); ++row) {
        QCOMPARE(model->data(model->index(row, 2)).toString(), QStringLiteral("=  ") + label);
        const QVariant pos = model->data(model->index(row, 2), Qt::UserRole);
        QVERIFY(pos.isValid());
        QCOMPARE(pos.value<gps_pos>(), fixed);
    }
    QCOMPARE(model->would_overwrite_data(), overwrites);
    QVERIFY(model->all_files_assigned());
    QVERIFY(model->remove_gps_except_position());

    // Leaving the mode gives the sources their own positions back.
    model->gps_sync_order_changed(0);
    QVERIFY(!model->would_overwrite_data());
    QVERIFY(!model->remove_gps_except_position());
}

void tst_assignment::unknown_mode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("mode 5") << 5;
    QTest::newRow("mode 7") << 7;
    QTest::newRow("mode -1") << -1;
}

void tst_assignment::unknown_mode()
{
    QFETCH(int, mode);

    paths = put_photos(QStringLiteral("10:00:00 @1; 10:05:00"));
    for (const QString& path : paths)
        model->add_cached_file(path, true);
    {
        model->gps_sync_order_changed(mode);
    }

    const int without = row_of(*model, paths[1]);
    QCOMPARE(model->data(model->index(without, 2)).toString(), QStringLiteral("  "));
    QCOMPARE(model->data(model->index(without, 2), Qt::UserRole).value<gps_pos>(), gps_pos());
    QCOMPARE(outcome(*model, paths[0]), QStringLiteral("<1"));
    QVERIFY(model->all_files_assigned());
    QVERIFY(!model->would_overwrite_data());
    QVERIFY(!model->remove_gps_except_position());
}

// "<1" own position kept, "pt 2.000000" a track point, "ip 1.500000" an
// interpolated position (the latitude shown), "?" none.
QString track_outcome(const table_data_model& model, const QString& path)
{
    const int row = row_of(model, path);
    const QString text = model.data(model.index(row, 2)).toString();
    const QString marker = text.section(QStringLiteral("  "), 0, 0);
    const QVariant pos = model.data(model.index(row, 2), Qt::UserRole);
    if (marker == QString(QChar(0x2190)))
        return pos.isValid() ? QStringLiteral("bad own") : QStringLiteral("<") + text.mid(3).section('.', 0, 0);
    if (marker == QLatin1String("?"))
        return pos.value<gps_pos>() == gps_pos() ? QStringLiteral("?") : QStringLiteral("bad none");
    const gps_pos p = pos.value<gps_pos>();
    if (!p.utc_time.isValid() || text.mid(3) != p.lat + QStringLiteral(", ") + p.lon)
        return QStringLiteral("bad track position: ") + text;
    const QString kind = marker == QString(QChar(0x2248)) ? QStringLiteral("ip")
        : marker == QString(QChar(0x2022))                ? QStringLiteral("pt")
                                                          : QStringLiteral("bad marker");
    return kind + QLatin1Char(' ') + p.lat;
}

void tst_assignment::track_mode_data()
{
    QTest::addColumn<QString>("photos"); // as put_photos, "z+01:00" for the photo's own zone
    QTest::addColumn<QString>("zone");
    QTest::addColumn<qint64>("clock_offset");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zone +02:00, interpolated") << "10:05:00" << "+02:00" << qint64(0) << false << -1
                                               << "ip 1.500000";
    QTest::newRow("photo's own zone wins") << "09:05:00 z+01:00" << "+02:00" << qint64(0) << false << -1
                                           << "ip 1.500000";
    QTest::newRow("camera 5 min ahead") << "10:10:00" << "+02:00" << qint64(300) << false << -1
                                        << "ip 1.500000";
    QTest::newRow("exact point") << "10:10:00" << "+02:00" << qint64(0) << false << -1 << "pt 2.000000";
    QTest::newRow("across segments within the 30 min default")
        << "10:35:00" << "+02:00" << qint64(0) << false << -1 << "pt 5.000000";
    QTest::newRow("typed limit below the gap") << "10:35:00" << "+02:00" << qint64(0) << false << 20 << "?";
    QTest::newRow("own position kept") << "10:05:00 @1" << "+02:00" << qint64(0) << false << -1 << "<1";
    QTest::newRow("own position replaced when asked")
        << "10:05:00 @1" << "+02:00" << qint64(0) << true << -1 << "ip 1.500000";
    QTest::newRow("own position kept where the track has nothing")
        << "14:00:00 @1" << "+02:00" << qint64(0) << true << -1 << "<1";
    QTest::newRow("no recording time") << "-" << "+02:00" << qint64(0) << false << -1 << "?";
    // A file's date is when it was copied: never placed on the track.
    QTest::newRow("time from the file") << "10:05:00 file" << "+02:00" << qint64(0) << false << -1 << "?";
    QTest::newRow("limit 0 is no limit") << "14:00:00" << "+02:00" << qint64(0) << false << 0 << "pt 5.000000";
}

void tst_assignment::track_mode()
{
    QFETCH(QString, photos);
    QFETCH(QString, zone);
    QFETCH(qint64, clock_offset);
    QFETCH(bool, overwrite);
    QFETCH(int, limit);
    QFETCH(QString, expected);

    QStringList plain;
    QStringList zones;
    QList<bool> file_times;
    for (QString photo : photos.split(';')) {
        file_times << photo.endsWith(QLatin1String(" file"));
        if (file_times.last())
            photo.chop(5);
        const int z = photo.indexOf(QStringLiteral(" z"));
        plain << (z < 0 ? photo : photo.left(z));
        zones << (z < 0 ? QString() : photo.mid(z + 2));
    }
    paths = put_photos(plain.join(';'));
    for (int i = 0; i < paths.size(); ++i) {
        auto& entry = exif_cache::instance()->derived_info[utf8_key(paths[i])];
        entry["rec_offset"] = zones[i].toStdString();
        if (file_times[i])
            entry["rec_source"] = "file";
    }

    const auto point = [](const char* time, double lat, double lon, int segment) {
        gps_data p;
        p.msecs = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate).toMSecsSinceEpoch();
        p.latitude = lat;
        p.longitude = lon;
        p.segment = segment;
        return p;
    };
    track_data track;
    track.points << point("2019-05-01T08:00:00Z", 1.0, 10.0, 0) << point("2019-05-01T08:10:00Z", 2.0, 11.0, 0)
                 << point("2019-05-01T09:00:00Z", 5.0, 15.0, 1);
    camera_clock clock = camera_clock::from_zone_text(zone).value();
    clock.clock_offset = clock_offset;

    for (const QString& path : paths)
        model->add_cached_file(path, true);
    model->gps_max_time_difference(limit);
    model->camera_clock_changed(clock);
    model->gps_track_overwrites_changed(overwrite);
    model->gps_track_changed({ track });
    model->gps_sync_order_changed(4);
    // A sort rebuilds from the reordered rows; the outcomes are the same.
    model->sort(1, Qt::DescendingOrder);

    QStringList outcomes;
    for (const QString& path : paths)
        outcomes << track_outcome(*model, path);
    QCOMPARE(outcomes.join(' '), expected);
    QCOMPARE(model->all_files_assigned(), !expected.contains('?'));
    QCOMPARE(model->would_overwrite_data(), overwrite && expected.startsWith(QLatin1String("ip")));
    QVERIFY(!model->remove_gps_except_position());
    if (expected.startsWith(QLatin1String("ip 1.5"))) {
        const QString tip = model->data(model->index(0, 2), Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains(QStringLiteral("2019-05-01 08:05:00")), qPrintable(tip));
    }

    // Without a track nothing is proposed, and nothing is lost either.
    model->gps_track_changed({});
    QCOMPARE(model->all_files_assigned(), photos.contains('@'));
}

void tst_assignment::slots_rebuild_in_every_mode()
{
    // 10:00 source, 10:08 photo: eight minutes away.
    run(QStringLiteral("10:00:00 @1; 10:08:00"), 0, -1, Qt::AscendingOrder);
    QCOMPARE(outcome(*model, paths[1]), QStringLiteral("^1"));

    model->gps_max_time_difference(5);
    QCOMPARE(outcome(*model, paths[1]), QStringLiteral("?"));
    QVERIFY(!model->all_files_assigned());
    model->gps_max_time_difference(8);
    QCOMPARE(outcome(*model, paths[1]), QStringLiteral("^1"));
    QVERIFY(model->all_files_assigned());

    // A new fixed position rebuilds in mode 0 too: new metadata shows up.
    put_photo(paths[0], QDateTime(day, QTime(10, 4)), source_lat(2), source_lon(2));
    model->gps_set_pos_changed(gps_pos());
    QCOMPARE(outcome(*model, paths[1]), QStringLiteral("^2"));
}

void tst_assignment::slot_signals()
{
    run(QStringLiteral("10:00:00 @1; 10:08:00"), 0, -1, Qt::AscendingOrder);
    QStringList seen;
    connect(model.get(), &QAbstractItemModel::layoutAboutToBeChanged, this,
        [&](const QList<QPersistentModelIndex>& parents, QAbstractItemModel::LayoutChangeHint hint) {
            seen << QStringLiteral("about");
            QVERIFY(parents.isEmpty());
            QCOMPARE(hint, QAbstractItemModel::NoLayoutChangeHint);
        });
    connect(model.get(), &QAbstractItemModel::layoutChanged, this,
        [&](const QList<QPersistentModelIndex>& parents, QAbstractItemModel::LayoutChangeHint hint) {
            seen << QStringLiteral("changed");
            QVERIFY(parents.isEmpty());
            QCOMPARE(hint, QAbstractItemModel::NoLayoutChangeHint);
        });

    {
        model->gps_sync_order_changed(2);
    }
    QCOMPARE(seen, QStringList({ "about", "changed" }));

    seen.clear();
    model->gps_set_pos_changed(gps_pos());
    model->gps_max_time_difference(3);
    QCOMPARE(seen, QStringList({ "changed", "changed" }));
}

QTEST_MAIN(tst_assignment)
#include "tst_assignment.moc"
