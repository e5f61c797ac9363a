// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>

class QTextBrowser;
class QToolButton;

// The help viewer: the program's own help text (HTML) with links, back and forward. One window
// serves the whole program and is brought forward when help is asked for again.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Shows the contents page of the help file; says so in the window when the file is missing.
    static HelpWindow &showContents(const QString &helpFile);
    // The open help window, or nullptr.
    [[nodiscard]] static HelpWindow *instance();
    static void closeInstance();

    void open(const QString &helpFile);
    [[nodiscard]] QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
    QToolButton *m_back;
    QToolButton *m_forward;
    QToolButton *m_contents;
};
