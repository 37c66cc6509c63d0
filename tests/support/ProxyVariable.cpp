#include "support/ProxyVariable.h"

#include <cstdlib>

namespace shoulu::test {

namespace {

std::optional<QByteArray> variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::optional<QByteArray>(value) : std::nullopt;
}

void restore(const char* name, const std::optional<QByteArray>& value)
{
    if (value) {
        ::setenv(name, value->constData(), 1);
    } else {
        ::unsetenv(name);
    }
}

} // namespace

ProxyVariable::ProxyVariable(const QByteArray& url)
    : m_previousProxy(variable("http_proxy"))
    , m_previousNoProxy(variable("no_proxy"))
    , m_previousUpperNoProxy(variable("NO_PROXY"))
{
    ::setenv("http_proxy", url.constData(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
}

ProxyVariable::~ProxyVariable()
{
    restore("http_proxy", m_previousProxy);
    restore("no_proxy", m_previousNoProxy);
    restore("NO_PROXY", m_previousUpperNoProxy);
}

} // namespace shoulu::test
