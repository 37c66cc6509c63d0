#pragma once

#include <QByteArray>

#include <optional>

namespace shoulu::test {

// Makes `url` the system's HTTP proxy (http_proxy, with no_proxy cleared) while the object
// lives, for code a test can reach only through the environment: the command line run in this
// process, or a child process. Fetches read the variables when they are made, never on their
// worker threads, so changing them between runs is safe.
class ProxyVariable
{
public:
    explicit ProxyVariable(const QByteArray& url);
    ~ProxyVariable();
    ProxyVariable(const ProxyVariable&) = delete;
    ProxyVariable& operator=(const ProxyVariable&) = delete;

private:
    std::optional<QByteArray> m_previousProxy;
    std::optional<QByteArray> m_previousNoProxy;
    std::optional<QByteArray> m_previousUpperNoProxy;
};

} // namespace shoulu::test
