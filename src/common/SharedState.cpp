// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/SharedState.h"

#include "common/CommandQueue.h"

#include <QtGlobal>

namespace {
SharedState g_state;
}

SharedState &State()
{
    return g_state;
}

void ResetState()
{
    g_state = SharedState{};
    Commands().clear();
}

QString &SharedState::Caption(int index)
{
    Q_ASSERT(index >= 0 && index < 6);
    QString *captions[] = {&Caption1, &Caption2, &Caption3, &Caption4, &Caption5, &Caption6};
    return *captions[index];
}

const QString &SharedState::Caption(int index) const
{
    return const_cast<SharedState *>(this)->Caption(index);
}

bool TakeButtonRightClick()
{
    SharedState &s = State();
    const bool cancelled = s.ButtonRightClick;
    s.ButtonRightClick = false;
    return cancelled;
}
