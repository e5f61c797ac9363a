// SPDX-License-Identifier: GPL-2.0-or-later
#include "controls/HelpWindow.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QPointer<HelpWindow> g_window;

// Escape closes it, as it closes every other window of the program.
class EscapeCloses : public QObject
{
public:
    explicit EscapeCloses(QWidget *window)
        : QObject(window)
        , m_window(window)
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            m_window->close();
            return true;
        }
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
    , m_back(new QToolButton(this))
    , m_forward(new QToolButton(this))
    , m_contents(new QToolButton(this))
{
    setWindowTitle(QStringLiteral("Vantrel Viewer Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 560);

    m_contents->setText(QStringLiteral("&Contents"));
    m_back->setText(QStringLiteral("&Back"));
    m_forward->setText(QStringLiteral("&Forward"));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    auto *bar = new QHBoxLayout();
    bar->addWidget(m_contents);
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_browser, 1);

    m_browser->setOpenExternalLinks(true);
    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_contents, &QToolButton::clicked, m_browser, &QTextBrowser::home);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
    // Wherever the keyboard is in it.
    auto *escape = new EscapeCloses(this);
    for (QWidget *w : std::initializer_list<QWidget *>{this, m_browser, m_back, m_forward, m_contents}) {
        w->installEventFilter(escape);
    }
}

void HelpWindow::open(const QString &helpFile)
{
    const QFileInfo info(helpFile);
    if (helpFile.isEmpty() || !info.isFile()) {
        m_browser->setHtml(QStringLiteral("<h2>Help is not available</h2><p>The help file '%1' cannot be found.</p>")
                               .arg(helpFile.toHtmlEscaped()));
        return;
    }
    // The help is HTML whatever its name says.
    m_browser->setSearchPaths({info.absolutePath()});
    m_browser->document()->setMetaInformation(QTextDocument::DocumentUrl, QString());
    m_browser->setSource(QUrl::fromLocalFile(info.absoluteFilePath()), QTextDocument::HtmlResource);
}

HelpWindow &HelpWindow::showContents(const QString &helpFile)
{
    if (g_window.isNull()) {
        g_window = new HelpWindow();
        // Centred on the screen, over the viewer, wherever a window manager would have put it.
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect where = g_window->frameGeometry();
            where.moveCenter(screen->geometry().center());
            g_window->move(where.topLeft());
        }
    }
    g_window->open(helpFile);
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return *g_window;
}

HelpWindow *HelpWindow::instance()
{
    return g_window.data();
}

void HelpWindow::closeInstance()
{
    if (!g_window.isNull()) {
        g_window->close();
    }
}
