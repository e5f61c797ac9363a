// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>

class frmPictureViewer;
class frmSide;
class frmInvisible;
class frmSplash;
class frmLoading;
class frmSettings;
class frmBulk;
class QWidget;

// The one instance of each window, as start-up created it: the getters find a window that is
// loaded and never create one (naming a window that is not loaded is a fault of the program).
// Unloading a window runs its unload step and destroys it; unloading one that is not loaded does
// nothing.
namespace Forms {

enum class Form { PictureViewer, Side, Invisible, Splash, Loading, Settings, Bulk };

::frmPictureViewer &frmPictureViewer();
::frmSide &frmSide();
::frmInvisible &frmInvisible();
::frmSplash &frmSplash();
::frmLoading &frmLoading();
::frmSettings &frmSettings();
::frmBulk &frmBulk();

[[nodiscard]] bool IsLoaded(Form form);
[[nodiscard]] QWidget *Loaded(Form form);
void Unload(Form form);

// Called with each window as its unload starts (the order of a shutdown is observable in tests).
void SetUnloadObserver(std::function<void(Form)> observer);

// Destroys the windows already unloaded but still awaiting deletion (end of the program and tests).
void FlushUnloaded();

} // namespace Forms
