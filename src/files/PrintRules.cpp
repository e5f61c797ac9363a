// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/PrintRules.h"

double HimetricToTwips(std::int32_t himetric)
{
    return static_cast<double>(himetric) * 1440.0 / 2540.0;
}

PrintPlacement PrintGeometry(double PW, double PH, double SW, double SH)
{
    PrintPlacement p;
    p.PW = PW;
    p.PH = PH;
    p.X0 = static_cast<float>((SW - PW) / 2);
    p.Y0 = static_cast<float>((SH - PH) / 2);
    if (PW <= 0 || PH <= 0 || SW <= 0 || SH <= 0) {
        return p;
    }
    if (PW > SW || PH > SH) {
        if (PW / PH >= SW / SH) {
            p.X0 = 0;
            p.PH = PH * SW / PW;
            p.PW = SW;
            p.Y0 = static_cast<float>((SH - p.PH) / 2);
        } else {
            p.Y0 = 0;
            p.PW = PW * SH / PH;
            p.PH = SH;
            p.X0 = static_cast<float>((SW - p.PW) / 2);
        }
    }
    return p;
}

namespace {

using Kind = PictureChoice::Kind;

bool usableThumb(const PictureSourceSnapshot &s, int index)
{
    return s.ThumbsLoaded && index >= 0 && index < s.ThumbTags.size() && s.ThumbTags.at(index) != u"invalid";
}

// The right-clicked thumbnail while its page shows. Once the page is gone the viewer's picture is
// what the user sees, so that is what the command takes.
PictureChoice fromThumbMenu(const PictureSourceSnapshot &s)
{
    if (!s.ThumbsLoaded) {
        return s.ImageVisible ? PictureChoice{Kind::Image, -1} : PictureChoice{};
    }
    if (usableThumb(s, s.CurrentThumb)) {
        return {Kind::Thumb, s.CurrentThumb};
    }
    return {};
}

} // namespace

PictureChoice ChoosePrintPicture(const PictureSourceSnapshot &s)
{
    if (s.PopupSource == u"Thumb") {
        return fromThumbMenu(s);
    }
    if (s.PopupSource == u"Image" || s.PopupSource == u"FileList") {
        return s.ImageVisible ? PictureChoice{Kind::Image, -1} : PictureChoice{};
    }
    if (!s.ThumbsLoaded) {
        return s.ImageVisible ? PictureChoice{Kind::Image, -1} : PictureChoice{};
    }
    if (s.LastBorderSet == -1) {
        return {};
    }
    // The tag's last two characters name its border set: 07 for set 7, 12 for set 12. A set of
    // three digits is carried by no tag that ends so.
    const QString wanted =
        s.LastBorderSet < 10 ? QStringLiteral("0%1").arg(s.LastBorderSet) : QString::number(s.LastBorderSet);
    for (int i = 0; i < s.ThumbTags.size(); ++i) {
        if (s.ThumbTags.at(i).right(2) == wanted) {
            return usableThumb(s, i) ? PictureChoice{Kind::Thumb, i} : PictureChoice{Kind::NothingToDo, -1};
        }
    }
    return {Kind::NothingToDo, -1};
}

PictureChoice ChooseWallpaperPicture(const PictureSourceSnapshot &s)
{
    if (s.PopupSource == u"Thumb") {
        return fromThumbMenu(s);
    }
    return s.ImageVisible ? PictureChoice{Kind::Image, -1} : PictureChoice{};
}

bool PrintsLandscape(std::int32_t himetricWidth, std::int32_t himetricHeight)
{
    return himetricWidth > himetricHeight;
}
