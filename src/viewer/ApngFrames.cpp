// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ApngFrames.h"

#include "common/picture/Picture.h"

#include <QPainter>
#include <QtEndian>

#include <array>

namespace {

constexpr int kMaxFrames = 10000;

std::uint32_t crc32(const QByteArray &bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes) {
        c = table[(c ^ static_cast<unsigned char>(b)) & 0xFFu] ^ (c >> 8);
    }
    return ~c;
}

QByteArray chunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), out.data());
    const QByteArray body = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return out + body + crc;
}

quint32 be32(const char *p)
{
    return qFromBigEndian<quint32>(p);
}

quint16 be16(const char *p)
{
    return qFromBigEndian<quint16>(p);
}

} // namespace

std::unique_ptr<ApngFrames> ApngFrames::open(const QByteArray &bytes)
{
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        return nullptr;
    }
    auto apng = std::unique_ptr<ApngFrames>(new ApngFrames);
    bool animated = false;
    bool dataSeen = false;
    Frame *current = nullptr;
    QSize canvas;
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const quint32 length = be32(bytes.constData() + at);
        if (length > static_cast<quint32>(bytes.size() - at - 12)) {
            break; // a cut file plays the frames it holds in full
        }
        const QByteArray type = bytes.mid(at + 4, 4);
        const char *data = bytes.constData() + at + 8;
        at += 12 + static_cast<qsizetype>(length);
        if (type == "IHDR") {
            if (length != 13) {
                return nullptr;
            }
            apng->m_header = QByteArray(data, 13);
            canvas = QSize(static_cast<int>(std::min<quint32>(be32(data), 1u << 30)),
                           static_cast<int>(std::min<quint32>(be32(data + 4), 1u << 30)));
        } else if (type == "acTL") {
            if (length != 8) {
                return nullptr;
            }
            animated = true;
            apng->m_plays = static_cast<int>(std::min<quint32>(be32(data + 4), 1u << 20));
        } else if (type == "fcTL") {
            if (length != 26 || apng->m_frames.size() >= kMaxFrames) {
                return nullptr;
            }
            Frame frame;
            const quint32 w = be32(data + 4);
            const quint32 h = be32(data + 8);
            const quint32 x = be32(data + 12);
            const quint32 y = be32(data + 16);
            if (w == 0 || h == 0 || quint64(x) + w > quint64(canvas.width()) ||
                quint64(y) + h > quint64(canvas.height())) {
                return nullptr;
            }
            frame.rect = QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h));
            const int num = be16(data + 20);
            const int den = be16(data + 22) == 0 ? 100 : be16(data + 22);
            frame.delayMs = num * 1000 / den;
            frame.dispose = static_cast<unsigned char>(data[24]) <= 2 ? static_cast<unsigned char>(data[24]) : 0;
            frame.blend = static_cast<unsigned char>(data[25]) == 1 ? 1 : 0;
            apng->m_frames.append(frame);
            current = &apng->m_frames.last();
        } else if (type == "IDAT") {
            dataSeen = true;
            // The default picture is a frame only when a frame control came before it.
            if (current != nullptr) {
                current->data += QByteArray(data, length);
            }
        } else if (type == "fdAT") {
            dataSeen = true;
            if (current != nullptr && length > 4) {
                current->data += QByteArray(data + 4, length - 4);
            }
        } else if (type == "IEND") {
            break;
        } else if (!dataSeen && (type == "PLTE" || type == "tRNS" || type == "gAMA" || type == "cHRM" ||
                                 type == "sRGB" || type == "iCCP" || type == "sBIT")) {
            apng->m_shared += chunk(type, QByteArray(data, length));
        }
    }
    while (!apng->m_frames.isEmpty() && apng->m_frames.last().data.isEmpty()) {
        apng->m_frames.removeLast();
    }
    if (!animated || apng->m_header.isEmpty() || apng->m_frames.size() < 2 || canvas.isEmpty() ||
        qint64(canvas.width()) * canvas.height() > PictureLimits::maxAnimatedPixels) {
        return nullptr;
    }
    for (const Frame &f : apng->m_frames) {
        if (f.data.isEmpty()) {
            return nullptr;
        }
    }
    apng->m_canvas = QImage(canvas, QImage::Format_ARGB32_Premultiplied);
    if (apng->m_canvas.isNull()) {
        return nullptr;
    }
    apng->restart();
    return apng;
}

void ApngFrames::restart()
{
    m_next = 0;
    m_canvas.fill(Qt::transparent);
    m_saved = QImage();
    m_lastDispose = 0;
    m_lastRect = QRect();
}

QImage ApngFrames::read(QSize size)
{
    if (!canRead()) {
        return {};
    }
    const Frame &frame = m_frames.at(m_next);
    const bool first = m_next == 0;
    ++m_next;
    QByteArray header = m_header;
    qToBigEndian<quint32>(static_cast<quint32>(frame.rect.width()), header.data());
    qToBigEndian<quint32>(static_cast<quint32>(frame.rect.height()), header.data() + 4);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + m_shared +
                           chunk("IDAT", frame.data) + chunk("IEND", QByteArray());
    QImage part = QImage::fromData(png, "png");
    if (part.isNull() || part.size() != frame.rect.size()) {
        return {};
    }
    part = part.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    QPainter painter(&m_canvas);
    // What the frame before asked to leave behind it.
    if (m_lastDispose == 1) {
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(m_lastRect, Qt::transparent);
    } else if (m_lastDispose == 2 && !m_saved.isNull()) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(m_lastRect.topLeft(), m_saved);
    }
    // The first frame has nothing before it to go back to: it clears instead.
    const int dispose = first && frame.dispose == 2 ? 1 : frame.dispose;
    m_saved = dispose == 2 ? m_canvas.copy(frame.rect) : QImage();
    painter.setCompositionMode(frame.blend == 1 ? QPainter::CompositionMode_SourceOver
                                                : QPainter::CompositionMode_Source);
    painter.drawImage(frame.rect.topLeft(), part);
    painter.end();
    m_lastDispose = dispose;
    m_lastRect = frame.rect;
    m_delayMs = frame.delayMs;
    if (size.isValid() && !size.isEmpty() && size != m_canvas.size()) {
        return m_canvas.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return m_canvas.copy();
}
