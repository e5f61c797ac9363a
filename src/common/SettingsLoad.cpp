// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/SettingsLoad.h"

#include "common/SettingsStore.h"
#include "common/StoredValues.h"

SettingReader StoreReader()
{
    return [](const QString &section, const QString &key) { return GetSetting(AppName, section, key); };
}

void ReadStoredSettings(SharedState &state, const SettingReader &read)
{
    const QString settings = QStringLiteral("Settings");
    state.SlideTime = SlideTimeFromStored(read(settings, QStringLiteral("SlideTime")));
    if (const auto v = ToInt16(read(QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow")))) {
        state.LogoShow = *v;
    }
    state.SlideColor = read(settings, QStringLiteral("SlideColor"));
    state.SlideColor2 = read(settings, QStringLiteral("SlideColor2"));
    state.FontColor = read(settings, QStringLiteral("FontColor"));
    if (const auto v = ToInt16(read(settings, QStringLiteral("GradientAngle")))) {
        state.GradientAngle = *v;
    }
    if (const auto v = ToTruth(read(settings, QStringLiteral("RandomShow")))) {
        state.RandomShow = *v;
    }
    if (const auto v = ToTruth(read(settings, QStringLiteral("ManualShow")))) {
        state.ManualShow = *v;
    }
    for (int i = 0; i < 6; ++i) {
        state.Caption(i) = read(settings, QStringLiteral("Caption%1").arg(i + 1));
    }
    state.Basename = read(settings, QStringLiteral("Basename"));
    state.BasePath = state.Basename.isEmpty() ? QString() : read(QStringLiteral("Directories"), state.Basename);
}

SortOrder StoredSortOrder(const SettingReader &read)
{
    const QString settings = QStringLiteral("Settings");
    return SortOrderFromStore(read(settings, QStringLiteral("SortOrder")),
                              read(settings, QStringLiteral("SortDescending")));
}

PictureSet StoredPictureSet(const SettingReader &read)
{
    const auto all = ToTruth(read(QStringLiteral("Settings"), QStringLiteral("AllPictures")));
    return all.value_or(true) ? PictureSet::All : PictureSet::Original;
}

void ApplyColourDefaults(SharedState &state)
{
    if (state.SlideColor.isEmpty()) {
        state.SlideColor = ColourText(DefaultSlideColor);
        state.GradientAngle = 270;
    }
    if (state.SlideColor2.isEmpty()) {
        state.SlideColor2 = ColourText(DefaultSlideColor2);
    }
    if (state.FontColor.isEmpty()) {
        state.FontColor = ColourText(DefaultFontColor);
    }
}

int SlideIntervalMs(std::uint8_t slideTime)
{
    return static_cast<int>(slideTime) * 1000;
}
