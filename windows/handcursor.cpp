#include "windows/handcursor.h"

#include <QBitmap>
#include <QColor>
#include <QImage>

#include <array>
#include <cstring>

namespace quorvel::windows {

namespace {

constexpr int kSize = 32;

// 'X' black, 'o' white, anything else transparent. Rows shorter than 32 are padded.
// clang-format off
constexpr std::array<const char*, 21> kHandRows = {
    "......XX",
    ".....XooX",
    ".....XooX",
    ".....XooX",
    ".....XooX",
    ".....XooXXX",
    ".....XooXooXXX",
    ".....XooXooXooXX",
    ".XX..XooXooXooXoX",
    "XooX.XooooooooXooX",
    "XoooXXoooooooooooX",
    ".XoooXoooooooooooX",
    "..XooXoooooooooooX",
    "..XooooooooooooooX",
    "...XoooooooooooooX",
    "...XooooooooooooX",
    "....XoooooooooooX",
    "....XooooooooooX",
    ".....XoooooooooX",
    ".....XoooooooooX",
    ".....XXXXXXXXXXX",
};
// clang-format on

char pixelAt(int x, int y) {
    if (y >= static_cast<int>(kHandRows.size())) {
        return '.';
    }
    const char* row = kHandRows[static_cast<size_t>(y)];
    return x < static_cast<int>(std::strlen(row)) ? row[x] : '.';
}

}  // namespace

QCursor handCursor() {
    // Two one-bit images: the bitmap says black (1) or white (0), the mask says drawn (1) or not.
    QImage bits(kSize, kSize, QImage::Format_MonoLSB);
    QImage mask(kSize, kSize, QImage::Format_MonoLSB);
    for (QImage* image : {&bits, &mask}) {
        // Index 1 is color1 (black, or drawn in a mask), index 0 is color0.
        image->setColor(0, QColor(Qt::white).rgb());
        image->setColor(1, QColor(Qt::black).rgb());
        image->fill(0);
    }
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const char p = pixelAt(x, y);
            bits.setPixel(x, y, p == 'X' ? 1 : 0);
            mask.setPixel(x, y, (p == 'X' || p == 'o') ? 1 : 0);
        }
    }
    return QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), kHandCursorHotX,
                   kHandCursorHotY);
}

}  // namespace quorvel::windows
