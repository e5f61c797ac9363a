#include "files/frmBulk.h"

#include "common/ScreenMetrics.h"
#include "common/SharedState.h"

namespace {
// Design client size in twips.
constexpr double kWidthTwips = 5610;
constexpr double kHeightTwips = 3090;
} // namespace

frmBulk::frmBulk(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmBulk"));
    setWindowTitle(QStringLiteral("Vantrel Viewer Multiple File Renaming"));
    setModal(true);
}

void frmBulk::Form_Load()
{
    const SharedState &s = State();
    setFixedSize(TwipsToPixels(kWidthTwips, s.TwipsPerPixelX), TwipsToPixels(kHeightTwips, s.TwipsPerPixelY));
}

void frmBulk::Form_Unload() {}
