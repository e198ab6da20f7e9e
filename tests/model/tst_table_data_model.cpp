#include "model_fixture.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include <memory>

namespace {

const QDateTime ten(QDate(2019, 5, 1), QTime(10, 0, 5));

// Records the model's structure signals in the order they come.
class signal_log : public QObject {
public:
    explicit signal_log(QAbstractItemModel* model)
    {
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { seen << QStringLiteral("about"); });
        connect(
            model, &QAbstractItemModel::layoutChanged, this, [this] { seen << QStringLiteral("changed"); });
        connect(
            model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
                seen << QStringLiteral("inserted %1-%2").arg(first).arg(last);
            });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { seen << QStringLiteral("reset"); });
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

    void header_data_data();
    void header_data();

    void cell_data_data();
    void cell_data();

    void get_dt_data();
    void get_dt();

    void sort_other_column_data();
    void sort_other_column();
    void sort_by_time();
    void forged_dates_sort_like_qdatetime_data();
    void forged_dates_sort_like_qdatetime();

    void add_files_with_empty_list();
    void add_file_already_listed();
    void clear_and_add_again();
    void datetime_format_changed();

    void photos_tagged_by_exiftool();

private:
    std::unique_ptr<probe_model> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

void tst_table_data_model::init()
{
    clear_metadata();
    model = std::make_unique<probe_model>();
    tester = std::make_unique<QAbstractItemModelTester>(
        model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_table_data_model::cleanup()
{
    tester.reset();
    model.reset();
}

void tst_table_data_model::header_data_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int h = Qt::Horizontal;
    QTest::newRow("photo") << 0 << h << int(Qt::DisplayRole) << QVariant(QStringLiteral("Photo"));
    QTest::newRow("recording date") << 1 << h << int(Qt::DisplayRole)
                                    << QVariant(QStringLiteral("Recording Date"));
    QTest::newRow("gps tag") << 2 << h << int(Qt::DisplayRole) << QVariant(QStringLiteral("GPS Tag"));
    QTest::newRow("size of photo") << 0 << h << int(Qt::SizeHintRole) << QVariant(QSize(300, 30));
    QTest::newRow("size of date") << 1 << h << int(Qt::SizeHintRole) << QVariant(QSize(220, 30));
    QTest::newRow("size of gps tag") << 2 << h << int(Qt::SizeHintRole) << QVariant(QSize(-1, 30));
    QTest::newRow("initial sort order") << 2 << h << int(Qt::InitialSortOrderRole) << QVariant(0);
    QTest::newRow("alignment") << 1 << h << int(Qt::TextAlignmentRole) << QVariant(129);
    QTest::newRow("tool tip falls back") << 0 << h << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("section 3 falls back") << 3 << h << int(Qt::DisplayRole) << QVariant(4);
    QTest::newRow("vertical display falls back")
        << 0 << int(Qt::Vertical) << int(Qt::DisplayRole) << QVariant(1);
    QTest::newRow("vertical size falls back")
        << 1 << int(Qt::Vertical) << int(Qt::SizeHintRole) << QVariant();
    QTest::newRow("vertical font falls back") << 1 << int(Qt::Vertical) << int(Qt::FontRole) << QVariant();
}

void tst_table_data_model::header_data()
{
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    QCOMPARE(model->headerData(section, Qt::Orientation(orientation), role), expected);
}

void tst_table_data_model::cell_data_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    const int display = Qt::DisplayRole;
    const int user = Qt::UserRole;
    QTest::newRow("file name") << ten << format << 0 << display << QVariant(QStringLiteral("IMG 1.jpg"));
    QTest::newRow("full path") << ten << format << 0 << user
                               << QVariant(QStringLiteral("/photos/day one/IMG 1.jpg"));
    QTest::newRow("formatted time") << ten << format << 1 << display
                                    << QVariant(QStringLiteral("2019-05-01 10:00:05"));
    QTest::newRow("empty format") << ten << QString() << 1 << display << QVariant(QStringLiteral("-"));
    QTest::newRow("invalid time") << QDateTime() << format << 1 << display << QVariant(QStringLiteral("-"));
    QTest::newRow("time") << ten << format << 1 << user << QVariant(ten);
    QTest::newRow("no record yet") << ten << format << 2 << display << QVariant(QStringLiteral("?  -"));
    QTest::newRow("no record, no position") << ten << format << 2 << user << QVariant();
    QTest::newRow("no tool tips") << ten << format << 0 << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("no alignment") << ten << format << 1 << int(Qt::TextAlignmentRole) << QVariant();
}

void tst_table_data_model::cell_data()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, format);
    QFETCH(int, col);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    const QString path = QStringLiteral("/photos/day one/IMG 1.jpg");
    put_photo(path, time);
    model->add_cached_file(path, true);
    model->gps_datetime_format_changed(format);
    QCOMPARE(model->data(model->index(0, col), role), expected);

    const QFont font = model->data(model->index(0, col), Qt::FontRole).value<QFont>();
    QCOMPARE(font.family(), QStringLiteral("FreeSans"));
    QCOMPARE(font.pointSize(), 12);
}

void tst_table_data_model::get_dt_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("exiftool form") << QStringList { "2019", "05", "01", "10", "00", "05" } << ten;
    QTest::newRow("lenient numbers") << QStringList { "2019 ", "5", "1st", "10h", "0", "5" } << ten;
    QTest::newRow("no time keys is midnight")
        << QStringList { "2019", "05", "01" } << QDateTime(QDate(2019, 5, 1), QTime(0, 0));
    QTest::newRow("no keys") << QStringList {} << QDateTime();
    QTest::newRow("year 0") << QStringList { "0", "05", "01", "10", "00", "05" } << QDateTime();
    QTest::newRow("30 February") << QStringList { "2019", "02", "30", "10", "00", "05" } << QDateTime();
}

void tst_table_data_model::get_dt()
{
    QFETCH(QStringList, values);
    QFETCH(QDateTime, expected);

    const QString path = QStringLiteral("/photos/a.jpg");
    const char* keys[] = { "rec_year", "rec_month", "rec_day", "rec_hour", "rec_minute", "rec_second" };
    auto& entry = exif_cache::instance()->derived_info[utf8_key(path)];
    for (int i = 0; i < values.size(); ++i)
        entry[keys[i]] = values[i].toStdString();

    const QDateTime dt = model->get_dt(path);
    QCOMPARE(dt.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(dt, expected);
        QCOMPARE(dt.timeSpec(), Qt::LocalTime);
    }
}

void tst_table_data_model::sort_other_column_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("current");

    QTest::newRow("photo, ascending") << 0 << int(Qt::AscendingOrder);
    QTest::newRow("photo, descending") << 0 << int(Qt::DescendingOrder);
    QTest::newRow("gps tag, ascending") << 2 << int(Qt::AscendingOrder);
    QTest::newRow("gps tag, descending") << 2 << int(Qt::DescendingOrder);
}

void tst_table_data_model::sort_other_column()
{
    QFETCH(int, col);
    QFETCH(int, current);

    put_photo(QStringLiteral("/p/b.jpg"), ten);
    put_photo(QStringLiteral("/p/a.jpg"), ten.addSecs(60));
    put_photo(QStringLiteral("/p/c.jpg"), ten.addSecs(30));
    for (const char* name : { "/p/b.jpg", "/p/a.jpg", "/p/c.jpg" })
        model->add_cached_file(QString::fromLatin1(name), true);
    model->sort(1, Qt::SortOrder(current));
    const QStringList before = column(*model, 0);

    QSignalSpy override_spy(model.get(), &table_data_model::sort_order_override);
    signal_log log(model.get());
    // Both directions of the click: neither is taken.
    model->sort(col, Qt::AscendingOrder);
    model->sort(col, Qt::DescendingOrder);

    QCOMPARE(override_spy.count(), 2);
    for (const QList<QVariant>& args : override_spy) {
        QCOMPARE(args.at(0).toInt(), 1);
        QCOMPARE(args.at(1).value<Qt::SortOrder>(), Qt::SortOrder(current));
    }
    QVERIFY(log.seen.isEmpty());
    QCOMPARE(column(*model, 0), before);
}

void tst_table_data_model::sort_by_time()
{
    const QStringList names = { "d.jpg", "a.jpg", "c.jpg", "b.jpg", "e.jpg" };
    const int minutes[] = { 3, 0, 2, 1, 4 };
    for (int i = 0; i < names.size(); ++i) {
        const QString path = QStringLiteral("/p/") + names[i];
        // b.jpg carries GPS: the arrows below show the rebuild after sorting.
        put_photo(path, ten.addSecs(60 * minutes[i]), names[i] == QLatin1String("b.jpg") ? "1.000000" : "",
            "2.000000");
        model->add_cached_file(path, true);
    }
    const QPersistentModelIndex d_index = model->index(0, 0);
    signal_log log(model.get());

    model->sort(1, Qt::DescendingOrder);
    QCOMPARE(log.seen, QStringList({ "about", "changed" }));
    QCOMPARE(d_index.row(), 1);
    QCOMPARE(column(*model, 0), QStringList({ "e.jpg", "d.jpg", "c.jpg", "b.jpg", "a.jpg" }));
    QCOMPARE(column(*model, 2),
        QStringList({ "\u2193  1.000000, 2.000000", "\u2193  1.000000, 2.000000",
            "\u2193  1.000000, 2.000000", "\u2190  1.000000, 2.000000", "?  -" }));

    log.seen.clear();
    model->sort(1, Qt::AscendingOrder);
    QCOMPARE(log.seen, QStringList({ "about", "changed" }));
    QCOMPARE(column(*model, 0), QStringList({ "a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg" }));
    QCOMPARE(column(*model, 2).at(4), QStringLiteral("\u2191  1.000000, 2.000000"));
    // A view's selection and current row follow their photo.
    QCOMPARE(d_index.row(), 3);
    QCOMPARE(d_index.data(Qt::UserRole).toString(), QStringLiteral("/p/d.jpg"));
}

void tst_table_data_model::forged_dates_sort_like_qdatetime_data()
{
    QTest::addColumn<QString>("year");
    QTest::newRow("far future") << "300000000";
    QTest::newRow("far past") << "-2147483647";
}

void tst_table_data_model::forged_dates_sort_like_qdatetime()
{
    // A forged year far outside any camera's range: its day count would
    // overflow as milliseconds, yet the order must stay QDateTime's.
    QFETCH(QString, year);
    put_photo(QStringLiteral("/p/forged.jpg"), QDateTime());
    auto& forged = exif_cache::instance()->derived_info[utf8_key(QStringLiteral("/p/forged.jpg"))];
    forged["rec_year"] = year.toStdString();
    forged["rec_month"] = forged["rec_day"] = "01";
    forged["rec_hour"] = forged["rec_minute"] = forged["rec_second"] = "00";
    put_photo(QStringLiteral("/p/plain.jpg"), ten);
    model->add_cached_file(QStringLiteral("/p/forged.jpg"), true);
    model->add_cached_file(QStringLiteral("/p/plain.jpg"), true);

    const bool forged_first
        = model->get_dt(QStringLiteral("/p/forged.jpg")) < model->get_dt(QStringLiteral("/p/plain.jpg"));
    const QStringList ascending = forged_first ? QStringList({ "forged.jpg", "plain.jpg" })
                                               : QStringList({ "plain.jpg", "forged.jpg" });
    model->sort(1, Qt::AscendingOrder);
    QCOMPARE(column(*model, 0), ascending);
    model->sort(1, Qt::DescendingOrder);
    QCOMPARE(column(*model, 0), QStringList({ ascending.at(1), ascending.at(0) }));
}

void tst_table_data_model::add_files_with_empty_list()
{
    QVERIFY(!model->all_files_assigned());
    signal_log log(model.get());
    {
        model->add_files({});
    }
    QCOMPARE(log.seen, QStringList({ "about", "changed", "about", "changed" }));
    QVERIFY(model->all_files_assigned());
}

void tst_table_data_model::add_file_already_listed()
{
    const QString path = QStringLiteral("/photos/missing.jpg");
    put_photo(path, ten);
    exif_cache::instance()->derived_info[utf8_key(path)]["camera"] = "sentinel";
    model->add_cached_file(path, true);

    signal_log log(model.get());
    model->add_file(path, true);
    model->add_file(path, false);
    QVERIFY(log.seen.isEmpty());
    QCOMPARE(model->rowCount(), 1);
    // Not read again: a read would have replaced the cached values.
    QCOMPARE(exif_cache::instance()->derived_info[utf8_key(path)]["camera"], ktk::string("sentinel"));
    QCOMPARE(exif_cache::instance()->raw_tags.count(utf8_key(path)), size_t(0));
}

void tst_table_data_model::clear_and_add_again()
{
    const QString source = QStringLiteral("/p/source.jpg");
    const QString other = QStringLiteral("/p/other.jpg");
    const QString late = QStringLiteral("/p/late.jpg");
    put_photo(source, ten, QStringLiteral("1.000000"), QStringLiteral("2.000000"));
    put_photo(other, ten.addSecs(10));
    put_photo(late, ten.addSecs(20));
    model->add_cached_file(source, true);
    model->add_cached_file(other, true);
    {
        model->resort();
    }
    QCOMPARE(column(*model, 2), QStringList({ "\u2190  1.000000, 2.000000", "\u2191  1.000000, 2.000000" }));

    signal_log log(model.get());
    model->clear();
    QCOMPARE(log.seen, QStringList({ "reset" }));
    QCOMPARE(model->rowCount(), 0);

    model->add_cached_file(late, true);
    model->add_cached_file(source, true);
    QCOMPARE(log.seen, QStringList({ "reset", "inserted 0-0", "inserted 1-1" }));
    QCOMPARE(column(*model, 2), QStringList({ "?  -", "\u2190  1.000000, 2.000000" }));
    QVERIFY(!model->data(model->index(0, 2), Qt::UserRole).isValid());

    {
        model->resort();
    }
    QCOMPARE(column(*model, 0), QStringList({ "source.jpg", "late.jpg" }));
    QCOMPARE(column(*model, 2), QStringList({ "\u2190  1.000000, 2.000000", "\u2191  1.000000, 2.000000" }));
}

void tst_table_data_model::datetime_format_changed()
{
    const QString path = QStringLiteral("/p/a.jpg");
    put_photo(path, ten);
    model->add_cached_file(path, true);
    signal_log log(model.get());
    model->gps_datetime_format_changed(QStringLiteral("dd.MM.yyyy hh:mm"));
    QCOMPARE(log.seen, QStringList({ "changed" }));
    QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("01.05.2019 10:00"));
    // Only the display changed: nothing was assigned.
    QCOMPARE(model->data(model->index(0, 2)).toString(), QStringLiteral("?  -"));
}

void tst_table_data_model::photos_tagged_by_exiftool()
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    QVERIFY2(!exiftool.isEmpty(), "exiftool is needed (scripts/setup.sh installs it)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    struct photo {
        QString name;
        QStringList tags;
    };
    const photo photos[] = {
        { "late.jpg",
            { "-DateTimeOriginal=2019:05:01 10:06:00", "-GPSLatitude=47.2500003", "-GPSLatitudeRef=S",
                "-GPSLongitude=10.5", "-GPSLongitudeRef=W" } },
        { "early.jpg",
            { "-DateTimeOriginal=2019:05:01 10:00:00", "-GPSLatitude=48.5", "-GPSLatitudeRef=N",
                "-GPSLongitude=11.25", "-GPSLongitudeRef=E" } },
        { "middle.jpg", { "-DateTimeOriginal=2019:05:01 10:05:00" } },
    };
    QStringList paths;
    for (const photo& p : photos) {
        const QString path = dir.filePath(p.name);
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(path, "JPEG"));
        QProcess tool;
        tool.start(exiftool, QStringList { "-overwrite_original" } + p.tags + QStringList { path });
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
        paths << path;
    }

    signal_log log(model.get());
    {
        model->add_files(paths);
    }
    QCOMPARE(log.seen,
        QStringList(
            { "inserted 0-0", "inserted 1-1", "inserted 2-2", "about", "changed", "about", "changed" }));
    QCOMPARE(column(*model, 0), QStringList({ "early.jpg", "middle.jpg", "late.jpg" }));
    QCOMPARE(model->data(model->index(1, 1), Qt::UserRole).toDateTime(),
        QDateTime(QDate(2019, 5, 1), QTime(10, 5)));
    QCOMPARE(column(*model, 2),
        QStringList({ "\u2190  48.500000, 11.250000", "\u2191  48.500000, 11.250000",
            "\u2190  -47.250000, -10.500000" }));

    // Closest: the later photo is one minute away, the earlier five.
    {
        model->gps_sync_order_changed(2);
    }
    QCOMPARE(model->data(model->index(1, 2)).toString(), QStringLiteral("\u2193  -47.250000, -10.500000"));
    const gps_pos pos = model->data(model->index(1, 2), Qt::UserRole).value<gps_pos>();
    // Copied as the numbers the file holds, not as the six decimals shown.
    QVERIFY2(std::fabs(pos.lat_numerical.toDouble() + 47.2500003) < 1e-9, qPrintable(pos.lat_numerical));
    QCOMPARE(pos.lat_ref, QStringLiteral("S"));
    QCOMPARE(pos.lon_numerical.toDouble(), -10.5);
    QCOMPARE(pos.lon_ref, QStringLiteral("W"));
    QVERIFY(!model->data(model->index(0, 2), Qt::UserRole).isValid());
    QVERIFY(model->all_files_assigned());

    // A path already listed is neither read nor announced again.
    log.seen.clear();
    exif_cache::instance()->raw_tags.clear();
    model->add_file(paths[0], true);
    QVERIFY(log.seen.isEmpty());
    QVERIFY(exif_cache::instance()->raw_tags.empty());
}

QTEST_MAIN(tst_table_data_model)
#include "tst_table_data_model.moc"
