#include "files/frmInvisible.h"

#include "common/SettingsStore.h"

frmInvisible::frmInvisible(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmInvisible"));
    setWindowTitle(AppName);
}

void frmInvisible::Form_Load() {}

void frmInvisible::Form_Unload() {}
