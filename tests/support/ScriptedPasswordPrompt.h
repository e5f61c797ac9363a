// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "controls/PasswordDialogs.h"

#include <QByteArray>
#include <QList>

#include <optional>

// Answers the screen-saver password check from a script (nothing = Cancel, the default once the
// script runs out) and records what each check asked.
class ScriptedPasswordPrompt : public PasswordPrompt
{
public:
    ScriptedPasswordPrompt()
    {
        SetPasswordPrompt(this);
        ResetSaverPasswordFailures();
    }
    ~ScriptedPasswordPrompt() override { SetPasswordPrompt(nullptr); }
    ScriptedPasswordPrompt(const ScriptedPasswordPrompt &) = delete;
    ScriptedPasswordPrompt &operator=(const ScriptedPasswordPrompt &) = delete;

    std::optional<QByteArray> ask(QWidget *, const PasswordRequest &request) override
    {
        asked.append(request);
        if (answers.isEmpty()) {
            return std::nullopt;
        }
        return answers.takeFirst();
    }

    QList<std::optional<QByteArray>> answers;
    QList<PasswordRequest> asked;
};
