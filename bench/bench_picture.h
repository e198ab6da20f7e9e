#pragma once

#include <QImage>
#include <QRandomGenerator>

// A photo-like image: smooth gradients with noise, so JPEG sizes are those
// of real pictures rather than of flat colour.
inline QImage make_picture(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24u));
            line[x] = qRgb((x * 255 / width + noise) & 0xff, (y * 255 / height + noise) & 0xff,
                ((x + y) / 8 + int(seed)) & 0xff);
        }
    }
    return image;
}
