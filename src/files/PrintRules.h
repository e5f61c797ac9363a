// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>

// Which picture a print or wallpaper command acts on, and where a printed picture goes on the
// page. Plain values only, so the rules are tested without windows or printers.

// HIMETRIC (0.01 mm) to twips (1/1440 inch).
[[nodiscard]] double HimetricToTwips(std::int32_t himetric);

// A picture's place on the printable area, in twips from its top-left corner.
struct PrintPlacement
{
    float X0 = 0;
    float Y0 = 0;
    double PW = 0;
    double PH = 0;
};

// Centred at its natural size (PW by PH twips) on a printable area of SW by SH twips; shrunk to
// fit with its proportions kept when it is larger, never enlarged.
[[nodiscard]] PrintPlacement PrintGeometry(double PW, double PH, double SW, double SH);

// A picture wider than tall goes on a landscape page (unless the user chooses otherwise).
[[nodiscard]] bool PrintsLandscape(std::int32_t himetricWidth, std::int32_t himetricHeight);

// What the views showed when the command ran.
struct PictureSourceSnapshot
{
    QString PopupSource; // "Image", "Thumb", "FileList", or "" before any menu opened
    bool ThumbsLoaded = false;
    bool ImageVisible = false; // Image1 shows a picture
    int CurrentThumb = 0;      // the thumbnail last right-clicked
    int LastBorderSet = -1;    // the newest selection border set, -1 when nothing is selected
    QStringList ThumbTags;     // the tag of each thumbnail on the page, from index 0
};

struct PictureChoice
{
    enum class Kind {
        Image,      // the viewer's picture
        Thumb,      // thumbnail `thumb`
        NotChosen,  // nothing chosen: the user is told
        NothingToDo // a selection no thumbnail carries: nothing happens
    };
    Kind kind = Kind::NotChosen;
    int thumb = -1;

    friend bool operator==(const PictureChoice &, const PictureChoice &) = default;
};

// The picture "&Print..." and the print key act on.
[[nodiscard]] PictureChoice ChoosePrintPicture(const PictureSourceSnapshot &snapshot);
// The picture "Set as Wallpaper" acts on: the right-clicked thumbnail, else the viewer's picture.
[[nodiscard]] PictureChoice ChooseWallpaperPicture(const PictureSourceSnapshot &snapshot);
