// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The program-wide variables that more than one window reads or writes, under the names every
// window uses. Everything starts as 0, false or empty text; ResetState() returns to that (tests).
struct SharedState
{
    // Screen metrics, measured once at start.
    float TwipsPerPixelX = 0;
    float TwipsPerPixelY = 0;
    float ScreenWidthPx = 0;
    float ScreenHeightPx = 0;
    double PixelScaleX = 0;
    double PixelScaleY = 0;

    // "ScreenSaver"/"Mode" as read at start; "On" marks a screen-saver run.
    QString ScreenSaverMode;

    // Stored settings held in memory. Colours stay the stored text until a dialog sets a number;
    // every use converts them (ColourOf).
    std::uint8_t SlideTime = 0; // seconds between slides
    QString SlideColor;
    QString SlideColor2;
    QString FontColor;
    std::int16_t GradientAngle = 0; // degrees
    bool RandomShow = false;
    bool ManualShow = false;
    std::int16_t LogoShow = 0; // check-box value 0 or 1
    QString Caption1;
    QString Caption2;
    QString Caption3;
    QString Caption4;
    QString Caption5;
    QString Caption6;
    QString Basename;
    QString BasePath;
    // A picture or folder given at start (bytes, as the file system names it): the viewer's load
    // shows it instead of the stored current folder.
    QByteArray StartPath;

    // Settings dialog hand-back.
    bool SettingsChanged = false;
    bool GradientChanged = false;

    // Current picture, file list and commands.
    QString CurrentFile;
    // List indexes and counts are plain ints: a folder may hold more than 32,767 files.
    int SelectedCount = 0;
    bool SelectionFromCode = false;
    QString PopupSource; // "Image", "Thumb", "FileList"
    bool FolderUnavailable = false;
    bool ShownFullSize = false;
    float PictureClickX = 0; // twips
    float PictureClickY = 0; // twips
    bool FileOperationFailed = false;
    QString DropAction; // "MOVE", "COPY"
    bool ButtonRightClick = false;

    // Thumbnail page.
    bool ThumbsLoaded = false;
    int ThumbControlCount = 0;
    int ThumbsOnPage = 0;
    int CurrentThumb = 0;
    std::int16_t LastBorderSet = 0;
    std::uint8_t ThumbColumns = 0;
    bool ThumbShowSelected = false;
    std::int16_t ThumbCellWidth = 0;
    std::int16_t ThumbListTop = 0;

    // Slide show and screen saver.
    bool SlideShowOn = false;
    std::int32_t SaverWasActive = 0;
    std::int32_t MouseLastX = 0;
    std::int32_t MouseLastY = 0;
    bool LogoTurn = false;     // the logo passes through the next edge instead of bouncing
    std::int16_t LogoDirX = 0; // pixels per tick, +1 or -1
    std::int16_t LogoDirY = 0;
    std::int16_t PasswordResult = 0; // the last password check: non-zero when the run could end

    // Captions 1 to 6 by index 0 to 5.
    [[nodiscard]] QString &Caption(int index);
    [[nodiscard]] const QString &Caption(int index) const;
};

[[nodiscard]] SharedState &State();
// A command button released with another mouse button than the left one cancels the click
// that follows: true (and the flag cleared) when this click is such a one.
[[nodiscard]] bool TakeButtonRightClick();
void ResetState();
