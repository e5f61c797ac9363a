// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/SettingsRules.h"

#include "common/NaturalOrder.h"
#include "common/Rounding.h"

#include <algorithm>
#include <cmath>

namespace {

// The value of pi the dial's arithmetic has always used (the 32-bit float nearest to it), so an
// angle comes out the same to the last rounding.
constexpr double kPi = 3.1415927410125732;

double ArcTanDegrees(double value)
{
    return std::atan(value) * 180.0 / kPi;
}

QString WithoutTrailingSlash(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) {
        p.chop(1);
    }
    return p;
}

QString LastPart(const QString &path)
{
    const QString p = WithoutTrailingSlash(path);
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

bool IsUnder(const QString &path, const QString &folder)
{
    if (folder == QLatin1String("/")) {
        return path.startsWith(QLatin1Char('/'));
    }
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

std::optional<int> ParseSlideInterval(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 3) {
        return std::nullopt;
    }
    int value = 0;
    for (const QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 255) {
        return std::nullopt;
    }
    return value;
}

QString SlideIntervalMessage()
{
    return QStringLiteral("The slide interval must be a whole number of seconds from 1 to 255.");
}

int DialCentre(double scaleSize)
{
    return static_cast<int>(RoundToInt(scaleSize / 2));
}

int DialAngle(double x, double y, double cx, double cy)
{
    double angle = 0;
    if (x > cx && y <= cy) {
        angle = ArcTanDegrees((cy - y) / (x - cx));
    } else if (x == cx && y <= cy) {
        angle = 90;
    } else if (x < cx) {
        angle = ArcTanDegrees((cy - y) / (x - cx)) + 180;
    } else if (x == cx) {
        angle = 270;
    } else {
        angle = ArcTanDegrees((cy - y) / (x - cx)) + 360;
    }
    return static_cast<int>(RoundToInt(angle));
}

QPointF NeedleEnd(int angle, double cx, double cy)
{
    const double radians = angle * static_cast<double>(3.1415927F) / 180.0;
    return {cx + std::cos(radians) * 100, cy - std::sin(radians) * 100};
}

int AngleFromCaption(const QString &caption)
{
    bool ok = false;
    const double value = caption.chopped(caption.isEmpty() ? 0 : 1).trimmed().toDouble(&ok);
    return ok ? static_cast<int>(RoundToInt(value)) : 0;
}

QString AngleCaption(int angle)
{
    return QString::number(angle) + QChar(176);
}

QString GetBaseName(const QString &path)
{
    const QString last = LastPart(path);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? last : last.left(dot);
}

QString FolderDisplayName(const QString &path, const QStringList &mountPoints)
{
    const QString p = WithoutTrailingSlash(path);
    if (p == QLatin1String("/")) {
        return QStringLiteral("Root");
    }
    if (mountPoints.contains(p)) {
        return LastPart(p);
    }
    const QString base = GetBaseName(p);
    return base.isEmpty() ? LastPart(p) : base;
}

QString DistinctFolderName(const QString &path, const QStringList &mountPoints, const QStringList &taken)
{
    const QString name = FolderDisplayName(path, mountPoints);
    if (!taken.contains(name)) {
        return name;
    }
    const QString p = WithoutTrailingSlash(path);
    const QString last = p == QLatin1String("/") ? name : LastPart(p);
    if (!taken.contains(last)) {
        return last;
    }
    const QString parentPath = p.left(p.lastIndexOf(QLatin1Char('/')));
    const QString parent = parentPath.isEmpty() ? QString() : LastPart(parentPath);
    if (!parent.isEmpty()) {
        const QString withParent = QStringLiteral("%1 (%2)").arg(name, parent);
        if (!taken.contains(withParent)) {
            return withParent;
        }
    }
    for (int n = 2;; ++n) {
        const QString numbered = QStringLiteral("%1 (%2)").arg(name).arg(n);
        if (!taken.contains(numbered)) {
            return numbered;
        }
    }
}

int SortedInsertPlace(const QStringList &names, const QString &name)
{
    return static_cast<int>(std::upper_bound(names.begin(), names.end(), name, NaturalLess) - names.begin());
}

int RemoveNeighbour(int index, int count)
{
    return index == count - 1 ? index - 1 : index + 1;
}

bool IsPictureMount(const MountInfo &mount, const QString &homePath)
{
    const QString root = WithoutTrailingSlash(mount.rootPath);
    if (root == QLatin1String("/")) {
        return true;
    }
    for (const char *system : {"/proc", "/sys", "/dev"}) {
        if (IsUnder(root, QLatin1String(system))) {
            return false;
        }
    }
    static const QStringList pseudo = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),           QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),      QStringLiteral("tmpfs"),           QStringLiteral("ramfs"),
        QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),         QStringLiteral("securityfs"),
        QStringLiteral("debugfs"),     QStringLiteral("tracefs"),         QStringLiteral("pstore"),
        QStringLiteral("bpf"),         QStringLiteral("mqueue"),          QStringLiteral("hugetlbfs"),
        QStringLiteral("configfs"),    QStringLiteral("fusectl"),         QStringLiteral("binfmt_misc"),
        QStringLiteral("autofs"),      QStringLiteral("efivarfs"),        QStringLiteral("rpc_pipefs"),
        QStringLiteral("nsfs"),        QStringLiteral("selinuxfs"),       QStringLiteral("overlay"),
        QStringLiteral("fuse.portal"), QStringLiteral("fuse.gvfsd-fuse"), QStringLiteral("fuse.lxcfs"),
    };
    if (pseudo.contains(mount.fsType)) {
        return false;
    }
    if (!homePath.isEmpty() && IsUnder(WithoutTrailingSlash(homePath), root)) {
        return true;
    }
    // Removable media, including a CD, wherever the desktop mounts them.
    if (IsUnder(root, QStringLiteral("/media")) || IsUnder(root, QStringLiteral("/run/media"))) {
        return true;
    }
    for (const char *system : {"/run", "/snap", "/var/snap", "/var/lib/snapd", "/boot"}) {
        if (IsUnder(root, QLatin1String(system))) {
            return false;
        }
    }
    // A program's image mounted read-only (a snap, an AppImage) holds no pictures of the user's.
    static const QStringList images = {QStringLiteral("squashfs"), QStringLiteral("erofs"), QStringLiteral("iso9660"),
                                       QStringLiteral("udf")};
    return !(mount.readOnly && images.contains(mount.fsType));
}

QString MountCaption(const MountInfo &mount)
{
    const QString root = WithoutTrailingSlash(mount.rootPath);
    return mount.label.isEmpty() ? root : root + QStringLiteral(" [") + mount.label + QLatin1Char(']');
}

QString MountOf(const QString &path, const QStringList &mountPoints)
{
    const QString p = WithoutTrailingSlash(path);
    QString best = QStringLiteral("/");
    for (const QString &m : mountPoints) {
        const QString mount = WithoutTrailingSlash(m);
        if (mount.size() > best.size() && IsUnder(p, mount)) {
            best = mount;
        }
    }
    return best;
}

QStringList FolderChain(const QString &root, const QString &path)
{
    const QString r = WithoutTrailingSlash(root);
    const QString p = WithoutTrailingSlash(path);
    QStringList chain{r};
    if (p == r || !IsUnder(p, r)) {
        return chain;
    }
    const QString rest = p.mid(r == QLatin1String("/") ? 1 : r.size() + 1);
    QString at = r;
    for (const QString &part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        at = at == QLatin1String("/") ? at + part : at + QLatin1Char('/') + part;
        chain.append(at);
    }
    return chain;
}

bool InsideHiddenFolder(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(parts.begin(), parts.end(), [](const QString &part) {
        return part.startsWith(QLatin1Char('.')) && part != QLatin1String(".") && part != QLatin1String("..");
    });
}

QString CreateFolderPrompt(const QString &parent)
{
    const QString withSlash = parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/');
    return QStringLiteral("Enter new folder name on path:\n'") + withSlash + QLatin1Char('\'');
}
