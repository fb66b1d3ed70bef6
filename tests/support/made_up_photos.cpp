#include "support/made_up_photos.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <random>

namespace quillmere::test {

namespace {

QColor randomColour(std::mt19937 &random)
{
    std::uniform_int_distribution<int> channel(20, 235);
    return QColor(channel(random), channel(random), channel(random));
}

QImage perPixel(const QImage &photo, const std::function<int(int)> &channel)
{
    QImage out = photo.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            row[x] = qRgb(channel(qRed(row[x])), channel(qGreen(row[x])), channel(qBlue(row[x])));
        }
    }
    return out;
}

int clipped(double value)
{
    return std::clamp(static_cast<int>(std::lround(value)), 0, 255);
}

} // namespace

QImage madeUpPhoto(unsigned seed, int width, int height, double view)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // The scene is 1.5 widths wide; the view shows one width of it.
    const double sceneWidth = 1.5 * width;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-view * width, 0);

    QLinearGradient sky(0, 0, sceneWidth * unit(random), height);
    sky.setColorAt(0, randomColour(random));
    sky.setColorAt(1, randomColour(random));
    painter.fillRect(QRectF(0, 0, sceneWidth, height), sky);

    for (int shape = 0; shape < 14; ++shape) {
        const QRectF box(unit(random) * sceneWidth - width * 0.1, unit(random) * height - height * 0.1,
                         (0.08 + 0.3 * unit(random)) * width, (0.08 + 0.4 * unit(random)) * height);
        QLinearGradient fill(box.topLeft(), box.bottomRight());
        fill.setColorAt(0, randomColour(random));
        fill.setColorAt(1, randomColour(random));
        painter.setBrush(fill);
        painter.setPen(QPen(randomColour(random), 1 + 3 * unit(random)));
        switch (shape % 3) {
        case 0:
            painter.drawEllipse(box);
            break;
        case 1:
            painter.drawRect(box);
            break;
        default: {
            QPolygonF triangle;
            triangle << box.topLeft() << box.bottomRight() << QPointF(box.left(), box.bottom());
            painter.drawPolygon(triangle);
        }
        }
    }
    // A striped texture over part of the scene, as foliage or fabric.
    const QRectF patch(unit(random) * sceneWidth * 0.7, unit(random) * height * 0.6, width * 0.3, height * 0.3);
    const QColor stripe = randomColour(random);
    painter.setPen(QPen(stripe, 2));
    for (double x = patch.left(); x < patch.right(); x += 6) {
        painter.drawLine(QPointF(x, patch.top()), QPointF(x + 10, patch.bottom()));
    }
    painter.end();

    // Fine noise, as a sensor leaves it.
    std::normal_distribution<double> noise(0.0, 4.0);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double n = noise(random);
            row[x] = qRgb(clipped(qRed(row[x]) + n), clipped(qGreen(row[x]) + n), clipped(qBlue(row[x]) + n));
        }
    }
    return image;
}

QImage recoloured(const QImage &photo)
{
    QImage out = photo.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            row[x] = qRgb(qBlue(row[x]), qRed(row[x]), qGreen(row[x]));
        }
    }
    return out;
}

QImage lightened(const QImage &photo, double factor)
{
    return perPixel(photo, [&](int c) { return clipped(c * factor); });
}

QImage shifted(const QImage &photo, int levels)
{
    return perPixel(photo, [&](int c) { return clipped(c + levels); });
}

QImage contrasted(const QImage &photo, double factor)
{
    return perPixel(photo, [&](int c) { return clipped(128 + (c - 128) * factor); });
}

QImage cropped(const QImage &photo, double share)
{
    const int dx = static_cast<int>(std::lround(photo.width() * share));
    const int dy = static_cast<int>(std::lround(photo.height() * share));
    return photo.copy(dx, dy, photo.width() - 2 * dx, photo.height() - 2 * dy);
}

QImage scaledToLongSide(const QImage &photo, int longSide)
{
    return photo.width() >= photo.height()
               ? photo.scaledToWidth(longSide, Qt::SmoothTransformation)
               : photo.scaledToHeight(longSide, Qt::SmoothTransformation);
}

QImage turned(const QImage &photo, int quarters)
{
    return photo.transformed(QTransform().rotate(90.0 * quarters));
}

QImage mirrored(const QImage &photo)
{
    return photo.mirrored(true, false);
}

QImage greyed(const QImage &photo)
{
    return photo.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
}

} // namespace quillmere::test
