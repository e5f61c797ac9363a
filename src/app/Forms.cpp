// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/Forms.h"

#include "controls/WindowLife.h"
#include "files/frmBulk.h"
#include "files/frmInvisible.h"
#include "panel/frmSide.h"
#include "settings/frmSettings.h"
#include "viewer/frmLoading.h"
#include "viewer/frmPictureViewer.h"
#include "viewer/frmSplash.h"

#include <QApplication>

namespace Forms {
namespace {

std::function<void(Form)> g_observer;

// The one window of this kind that is loaded: start-up creates the windows (and the file menu its
// rename dialog), this only finds them.
template<class W> W *find()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *w = qobject_cast<W *>(window); w != nullptr && !IsUnloaded(w)) {
            return w;
        }
    }
    return nullptr;
}

template<class W> W &get()
{
    W *window = find<W>();
    if (window == nullptr) {
        qFatal("%s is not loaded", W::staticMetaObject.className());
    }
    return *window;
}

template<class W> void unloadAs(QWidget *widget)
{
    static_cast<W *>(widget)->Form_Unload();
}

constexpr Form kForms[] = {Form::PictureViewer, Form::Side,     Form::Invisible, Form::Splash,
                           Form::Loading,       Form::Settings, Form::Bulk};

} // namespace

::frmPictureViewer &frmPictureViewer()
{
    return get<::frmPictureViewer>();
}

::frmSide &frmSide()
{
    return get<::frmSide>();
}

::frmInvisible &frmInvisible()
{
    return get<::frmInvisible>();
}

::frmSplash &frmSplash()
{
    return get<::frmSplash>();
}

::frmLoading &frmLoading()
{
    return get<::frmLoading>();
}

::frmSettings &frmSettings()
{
    return get<::frmSettings>();
}

::frmBulk &frmBulk()
{
    return get<::frmBulk>();
}

bool IsLoaded(Form form)
{
    return Loaded(form) != nullptr;
}

QWidget *Loaded(Form form)
{
    switch (form) {
    case Form::PictureViewer:
        return find<::frmPictureViewer>();
    case Form::Side:
        return find<::frmSide>();
    case Form::Invisible:
        return find<::frmInvisible>();
    case Form::Splash:
        return find<::frmSplash>();
    case Form::Loading:
        return find<::frmLoading>();
    case Form::Settings:
        return find<::frmSettings>();
    case Form::Bulk:
        return find<::frmBulk>();
    }
    return nullptr;
}

void Unload(Form form)
{
    QWidget *window = Loaded(form);
    if (window == nullptr) {
        return;
    }
    if (g_observer) {
        g_observer(form);
    }
    switch (form) {
    case Form::PictureViewer:
        unloadAs<::frmPictureViewer>(window);
        break;
    case Form::Side:
        unloadAs<::frmSide>(window);
        break;
    case Form::Invisible:
        unloadAs<::frmInvisible>(window);
        break;
    case Form::Splash:
        unloadAs<::frmSplash>(window);
        break;
    case Form::Loading:
        unloadAs<::frmLoading>(window);
        break;
    case Form::Settings:
        unloadAs<::frmSettings>(window);
        break;
    case Form::Bulk:
        unloadAs<::frmBulk>(window);
        break;
    }
    // The owned panel leaves with the viewer but keeps its own life until it is unloaded itself.
    QList<QWidget *> owned;
    for (Form other : kForms) {
        QWidget *w = Loaded(other);
        if (w != nullptr && w != window && w->parentWidget() == window) {
            owned << w;
        }
    }
    MarkUnloaded(window);
    for (QWidget *w : std::as_const(owned)) {
        w->hide();
        w->setParent(nullptr, w->windowFlags());
    }
}

void SetUnloadObserver(std::function<void(Form)> observer)
{
    g_observer = std::move(observer);
}

void FlushUnloaded()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace Forms
