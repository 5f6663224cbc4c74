// Writes the program's icon file from its images: one .ico holding each
// image as a PNG entry, in the order given, with the colour count of the
// image it came from (2 or 16 colours).
//   deptest_make_icon OUTPUT.ico IMAGE...

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <vector>

namespace {

void putWord(QByteArray& bytes, quint16 value)
{
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>(value >> 8));
}

void putLong(QByteArray& bytes, quint32 value)
{
    putWord(bytes, static_cast<quint16>(value & 0xFFFF));
    putWord(bytes, static_cast<quint16>(value >> 16));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico IMAGE...\n", argv[0]);
        return 2;
    }
    struct Entry {
        QImage image;
        int colours;
        QByteArray png;
    };
    std::vector<Entry> entries;
    for (int argument = 2; argument < argc; ++argument) {
        const QImage image(QString::fromLocal8Bit(argv[argument]));
        if (image.isNull() || image.width() > 256 || image.height() > 256) {
            std::fprintf(stderr, "cannot use %s\n", argv[argument]);
            return 1;
        }
        // The colours an image shows; transparency is the icon's mask.
        int opaque = 0;
        for (const QRgb colour : image.colorTable())
            opaque += qAlpha(colour) == 255 ? 1 : 0;
        const int colours = image.colorCount() == 0 ? 0 : opaque <= 2 ? 2 : opaque <= 16 ? 16 : 0;
        Entry entry { image, colours, {} };
        QBuffer buffer(&entry.png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        entries.push_back(std::move(entry));
    }

    QByteArray icon;
    putWord(icon, 0); // reserved
    putWord(icon, 1); // an icon
    putWord(icon, static_cast<quint16>(entries.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(entries.size());
    for (const Entry& entry : entries) {
        icon.append(static_cast<char>(entry.image.width() % 256));
        icon.append(static_cast<char>(entry.image.height() % 256));
        icon.append(static_cast<char>(entry.colours > 0 && entry.colours < 256 ? entry.colours : 0));
        icon.append('\0');
        putWord(icon, 1); // planes
        putWord(icon, static_cast<quint16>(entry.colours == 2 ? 1 : entry.colours == 16 ? 4 : 32));
        putLong(icon, static_cast<quint32>(entry.png.size()));
        putLong(icon, offset);
        offset += static_cast<quint32>(entry.png.size());
    }
    for (const Entry& entry : entries)
        icon.append(entry.png);

    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(icon) != icon.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
