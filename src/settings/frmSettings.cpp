#include "settings/frmSettings.h"

#include "common/ScreenMetrics.h"
#include "common/SharedState.h"

namespace {
// Design client size in twips.
constexpr double kWidthTwips = 7305;
constexpr double kHeightTwips = 4890;
} // namespace

frmSettings::frmSettings(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Vantrel Viewer Settings"));
    setModal(true);
}

void frmSettings::Form_Load()
{
    const SharedState &s = State();
    setFixedSize(TwipsToPixels(kWidthTwips, s.TwipsPerPixelX), TwipsToPixels(kHeightTwips, s.TwipsPerPixelY));
}

void frmSettings::Form_Unload() {}
