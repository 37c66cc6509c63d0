#pragma once

#include "support/EngineServer.h"
#include "support/ProxyVariable.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace shoulu::test {

// An EngineServer in a child process, so that the server's own bookkeeping (it keeps every
// request) stays out of the memory of the process being measured. The child is this same
// program started again with ServeFlag; its main() hands such a start to serve() first thing:
//     if (EngineServerProcess::isServeStart(argc, argv)) return EngineServerProcess::serve(argc, argv, setUp);
//     EngineServerProcess engines({ "--domains", "500" }); // the process's HTTP proxy from here on
class EngineServerProcess
{
public:
    // Sets up the child's server from the arguments given to the constructor.
    using SetUp = std::function<void(EngineServer& server, const QStringList& arguments)>;
    static constexpr const char* ServeFlag = "--serve-engines";

    static bool isServeStart(int argc, char** argv);
    // The child's side: serves until the parent goes away. Returns main()'s exit code.
    static int serve(int argc, char** argv, const SetUp& setUp);

    // Starts the child and makes it the process's HTTP proxy.
    explicit EngineServerProcess(const QStringList& arguments);
    // Ends the child and puts the previous proxy setting back.
    ~EngineServerProcess();

    EngineServerProcess(const EngineServerProcess&) = delete;
    EngineServerProcess& operator=(const EngineServerProcess&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

private:
    QProcess m_process;
    QString m_error;
    std::optional<ProxyVariable> m_proxyVariable;
};

} // namespace shoulu::test
