#include "compat/peimage.h"

#include <QVector>
#include <QtEndian>

namespace {

// Bounds against files made to look endless.
constexpr int MaxSections = 96;
constexpr int MaxImports = 4096;
constexpr quint32 MaxExports = 65536;
constexpr int MaxNameLength = 512;

constexpr quint16 MachineX86 = 0x014c;
constexpr quint16 MachineX64 = 0x8664;
constexpr int ExportDirectory = 0;
constexpr int ImportDirectory = 1;

struct Section
{
    quint32 rva = 0;
    quint32 rawSize = 0;
    quint32 rawOffset = 0;
};

struct Headers
{
    quint16 machine = 0;
    QVector<quint32> directories; // the RVA of each data directory
    QVector<Section> sections;
};

bool inside(const QByteArray &image, qint64 offset, qint64 size)
{
    return offset >= 0 && offset <= image.size() - size;
}

quint16 read16(const QByteArray &image, qint64 offset)
{
    return inside(image, offset, 2) ? qFromLittleEndian<quint16>(image.constData() + offset) : 0;
}

quint32 read32(const QByteArray &image, qint64 offset)
{
    return inside(image, offset, 4) ? qFromLittleEndian<quint32>(image.constData() + offset) : 0;
}

bool readHeaders(const QByteArray &image, Headers *headers)
{
    if (!image.startsWith("MZ")) {
        return false;
    }
    const qint64 pe = read32(image, 0x3c);
    if (!inside(image, pe, 24) || image.mid(int(pe), 4) != QByteArray("PE\0\0", 4)) {
        return false;
    }
    headers->machine = read16(image, pe + 4);
    const int sectionCount = read16(image, pe + 6);
    const qint64 optionalSize = read16(image, pe + 20);
    const qint64 optional = pe + 24;
    qint64 directories = 0;
    switch (read16(image, optional)) {
    case 0x10b: // PE32
        directories = optional + 96;
        break;
    case 0x20b: // PE32+
        directories = optional + 112;
        break;
    default:
        return false;
    }
    const quint32 directoryCount = qMin(read32(image, directories - 4), 16u);
    for (quint32 i = 0; i < directoryCount && directories + 8 * (i + 1) <= optional + optionalSize; ++i) {
        headers->directories.append(read32(image, directories + 8 * i));
    }
    const qint64 table = optional + optionalSize;
    for (int i = 0; i < qMin(sectionCount, MaxSections); ++i) {
        const qint64 at = table + 40 * i;
        if (!inside(image, at, 40)) {
            return false;
        }
        headers->sections.append({read32(image, at + 12), read32(image, at + 16), read32(image, at + 20)});
    }
    return true;
}

// Where in the file the byte at a relative virtual address lies, or -1 where no section holds it.
qint64 fileOffset(const Headers &headers, quint32 rva)
{
    for (const Section &section : headers.sections) {
        if (rva >= section.rva && rva - section.rva < section.rawSize) {
            return qint64(section.rawOffset) + (rva - section.rva);
        }
    }
    return -1;
}

QString nameAt(const QByteArray &image, qint64 offset)
{
    if (!inside(image, offset, 1)) {
        return {};
    }
    const int end = image.indexOf('\0', int(offset));
    if (end < 0 || end - offset > MaxNameLength) {
        return {};
    }
    return QString::fromLatin1(image.constData() + offset, int(end - offset));
}

qint64 directoryOffset(const Headers &headers, int directory)
{
    if (directory >= headers.directories.size() || headers.directories.at(directory) == 0) {
        return -1;
    }
    return fileOffset(headers, headers.directories.at(directory));
}

} // namespace

int peImageBits(const QByteArray &image)
{
    Headers headers;
    if (!readHeaders(image, &headers)) {
        return 0;
    }
    return headers.machine == MachineX86 ? 32 : headers.machine == MachineX64 ? 64 : 0;
}

QStringList peImageImports(const QByteArray &image)
{
    QStringList names;
    Headers headers;
    if (!readHeaders(image, &headers)) {
        return names;
    }
    qint64 at = directoryOffset(headers, ImportDirectory);
    // Descriptors of 20 bytes, the name's RVA at 12, up to one that is all zero.
    for (int i = 0; i < MaxImports && at >= 0 && inside(image, at, 20); ++i, at += 20) {
        const quint32 nameRva = read32(image, at + 12);
        if (nameRva == 0) {
            break;
        }
        const QString name = nameAt(image, fileOffset(headers, nameRva));
        if (!name.isEmpty()) {
            names.append(name);
        }
    }
    return names;
}

QStringList peImageExports(const QByteArray &image)
{
    QStringList names;
    Headers headers;
    if (!readHeaders(image, &headers)) {
        return names;
    }
    const qint64 directory = directoryOffset(headers, ExportDirectory);
    if (directory < 0 || !inside(image, directory, 40)) {
        return names;
    }
    const quint32 count = qMin(read32(image, directory + 24), MaxExports);
    const qint64 table = fileOffset(headers, read32(image, directory + 32));
    for (quint32 i = 0; i < count && table >= 0 && inside(image, table + 4 * qint64(i), 4); ++i) {
        const QString name = nameAt(image, fileOffset(headers, read32(image, table + 4 * qint64(i))));
        if (!name.isEmpty()) {
            names.append(name);
        }
    }
    return names;
}
