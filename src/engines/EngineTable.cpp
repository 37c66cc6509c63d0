#include "engines/EngineTable.h"

#include "engines/EngineCatalogue.h"
#include "engines/GbkCodec.h"

#include <array>

namespace shoulu {

namespace {

struct Table
{
    std::array<QByteArray, EngineCount> names;
    std::array<QByteArray, EngineCount> captions;
    std::array<EngineInfo, EngineCount> infos {};
};

const Table& table()
{
    static const Table built = [] {
        Table t;
        for (const CatalogueEngine& engine : EngineCatalogue::builtIn().engines()) {
            if (engine.column >= 0 && engine.column < EngineCount) {
                const auto i = std::size_t(engine.column);
                t.names[i] = engine.key.toLatin1();
                t.captions[i] = engine.caption.toUtf8();
            }
        }
        for (std::size_t i = 0; i < EngineCount; ++i) {
            t.infos[i] = EngineInfo { t.names[i].constData(), t.captions[i].constData() };
        }
        return t;
    }();
    return built;
}

} // namespace

const EngineInfo& engineInfo(int index)
{
    Q_ASSERT(index >= 0 && index < EngineCount);
    return table().infos[static_cast<std::size_t>(index)];
}

QStringList buildEngineUrls()
{
    QStringList urls(EngineCount);
    for (const CatalogueEngine& engine : EngineCatalogue::builtIn().engines()) {
        if (engine.column >= 0 && engine.column < EngineCount) {
            urls[engine.column] = engine.url;
        }
    }
    return urls;
}

int engineIndexFromText(const QString& text)
{
    if (text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) < QLatin1Char('0' + EngineCount)) {
        return text.at(0).unicode() - '0';
    }
    for (int i = 0; i < EngineCount; ++i) {
        if (text.compare(QLatin1String(engineInfo(i).name), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QByteArray queryUrl(const QString& prefix, const QString& domainText)
{
    return toGbk(prefix) + toGbk(domainText).toPercentEncoding();
}

} // namespace shoulu
