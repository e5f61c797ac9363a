// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/Forms.h"

#include "files/frmBulk.h"
#include "files/frmInvisible.h"
#include "panel/frmSide.h"
#include "settings/frmSettings.h"
#include "viewer/frmLoading.h"
#include "viewer/frmPictureViewer.h"
#include "viewer/frmSplash.h"

#include <QCoreApplication>
#include <QPointer>
#include <array>

namespace Forms {
namespace {

constexpr std::size_t kForms = 7;
std::array<QPointer<QWidget>, kForms> g_forms;
std::function<void(Form)> g_observer;

QPointer<QWidget> &slot(Form form)
{
    return g_forms.at(static_cast<std::size_t>(form));
}

// Creates the window and runs its load step once; the window stays registered while it loads,
// so a load step that refers to its own window finds it.
template<class W> W &get(Form form)
{
    QPointer<QWidget> &s = slot(form);
    if (s.isNull()) {
        auto *window = new W();
        s = window;
        window->Form_Load();
    }
    return *static_cast<W *>(s.data());
}

template<class W> void unloadAs(QWidget *widget)
{
    static_cast<W *>(widget)->Form_Unload();
}

} // namespace

::frmPictureViewer &frmPictureViewer()
{
    return get<::frmPictureViewer>(Form::PictureViewer);
}

::frmSide &frmSide()
{
    return get<::frmSide>(Form::Side);
}

::frmInvisible &frmInvisible()
{
    return get<::frmInvisible>(Form::Invisible);
}

::frmSplash &frmSplash()
{
    return get<::frmSplash>(Form::Splash);
}

::frmLoading &frmLoading()
{
    return get<::frmLoading>(Form::Loading);
}

::frmSettings &frmSettings()
{
    return get<::frmSettings>(Form::Settings);
}

::frmBulk &frmBulk()
{
    return get<::frmBulk>(Form::Bulk);
}

bool IsLoaded(Form form)
{
    return !slot(form).isNull();
}

QWidget *Loaded(Form form)
{
    return slot(form).data();
}

void Unload(Form form)
{
    QPointer<QWidget> &s = slot(form);
    if (s.isNull()) {
        return;
    }
    QWidget *window = s.data();
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
    s.clear();
    window->hide();
    // The owned panel leaves with the viewer but keeps its own life until it is unloaded itself.
    for (QPointer<QWidget> &other : g_forms) {
        if (!other.isNull() && other->parentWidget() == window) {
            other->hide();
            other->setParent(nullptr, other->windowFlags());
        }
    }
    // Deferred: an unload often runs inside a handler of the window being unloaded.
    window->deleteLater();
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
