// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// A private CUPS server on a socket in a temporary folder, with one queue that prints through
// Debian's cups-pdf into a folder of its own. Only root can run it (cupsd and the cups-pdf backend
// run as root); `why` says what was missing when it could not start. Start it before the process
// first talks to CUPS: the client library keeps the server it first asked.
class CupsServer
{
public:
    CupsServer()
        : m_queue(QStringLiteral("vvtest%1").arg(getpid()))
    {
        if (geteuid() != 0) {
            m_why = QStringLiteral("not root");
            return;
        }
        for (const char *needed : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf",
                                   "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"}) {
            if (!QFileInfo::exists(QString::fromLatin1(needed))) {
                m_why = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(needed));
                return;
            }
        }
        const QString root = m_dir.path();
        for (const char *sub : {"conf", "spool", "cache", "run", "log", "tmp", "out"}) {
            QDir().mkpath(root + '/' + sub);
        }
        // Filters run as the lp user: they need the folders on the way and a temporary folder.
        for (const QString &open : {root, root + "/tmp", root + "/out"}) {
            QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                                            QFileDevice::ReadGroup | QFileDevice::ExeGroup);
        }
        chmod(QFile::encodeName(root + "/tmp").constData(), 01777);
        m_socket = root + "/run/cups.sock";
        write(root + "/conf/cupsd.conf", QStringLiteral("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                                        "DefaultAuthType None\n<Location />\n  Order allow,deny\n"
                                                        "  Allow all\n</Location>\n<Policy default>\n  <Limit All>\n"
                                                        "    Order deny,allow\n  </Limit>\n</Policy>\n")
                                             .arg(m_socket));
        write(root + "/conf/cups-files.conf",
              QStringLiteral("ServerRoot %1/conf\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/run\n"
                             "TempDir %1/tmp\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
                             "PageLog %1/log/page_log\nSystemGroup root\n")
                  .arg(root));
        // cups-pdf reads its settings only from /etc/cups, by the name in the device URI.
        m_pdfConf = QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(m_queue);
        write(m_pdfConf, QStringLiteral("Out %1/out\n").arg(root));

        m_cupsd.start(QStringLiteral("/usr/sbin/cupsd"),
                      {"-f", "-c", root + "/conf/cupsd.conf", "-s", root + "/conf/cups-files.conf"});
        if (!m_cupsd.waitForStarted(5000)) {
            m_why = QStringLiteral("cupsd did not start");
            return;
        }
        for (int i = 0; i < 100 && !QFileInfo::exists(m_socket); ++i) {
            QTest::qWait(50);
        }
        if (!QFileInfo::exists(m_socket) || m_cupsd.state() != QProcess::Running) {
            m_why = QStringLiteral("cupsd did not start: %1").arg(QString::fromLocal8Bit(m_cupsd.readAll()));
            return;
        }
        qputenv("CUPS_SERVER", m_socket.toLocal8Bit());
        QProcess admin;
        admin.start(QStringLiteral("/usr/sbin/lpadmin"), {"-p", m_queue, "-v", "cups-pdf:/" + m_queue, "-P",
                                                          "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd", "-E"});
        if (!admin.waitForFinished(20000) || admin.exitCode() != 0) {
            m_why = QStringLiteral("lpadmin failed: %1").arg(QString::fromLocal8Bit(admin.readAllStandardError()));
            return;
        }
        m_running = true;
    }

    ~CupsServer()
    {
        if (m_cupsd.state() == QProcess::Running) {
            m_cupsd.terminate();
            m_cupsd.waitForFinished(5000);
        }
        if (!m_pdfConf.isEmpty()) {
            QFile::remove(m_pdfConf);
            QFile::remove(QStringLiteral("/var/log/cups/cups-pdf-%1_log").arg(m_queue));
        }
    }

    CupsServer(const CupsServer &) = delete;
    CupsServer &operator=(const CupsServer &) = delete;

    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] QString why() const { return m_why; }
    [[nodiscard]] QString queue() const { return m_queue; }
    // The PDFs the queue has written.
    [[nodiscard]] QStringList output() const
    {
        QStringList pdfs;
        for (const QString &name : QDir(m_dir.filePath("out")).entryList({"*.pdf"}, QDir::Files)) {
            pdfs << m_dir.filePath("out/" + name);
        }
        return pdfs;
    }

private:
    static void write(const QString &path, const QString &text)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            f.write(text.toUtf8());
        }
    }

    QTemporaryDir m_dir;
    QString m_queue;
    QString m_socket;
    QString m_pdfConf;
    QProcess m_cupsd;
    bool m_running = false;
    QString m_why;
};
