// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// Writes an Exif APP1 segment by hand, byte by byte as the TIFF layout has it, so the tests check
// the program's reading against an independent writer. Entries are given in ascending tag order.
class ExifWriter
{
public:
    explicit ExifWriter(bool bigEndian = false)
        : m_big(bigEndian)
    {}

    void ascii0(std::uint16_t tag, const QByteArray &text) { m_ifd0 << entry(tag, 2, text + '\0'); }
    void short0(std::uint16_t tag, std::uint16_t value) { m_ifd0 << entry(tag, 3, u16(value)); }
    void asciiExif(std::uint16_t tag, const QByteArray &text) { m_exif << entry(tag, 2, text + '\0'); }
    void shortExif(std::uint16_t tag, std::uint16_t value) { m_exif << entry(tag, 3, u16(value)); }
    void rationalExif(std::uint16_t tag, std::uint32_t num, std::uint32_t den)
    {
        m_exif << entry(tag, 5, u32(num) + u32(den));
    }

    // The segment (marker included), ready to go right after a JPEG's SOI.
    [[nodiscard]] QByteArray segment() const
    {
        QList<Entry> ifd0 = m_ifd0;
        // IFD 0 points to the Exif IFD (tag 0x8769) when there is one; it is laid out after IFD 0.
        const std::uint32_t ifd0Offset = 8;
        auto ifdSize = [](const QList<Entry> &e) { return 2 + 12 * static_cast<std::uint32_t>(e.size()) + 4; };
        if (!m_exif.isEmpty()) {
            ifd0 << Entry{0x8769, 4, QByteArray(4, '\0')};
        }
        const std::uint32_t exifOffset = ifd0Offset + ifdSize(ifd0) + dataSize(ifd0);
        if (!m_exif.isEmpty()) {
            ifd0.last().data = u32(exifOffset);
        }
        QByteArray tiff = m_big ? QByteArray("MM\0\x2a", 4) : QByteArray("II\x2a\0", 4);
        tiff += u32(ifd0Offset);
        tiff += ifd(ifd0, ifd0Offset);
        if (!m_exif.isEmpty()) {
            tiff += ifd(m_exif, exifOffset);
        }
        const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
        QByteArray seg("\xFF\xE1", 2);
        seg += char((body.size() + 2) >> 8);
        seg += char((body.size() + 2) & 0xFF);
        return seg + body;
    }

    // The JPEG with this segment right after its SOI.
    [[nodiscard]] QByteArray into(const QByteArray &jpeg) const { return jpeg.left(2) + segment() + jpeg.mid(2); }

private:
    struct Entry
    {
        std::uint16_t tag;
        std::uint16_t type; // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL
        QByteArray data;
    };

    static std::uint32_t typeSize(std::uint16_t type) { return type == 3 ? 2 : type == 5 ? 8 : type == 4 ? 4 : 1; }
    static std::uint32_t dataSize(const QList<Entry> &entries)
    {
        std::uint32_t n = 0;
        for (const Entry &e : entries) {
            n += e.data.size() > 4 ? static_cast<std::uint32_t>(e.data.size() + (e.data.size() & 1)) : 0;
        }
        return n;
    }
    QByteArray u16(std::uint16_t v) const
    {
        QByteArray b(2, '\0');
        b[m_big ? 0 : 1] = char(v >> 8);
        b[m_big ? 1 : 0] = char(v & 0xFF);
        return b;
    }
    QByteArray u32(std::uint32_t v) const
    {
        QByteArray b(4, '\0');
        for (int k = 0; k < 4; ++k) {
            b[m_big ? 3 - k : k] = char((v >> (8 * k)) & 0xFF);
        }
        return b;
    }
    Entry entry(std::uint16_t tag, std::uint16_t type, const QByteArray &data) const { return {tag, type, data}; }
    // An IFD at `offset` in the TIFF block, with the values that do not fit in 4 bytes after it.
    QByteArray ifd(const QList<Entry> &entries, std::uint32_t offset) const
    {
        QByteArray table = u16(static_cast<std::uint16_t>(entries.size()));
        QByteArray values;
        std::uint32_t valueOffset = offset + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
        for (const Entry &e : entries) {
            table += u16(e.tag) + u16(e.type) + u32(static_cast<std::uint32_t>(e.data.size()) / typeSize(e.type));
            if (e.data.size() <= 4) {
                table += e.data + QByteArray(4 - e.data.size(), '\0');
            } else {
                table += u32(valueOffset + static_cast<std::uint32_t>(values.size()));
                values += e.data;
                if (values.size() & 1) {
                    values += '\0';
                }
            }
        }
        return table + u32(0) + values;
    }

    bool m_big;
    QList<Entry> m_ifd0;
    QList<Entry> m_exif;
};
