// The table shows the engine's outcome for each photo: names, times (a file's
// date marked), positions with their markers; it sorts by time and rebuilds
// completely between layout signals.

#include "model/table_data_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QDateTime ten(QDate(2019, 5, 1), QTime(10, 0, 5));

photo_facts photo(const QString& path, const QDateTime& taken, std::optional<lat_lon> own = std::nullopt)
{
    photo_facts p;
    p.path = path;
    p.taken = taken;
    p.time_from = taken.isValid() ? time_source::camera : time_source::none;
    p.own = own;
    return p;
}

// Records the model's structure signals in the order they come.
class signal_log : public QObject {
public:
    explicit signal_log(QAbstractItemModel* model)
    {
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] { seen << "about"; });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { seen << "changed"; });
        connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { seen << QStringLiteral("inserted %1-%2").arg(first).arg(last); });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { seen << "reset"; });
    }
    QStringList seen;
};

QStringList column(const table_data_model& model, int col, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.data(model.index(row, col), role).toString();
    return texts;
}

} // namespace

class tst_table_data_model : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cells_data();
    void cells();
    void proposals_data();
    void proposals();
    void place_of_the_position_shown();
    void sort_other_column();
    void sort_by_time();
    void forged_dates_sort_like_qdatetime();
    void adding_and_clearing();
    void every_change_is_one_rebuild();

private:
    std::unique_ptr<table_data_model> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

void tst_table_data_model::init()
{
    model = std::make_unique<table_data_model>();
    tester = std::make_unique<QAbstractItemModelTester>(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_table_data_model::cleanup()
{
    tester.reset();
    model.reset();
}

void tst_table_data_model::cells_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    const int camera = int(time_source::camera);
    const int file = int(time_source::file);
    QTest::newRow("file name") << camera << format << 0 << int(Qt::DisplayRole) << QVariant("IMG 1.jpg");
    QTest::newRow("full path") << camera << format << 0 << int(Qt::UserRole) << QVariant("/photos/day one/IMG 1.jpg");
    QTest::newRow("formatted time") << camera << format << 1 << int(Qt::DisplayRole) << QVariant("2019-05-01 10:00:05");
    QTest::newRow("empty format") << camera << QString() << 1 << int(Qt::DisplayRole) << QVariant("-");
    QTest::newRow("time") << camera << format << 1 << int(Qt::UserRole) << QVariant(ten);
    QTest::newRow("file time is told") << file << format << 1 << int(Qt::ToolTipRole)
                                       << QVariant("Time from the file, not the camera");
}

void tst_table_data_model::cells()
{
    QFETCH(int, source);
    QFETCH(QString, format);
    QFETCH(int, col);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    photo_facts p = photo(QStringLiteral("/photos/day one/IMG 1.jpg"), ten);
    p.time_from = time_source(source);
    model->add_photos({ p });
    model->set_datetime_format(format);
    QCOMPARE(model->data(model->index(0, col), role), expected);
}

void tst_table_data_model::proposals_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("source"); // b.jpg's, as the photo pane shows it

    QTest::newRow("previous") << 0 << false
                              << QStringList { "\u2190  1.000000, 2.000000", "\u2191  1.000000, 2.000000", "?  ExifTool did not answer" }
                              << "from a.jpg, 1 min before";
    QTest::newRow("next") << 1 << false << QStringList { "\u2190  1.000000, 2.000000", "?  -", "?  ExifTool did not answer" }
                          << "No photo with a position to copy from";
    QTest::newRow("typed") << 3 << true << QStringList { "=  48.5, -11.25", "=  48.5, -11.25", "=  48.5, -11.25" }
                           << "the typed position";
    QTest::newRow("typed, empty") << 3 << false << QStringList { "=  Clear GPS data", "=  Clear GPS data", "=  Clear GPS data" }
                                  << "its GPS data cleared";
    QTest::newRow("track without one") << 4 << false << QStringList { "\u2190  1.000000, 2.000000", "?  -", "?  ExifTool did not answer" }
                                       << "No track loaded";
}

void tst_table_data_model::proposals()
{
    QFETCH(int, mode);
    QFETCH(bool, typed);
    QFETCH(QStringList, expected);
    QFETCH(QString, source);

    photo_facts unread = photo(QStringLiteral("/p/c.jpg"), QDateTime());
    unread.read_error = QStringLiteral("ExifTool did not answer");
    model->add_photos({ photo(QStringLiteral("/p/a.jpg"), ten, lat_lon { 1, 2 }), photo(QStringLiteral("/p/b.jpg"), ten.addSecs(60)), unread });
    model->set_mode(sync_mode_of(mode));
    if (typed)
        model->set_typed_position(lat_lon { 48.5, -11.25 });
    // Photos without a time sort first.
    QCOMPARE(column(*model, 0), QStringList({ "c.jpg", "a.jpg", "b.jpg" }));
    QCOMPARE(column(*model, 2), QStringList({ expected[2], expected[0], expected[1] }));
    QCOMPARE(model->would_overwrite_data(), mode == 3);
    QCOMPARE(model->all_files_assigned(), mode == 3);
    QCOMPARE(model->source_text(2), source);
}

void tst_table_data_model::place_of_the_position_shown()
{
    // Its own position for one photo, the proposal for the other; none at sea.
    model->add_photos({ photo(QStringLiteral("/p/a.jpg"), ten, lat_lon { 43.4633, 11.8796 }),
        photo(QStringLiteral("/p/b.jpg"), ten.addSecs(60)), photo(QStringLiteral("/p/c.jpg"), ten.addSecs(90), lat_lon { 0, -30 }) });
    model->set_mode(sync_mode::previous);
    QCOMPARE(column(*model, 3),
        QStringList({ "near Arezzo, Tuscany, Italy (0.1 km)", "near Arezzo, Tuscany, Italy (0.1 km)", "" }));
}

void tst_table_data_model::sort_other_column()
{
    model->add_photos({ photo(QStringLiteral("/p/b.jpg"), ten), photo(QStringLiteral("/p/a.jpg"), ten.addSecs(60)) });
    model->sort(1, Qt::DescendingOrder);
    QSignalSpy override_spy(model.get(), &table_data_model::sort_order_override);
    signal_log log(model.get());
    model->sort(0, Qt::AscendingOrder);
    model->sort(2, Qt::DescendingOrder);
    QCOMPARE(override_spy.count(), 2);
    QCOMPARE(override_spy.at(0).at(1).value<Qt::SortOrder>(), Qt::DescendingOrder);
    QVERIFY(log.seen.isEmpty());
    QCOMPARE(column(*model, 0), QStringList({ "a.jpg", "b.jpg" }));
}

void tst_table_data_model::sort_by_time()
{
    const QStringList names = { "d.jpg", "a.jpg", "c.jpg", "b.jpg", "e.jpg" };
    const int minutes[] = { 3, 0, 2, 1, 4 };
    std::vector<photo_facts> photos;
    for (int i = 0; i < names.size(); ++i) {
        // b.jpg carries a position: the arrows show the proposals after sorting.
        const std::optional<lat_lon> own = names[i] == "b.jpg" ? std::optional<lat_lon>(lat_lon { 1, 2 }) : std::nullopt;
        photos.push_back(photo("/p/" + names[i], ten.addSecs(60 * minutes[i]), own));
    }
    model->set_mode(sync_mode::previous);
    model->add_photos(photos);
    const QPersistentModelIndex d_index = model->index(3, 0);
    QCOMPARE(d_index.data().toString(), QString("d.jpg"));
    signal_log log(model.get());

    model->sort(1, Qt::DescendingOrder);
    QCOMPARE(log.seen, QStringList({ "about", "changed" }));
    QCOMPARE(d_index.row(), 1);
    QCOMPARE(column(*model, 0), QStringList({ "e.jpg", "d.jpg", "c.jpg", "b.jpg", "a.jpg" }));
    QCOMPARE(column(*model, 2),
        QStringList({ "\u2193  1.000000, 2.000000", "\u2193  1.000000, 2.000000", "\u2193  1.000000, 2.000000",
            "\u2190  1.000000, 2.000000", "?  -" }));
    model->sort(1, Qt::AscendingOrder);
    QCOMPARE(column(*model, 2).at(4), QStringLiteral("\u2191  1.000000, 2.000000"));
    QCOMPARE(d_index.row(), 3);
}

void tst_table_data_model::forged_dates_sort_like_qdatetime()
{
    // A forged year far outside any camera's range: its day count would
    // overflow as milliseconds, yet the order stays QDateTime's.
    for (const int year : { 300000000, -2147483647 }) {
        model->clear();
        const QDateTime forged(QDate(year, 1, 1), QTime(0, 0));
        model->add_photos({ photo(QStringLiteral("/p/forged.jpg"), forged), photo(QStringLiteral("/p/plain.jpg"), ten) });
        const QStringList ascending = forged < ten ? QStringList({ "forged.jpg", "plain.jpg" }) : QStringList({ "plain.jpg", "forged.jpg" });
        QCOMPARE(column(*model, 0), ascending);
        model->sort(1, Qt::DescendingOrder);
        QCOMPARE(column(*model, 0), QStringList({ ascending.at(1), ascending.at(0) }));
        model->sort(1, Qt::AscendingOrder);
    }
}

void tst_table_data_model::adding_and_clearing()
{
    signal_log log(model.get());
    model->add_photos({ photo(QStringLiteral("/p/late.jpg"), ten.addSecs(20)), photo(QStringLiteral("/p/early.jpg"), ten) });
    QCOMPARE(log.seen, QStringList({ "inserted 0-1", "about", "changed" }));
    QCOMPARE(column(*model, 0), QStringList({ "early.jpg", "late.jpg" }));
    QCOMPARE(model->row_of(QStringLiteral("/p/late.jpg")), 1);

    // Listed already: not added again.
    log.seen.clear();
    model->add_photos({ photo(QStringLiteral("/p/early.jpg"), ten) });
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(log.seen, QStringList({ "about", "changed" }));

    model->clear();
    QCOMPARE(model->rowCount(), 0);
    QVERIFY(!model->contains(QStringLiteral("/p/early.jpg")));
}

void tst_table_data_model::every_change_is_one_rebuild()
{
    model->add_photos({ photo(QStringLiteral("/p/a.jpg"), ten, lat_lon { 1, 2 }), photo(QStringLiteral("/p/b.jpg"), ten.addSecs(480)) });
    model->set_mode(sync_mode::previous);
    QCOMPARE(model->data(model->index(1, 2)).toString(), QStringLiteral("\u2191  1.000000, 2.000000"));
    signal_log log(model.get());
    // What a view reads between the two signals is the new outcome.
    connect(model.get(), &QAbstractItemModel::layoutChanged, this,
        [this] { QVERIFY(model->data(model->index(1, 2)).toString() != QStringLiteral("stale")); });
    model->set_time_limit_secs(300);
    QCOMPARE(model->data(model->index(1, 2)).toString(), QStringLiteral("?  -"));
    QVERIFY(!model->all_files_assigned());
    model->set_time_limit_secs(0);
    model->set_typed_position(lat_lon { 3, 4 });
    model->set_track_overwrites(true);
    model->set_camera_clock(camera_clock());
    model->set_track(gps_track());
    QCOMPARE(log.seen.size(), 12);
    QCOMPARE(log.seen.count("about"), 6);
    QCOMPARE(model->data(model->index(1, 2)).toString(), QStringLiteral("\u2191  1.000000, 2.000000"));
}

QTEST_MAIN(tst_table_data_model)
#include "tst_table_data_model.moc"
