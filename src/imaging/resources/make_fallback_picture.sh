#!/usr/bin/env bash
# Draws the picture that stands in for JPEG files that cannot be shown: 100 x 80
# pixels, 24-bit, the words "Corrupt File" in black anti-aliased serif letters on
# white, the ink spanning exactly columns 1 to 98 and rows 32 to 49. The result,
# corrupt_file.bmp, is compiled into the program, so that it needs no fonts at
# run time. Run once (needs g++, Qt 6 Gui and the DejaVu Serif font):
#   bash src/imaging/resources/make_fallback_picture.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/make.cpp" <<'EOF'
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cstdio>
#include <fstream>

// The ink box: columns 1..98, rows 32..49.
constexpr int kLeft = 1, kTop = 32, kRight = 98, kBottom = 49;

static void put16(std::ofstream &out, unsigned v) { out.put(char(v & 255)).put(char(v >> 8)); }
static void put32(std::ofstream &out, unsigned v) { put16(out, v & 0xFFFF); put16(out, v >> 16); }

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(200);
    QPainterPath text;
    text.addText(0, 0, font, QStringLiteral("Corrupt File"));
    // Map the outline of the letters onto the ink box, so the anti-aliased
    // edges reach into the first and last column and row of the box but not
    // beyond. A hair of inset keeps the rasterizer from touching the next pixel.
    const QRectF from = text.boundingRect();
    const QRectF to(kLeft + 0.02, kTop + 0.02, kRight - kLeft + 1 - 0.04, kBottom - kTop + 1 - 0.04);
    QTransform map;
    map.translate(to.left(), to.top());
    map.scale(to.width() / from.width(), to.height() / from.height());
    map.translate(-from.left(), -from.top());

    QImage picture(100, 80, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(map.map(text), Qt::black);
    painter.end();

    int left = 100, top = 80, right = -1, bottom = -1;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x) {
            if ((picture.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                left = std::min(left, x); right = std::max(right, x);
                top = std::min(top, y); bottom = std::max(bottom, y);
            }
        }
    }
    if (left != kLeft || top != kTop || right != kRight || bottom != kBottom) {
        std::fprintf(stderr, "ink spans %d..%d x %d..%d\n", left, right, top, bottom);
        return 1;
    }

    // A plain 24-bit bottom-up BMP with a 40-byte header; 300-byte rows need
    // no padding.
    std::ofstream out(argv[1], std::ios::binary);
    const unsigned pixelBytes = 100 * 3 * 80;
    out.write("BM", 2);
    put32(out, 14 + 40 + pixelBytes);
    put32(out, 0);
    put32(out, 14 + 40);
    put32(out, 40);
    put32(out, 100);
    put32(out, 80);
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, pixelBytes);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = 79; y >= 0; --y) {
        for (int x = 0; x < 100; ++x) {
            const QRgb c = picture.pixel(x, y);
            out.put(char(qBlue(c))).put(char(qGreen(c))).put(char(qRed(c)));
        }
    }
    return out ? 0 : 1;
}
EOF

# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -O1 -o "$work/make" "$work/make.cpp" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$work/make" "$here/corrupt_file.bmp"
echo "wrote $here/corrupt_file.bmp"
