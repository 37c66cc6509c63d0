#include "support/EngineServerProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace shoulu::test {

bool EngineServerProcess::isServeStart(int argc, char** argv)
{
    return argc >= 2 && std::strcmp(argv[1], ServeFlag) == 0;
}

int EngineServerProcess::serve(int argc, char** argv, const SetUp& setUp)
{
    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    EngineServer server(EngineServer::Encoding::Gbk);
    setUp(server, arguments);
    std::printf("port %u\n", unsigned(server.http().port()));
    std::fflush(stdout);
    // The parent closes our input when it is done, or by dying.
    char buffer[256];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) { }
    return 0;
}

EngineServerProcess::EngineServerProcess(const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(),
        QStringList { QString::fromLatin1(ServeFlag) } + arguments);
    QByteArray output;
    const QDeadlineTimer deadline(30000);
    while (!output.contains('\n') && m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        m_process.waitForReadyRead(100);
        output += m_process.readAllStandardOutput();
    }
    bool numeric = false;
    const int port = output.startsWith("port ") ? output.mid(5).trimmed().toInt(&numeric) : 0;
    if (!numeric || port <= 0) {
        m_error = QStringLiteral("the engine server did not start: %1").arg(QString::fromUtf8(output));
        return;
    }
    m_proxyVariable.emplace("http://127.0.0.1:" + QByteArray::number(port));
}

EngineServerProcess::~EngineServerProcess()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

} // namespace shoulu::test
