#pragma once

#include <QProcess>
#include <QString>

namespace shoulu::test {

// Another process holding the write lock of a database file, as a second program would: the
// stock sqlcipher shell inside BEGIN EXCLUSIVE, keyed like the program.
//   ForeignLock lock(path); ASSERT_TRUE(lock.ok()) << lock.error(); ...; lock.release();
class ForeignLock
{
public:
    // The shell is installed.
    static bool available();

    // Takes the lock; returns once it is held (or failed). With holdMs > 0 the shell lets go by
    // itself after that long; otherwise it holds until release() or destruction.
    explicit ForeignLock(const QString& path, int holdMs = 0);
    ~ForeignLock();

    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // Rolls back and ends the shell; returns once the lock is gone.
    void release();

private:
    bool waitForOutput(const QByteArray& marker, int timeoutMs);

    QProcess m_process;
    QByteArray m_output;
    QString m_error;
    bool m_released = false;
};

} // namespace shoulu::test
