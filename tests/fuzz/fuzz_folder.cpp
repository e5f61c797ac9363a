// SPDX-License-Identifier: GPL-2.0-or-later
// A whole folder through the file list, the fitted view's loader and the thumbnail source: the
// names (any bytes a file name may hold), the kinds of entry (files, folders, FIFOs, links) and
// the contents are fuzzed. Every listed name must name exactly a file that was made.
#include "common/FileNames.h"
#include "common/platform/AppPaths.h"
#include "panel/FileListRules.h"
#include "viewer/FittedLoader.h"
#include "viewer/ThumbnailSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>

#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QTemporaryDir *g_root = nullptr;

class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {}
    [[nodiscard]] bool empty() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    QByteArray bytes(std::size_t n)
    {
        n = std::min(n, m_size - std::min(m_at, m_size));
        QByteArray out(reinterpret_cast<const char *>(m_data + m_at), static_cast<qsizetype>(n));
        m_at += n;
        return out;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

void RemoveTree(const QByteArray &folder)
{
    ::nftw(
        folder.constData(), [](const char *path, const struct stat *, int, FTW *) { return ::remove(path), 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // Metafiles have fuzzers of their own, without a process per input.
    qputenv("VANTREL_METAFILE_HELPER", "/nonexistent/vantrel-metafile-helper");
    qputenv("VANTREL_PICTURE_HELPER", "/nonexistent/vantrel-picture-helper");
    static QTemporaryDir root;
    g_root = &root;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray folder = EncodeName(g_root->path()) + "/pictures";
    RemoveTree(folder);
    ::mkdir(folder.constData(), 0700);

    // Entries: kind, name length, name, content length (two bytes), content.
    Input in(data, size);
    QSet<QByteArray> made;
    for (int entry = 0; entry < 8 && !in.empty(); ++entry) {
        const std::uint8_t kind = in.byte() % 8;
        QByteArray name = in.bytes(1 + in.byte() % 40);
        name.replace('/', '_');
        name.replace('\0', '_');
        if (name.isEmpty() || name == "." || name == "..") {
            continue;
        }
        // Mostly names the list takes.
        static const char *const kSuffixes[] = {".bmp", ".jpg", ".gif", ".JPEG", ".wmf", ".emf", "", ".gif"};
        name += kSuffixes[kind];
        const std::size_t length = in.byte() | (std::size_t(in.byte()) << 8);
        const QByteArray content = in.bytes(length);
        const QByteArray path = folder + '/' + name;
        if (kind == 6) {
            ::mkdir(path.constData(), 0700);
        } else if (kind == 7 && content.size() % 3 == 0) {
            ::mkfifo(path.constData(), 0600);
        } else if (kind == 7) {
            ::symlink(content.constData(), path.constData());
        } else {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0) {
                (void)!::write(fd, content.constData(), static_cast<size_t>(content.size()));
                ::close(fd);
                made.insert(name);
            }
        }
    }

    const auto names =
        ReadFolder(DecodeName(folder), FilePattern(QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf;*.emf")));
    if (!names) {
        std::abort(); // the folder exists and can be read
    }
    QStringList paths;
    for (const QString &name : *names) {
        // Never another file's name: each listed name is exactly the bytes of a file made here
        // (or a link that reaches one).
        const QByteArray raw = EncodeName(name);
        if (DecodeName(raw) != name || (!made.contains(raw) && !LstatPath(DecodeName(folder + '/' + raw)))) {
            std::abort();
        }
        paths << JoinPath(DecodeName(folder), name);
    }
    ScreenForFit screen;
    screen.widthPx = 320;
    screen.heightPx = 240;
    screen.twipsPerPixelX = 15;
    screen.twipsPerPixelY = 15;
    for (const QString &path : std::as_const(paths)) {
        (void)LoadFitted(path, screen);
    }
    ThumbnailSource thumbnails(g_root->path() + QStringLiteral("/thumbnails"));
    auto future = thumbnails.load(paths, 64, 15, 15);
    future.waitForFinished();
    thumbnails.writePending();
    thumbnails.waitForWrites();
    return 0;
}
