// Writes the program's icon as PNG files for the desktop's icon theme, or as one Windows icon
// file:
//   appicon DIR NAME SIZE...     makes DIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE
//   appicon --ico FILE SIZE...   makes FILE, an .ico holding every SIZE (as PNG images)
// The icon is the one the window shows, drawn by the same code at each size.
#include "app/AppIcon.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

long ParseSize(const char* text) {
    char* end = nullptr;
    const long size = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || size < 8 || size > 1024) return -1;
    return size;
}

void PutLe(QByteArray& out, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The icon file: a header, one directory entry per size, then the images as PNG data.
int WriteIco(const QString& file, const std::vector<long>& sizes) {
    std::vector<QByteArray> images;
    for (long size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!DrawAppIcon(int(size)).save(&buffer, "PNG")) return 1;
        images.push_back(png);
    }
    QByteArray out;
    PutLe(out, 0, 2); // reserved
    PutLe(out, 1, 2); // an icon
    PutLe(out, static_cast<unsigned>(sizes.size()), 2);
    unsigned offset = 6 + 16 * static_cast<unsigned>(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const unsigned side = sizes[i] >= 256 ? 0 : static_cast<unsigned>(sizes[i]); // 0 stands for 256
        PutLe(out, side, 1);
        PutLe(out, side, 1);
        PutLe(out, 0, 1);  // no palette
        PutLe(out, 0, 1);  // reserved
        PutLe(out, 1, 2);  // colour planes
        PutLe(out, 32, 2); // bits per pixel
        PutLe(out, static_cast<unsigned>(images[i].size()), 4);
        PutLe(out, offset, 4);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const QByteArray& image : images) out.append(image);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size()) return 1;
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: appicon DIR NAME SIZE... | appicon --ico FILE SIZE...\n");
        return 2;
    }
    if (QString::fromLocal8Bit(argv[1]) == QStringLiteral("--ico")) {
        std::vector<long> sizes;
        for (int i = 3; i < argc; ++i) {
            const long size = ParseSize(argv[i]);
            if (size < 0 || size > 256) {
                std::fprintf(stderr, "appicon: bad size %s\n", argv[i]);
                return 2;
            }
            sizes.push_back(size);
        }
        if (WriteIco(QString::fromLocal8Bit(argv[2]), sizes) != 0) {
            std::fprintf(stderr, "appicon: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const long size = ParseSize(argv[i]);
        if (size < 0) {
            std::fprintf(stderr, "appicon: bad size %s\n", argv[i]);
            return 2;
        }
        const QString sub = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(sub, name);
        if (!QDir().mkpath(sub) || !DrawAppIcon(int(size)).save(file, "PNG")) {
            std::fprintf(stderr, "appicon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
