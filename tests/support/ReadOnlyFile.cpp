#include "support/ReadOnlyFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shoulu::test {

ReadOnlyFile::ReadOnlyFile(QString path)
    : m_path(std::move(path))
    , m_folder(QFileInfo(m_path).isDir())
{
    ::chmod(m_path.toLocal8Bit().constData(), m_folder ? 0555 : 0444);
    if (::geteuid() == 0) {
        m_immutable = setImmutable(true);
    }
    if (m_folder) {
        const QByteArray probe = QDir(m_path).filePath(QStringLiteral(".probe")).toLocal8Bit();
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        m_effective = fd < 0 && (errno == EACCES || errno == EPERM);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.constData());
        }
        return;
    }
    const int fd = ::open(m_path.toLocal8Bit().constData(), O_WRONLY);
    m_effective = fd < 0 && (errno == EACCES || errno == EPERM);
    if (fd >= 0) {
        ::close(fd);
    }
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_immutable) {
        setImmutable(false);
    }
    ::chmod(m_path.toLocal8Bit().constData(), m_folder ? 0755 : 0644);
}

bool ReadOnlyFile::setImmutable(bool on)
{
    const int fd = ::open(m_path.toLocal8Bit().constData(), O_RDONLY);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

} // namespace shoulu::test
