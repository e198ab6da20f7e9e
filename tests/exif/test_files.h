#pragma once

// Photo files for the metadata tests: drawn with QImage, tagged by the
// command-line exiftool, so the bridge under test never prepares its own input.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace test_files {

inline bool make_image(const QString& path, int width = 64, int height = 48)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    return image.save(path);
}

// Runs the command-line exiftool; returns its standard output.
inline QString exiftool(const QStringList& args, int* exit_code = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"), args);
    process.waitForFinished(60000);
    if (exit_code)
        *exit_code = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Runs exiftool on an argument file of `lines`; UTF-8, so paths reach it as
// the bytes of the file names.
inline QString exiftool_argfile(const QString& argfile, const QStringList& lines, int* exit_code = nullptr)
{
    QFile file(argfile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(lines.join('\n').toUtf8() + '\n');
    file.close();
    return exiftool({ QStringLiteral("-@"), argfile }, exit_code);
}

inline QByteArray sha256(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

inline bool tag(const QString& path, const QStringList& assignments)
{
    int code = -1;
    exiftool(QStringList { QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("-overwrite_original") }
            + assignments + QStringList { path },
        &code);
    return code == 0;
}

// One tag as exiftool prints it; numeric gives the plain number.
inline QString value(const QString& path, const QString& tag_name, bool numeric = false)
{
    QStringList args { QStringLiteral("-s3"), QStringLiteral("-") + tag_name, path };
    if (numeric)
        args.prepend(QStringLiteral("-n"));
    return exiftool(args).trimmed();
}

} // namespace test_files
