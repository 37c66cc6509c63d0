#pragma once

#include <QString>

namespace shoulu::test {

// Makes a file or folder read-only for this process. Root ignores permission bits, so for root
// it is also marked immutable (this needs CAP_LINUX_IMMUTABLE and a file system that keeps the
// flag, as ext4, xfs and btrfs do); effective() says whether writing into it now really fails.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(QString path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool effective() const { return m_effective; }

private:
    bool setImmutable(bool on);

    QString m_path;
    bool m_folder = false;
    bool m_immutable = false;
    bool m_effective = false;
};

} // namespace shoulu::test
