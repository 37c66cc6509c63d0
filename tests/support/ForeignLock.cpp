#include "support/ForeignLock.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <algorithm>

namespace shoulu::test {

namespace {

QString shellPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
}

} // namespace

bool ForeignLock::available()
{
    return !shellPath().isEmpty();
}

ForeignLock::ForeignLock(const QString& path, int holdMs)
{
    const QString shell = shellPath();
    if (shell.isEmpty()) {
        m_error = QStringLiteral("sqlcipher shell not installed");
        m_released = true;
        return;
    }
    m_process.start(shell, { path });
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(shell, m_process.errorString());
        m_released = true;
        return;
    }
    // The shell reports each statement as it runs, so "locked" means the lock is held.
    QByteArray script = QStringLiteral("PRAGMA key = '蓝杉木舟北岸晚钟声远';\n"
                                       "BEGIN EXCLUSIVE;\n"
                                       "SELECT 'locked';\n")
                            .toUtf8();
    if (holdMs > 0) {
        script += ".shell sleep " + QByteArray::number(holdMs / 1000.0, 'f', 3) + "\nROLLBACK;\n.quit\n";
    }
    m_process.write(script);
    if (!waitForOutput("locked", 20000)) {
        m_error = QStringLiteral("the shell did not take the lock: %1 %2")
                      .arg(QString::fromUtf8(m_output), QString::fromUtf8(m_process.readAllStandardError()));
        release();
    }
}

ForeignLock::~ForeignLock()
{
    release();
}

void ForeignLock::release()
{
    if (m_released) {
        return;
    }
    m_released = true;
    if (m_process.state() == QProcess::Running) {
        m_process.write("ROLLBACK;\n.quit\n");
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

bool ForeignLock::waitForOutput(const QByteArray& marker, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_output.contains(marker)) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            return false;
        }
        m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        m_output += m_process.readAllStandardOutput();
    }
    return true;
}

} // namespace shoulu::test
