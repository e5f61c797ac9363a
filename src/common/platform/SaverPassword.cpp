// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/SaverPassword.h"

#include "common/SettingsStore.h"

#include <crypt.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// yescrypt's default cost, as Debian uses for login passwords.
constexpr unsigned long YescryptCost = 0;

struct CryptData
{
    crypt_data data{};
    ~CryptData() { explicit_bzero(&data, sizeof data); }
};

bool isCryptBase64(char c)
{
    return c == '.' || c == '/' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Compares all of both strings whatever they hold, so the time taken tells nothing about where
// they differ.
bool equalInConstantTime(const char *a, const char *b)
{
    const std::size_t la = std::strlen(a);
    const std::size_t lb = std::strlen(b);
    const std::size_t n = std::max(la, lb);
    unsigned char diff = la == lb ? 0 : 1;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = i < la ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char cb = i < lb ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned char>(ca ^ cb);
    }
    return diff == 0;
}

} // namespace

QString HashSaverPassword(const QByteArray &password)
{
    // A NUL inside the password would silently cut it short.
    if (password.contains('\0')) {
        return {};
    }
    char *setting = crypt_gensalt_ra("$y$", YescryptCost, nullptr, 0);
    if (setting == nullptr) {
        return {};
    }
    auto data = std::make_unique<CryptData>();
    const char *out = crypt_r(password.constData(), setting, &data->data);
    std::free(setting);
    if (out == nullptr || out[0] == '*') {
        return {};
    }
    const QString hash = QString::fromLatin1(out);
    return IsUsableSaverHash(hash) ? hash : QString();
}

bool IsUsableSaverHash(const QString &hash)
{
    // "$y$" parameters "$" salt "$" 43 characters of hash.
    const QStringList parts = hash.split(QLatin1Char('$'));
    if (parts.size() != 5 || !parts[0].isEmpty() || parts[1] != QLatin1String("y") || parts[2].isEmpty() ||
        parts[3].isEmpty() || parts[4].size() != 43) {
        return false;
    }
    for (const QString &part : {parts[2], parts[3], parts[4]}) {
        for (const QChar c : part) {
            if (c.unicode() > 127 || !isCryptBase64(static_cast<char>(c.unicode()))) {
                return false;
            }
        }
    }
    const QByteArray setting = hash.toLatin1();
    return crypt_checksalt(setting.constData()) == CRYPT_SALT_OK;
}

bool SaverPasswordMatches(const QByteArray &password, const QString &hash)
{
    if (!IsUsableSaverHash(hash) || password.contains('\0')) {
        return false;
    }
    const QByteArray stored = hash.toLatin1();
    auto data = std::make_unique<CryptData>();
    const char *out = crypt_r(password.constData(), stored.constData(), &data->data);
    if (out == nullptr || out[0] == '*') {
        return false;
    }
    return equalInConstantTime(out, stored.constData());
}

QString StoredSaverPasswordHash()
{
    return GetSetting(AppName, SaverSection, SaverPasswordKey);
}

StoredPassword StoredSaverPasswordState()
{
    const QString hash = StoredSaverPasswordHash();
    if (hash.isEmpty()) {
        return StoredPassword::None;
    }
    return IsUsableSaverHash(hash) ? StoredPassword::Valid : StoredPassword::Damaged;
}

bool SetSaverPassword(const QByteArray &password)
{
    if (password.isEmpty()) {
        return DeleteSetting(AppName, SaverSection, SaverPasswordKey);
    }
    const QString hash = HashSaverPassword(password);
    if (hash.isEmpty()) {
        return false;
    }
    return SaveSetting(AppName, SaverSection, SaverPasswordKey, hash);
}

int SaverPasswordDelayMs(int failures)
{
    constexpr int Free = 3;
    constexpr int Longest = 30000;
    if (failures < Free) {
        return 0;
    }
    const int doublings = failures - Free;
    if (doublings >= 15) {
        return Longest;
    }
    return std::min(Longest, 1000 << doublings);
}

void WipeSecret(QByteArray &secret)
{
    if (!secret.isEmpty()) {
        // data() detaches, so wipe only a buffer this object owns alone; the caller keeps no copy.
        explicit_bzero(secret.data(), static_cast<std::size_t>(secret.size()));
    }
    secret.clear();
}

void WipeSecret(QString &secret)
{
    if (!secret.isEmpty()) {
        explicit_bzero(secret.data(), static_cast<std::size_t>(secret.size()) * sizeof(QChar));
    }
    secret.clear();
}
