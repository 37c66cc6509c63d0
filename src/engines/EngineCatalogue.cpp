#include "engines/EngineCatalogue.h"

#include "engines/GbkCodec.h"
#include "fetch/FetchLimits.h"
#include "util/StateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include <array>
#include <unordered_map>

// Resources of a static library are registered by hand, outside any namespace.
static void initCatalogueResource()
{
    Q_INIT_RESOURCE(engines);
}

namespace shoulu {

namespace {

const QString kBuiltInOrigin = QStringLiteral("built-in catalogue");
const QString kUserFileName = QStringLiteral("engines.json");

// The ways the program knows to ask an engine.
const QStringList kRoutes { QLatin1String(kHttpRoute) };

// A user file may name these fields of an entry, and no others: a misspelt field is an error,
// not a silently ignored rule.
const QStringList kEntryFields { QStringLiteral("key"), QStringLiteral("caption"), QStringLiteral("url"),
    QStringLiteral("encoding"), QStringLiteral("queryEncoding"), QStringLiteral("enabled"), QStringLiteral("note"),
    QStringLiteral("column"), QStringLiteral("count"), QStringLiteral("none"), QStringLiteral("blocked"),
    QStringLiteral("blockedUrl"), QStringLiteral("hosts"), QStringLiteral("route") };

int lineAt(const QByteArray& text, qsizetype offset)
{
    return int(text.left(offset).count('\n')) + 1;
}

// Where a value stands in the file: the first occurrence of its JSON text after `from`.
int lineOf(const QByteArray& text, const QString& value, qsizetype from)
{
    QByteArray quoted = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    quoted = quoted.mid(1, quoted.size() - 2);
    qsizetype at = text.indexOf(quoted, from);
    if (at < 0) {
        at = text.indexOf(value.toUtf8(), from);
    }
    return lineAt(text, at < 0 ? from : at);
}

// Where each entry's "key" first stands, and on which line: found in one pass over the file,
// so that a file of many entries loads in time linear in its size.
class KeyPlaces
{
public:
    explicit KeyPlaces(const QByteArray& text)
    {
        static constexpr QByteArrayView kField("\"key\"");
        const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
        qsizetype counted = 0;
        int line = 1;
        for (qsizetype at = text.indexOf(kField); at >= 0; at = text.indexOf(kField, at + kField.size())) {
            qsizetype i = at + kField.size();
            while (i < text.size() && isBlank(text.at(i))) {
                ++i;
            }
            if (i >= text.size() || text.at(i) != ':') {
                continue;
            }
            ++i;
            while (i < text.size() && isBlank(text.at(i))) {
                ++i;
            }
            if (i >= text.size() || text.at(i) != '"') {
                continue;
            }
            const qsizetype close = text.indexOf('"', i + 1);
            if (close < 0) {
                break;
            }
            line += int(QByteArrayView(text).sliced(counted, at - counted).count('\n'));
            counted = at;
            const QByteArray key = text.mid(i + 1, close - i - 1);
            if (!m_places.contains(key)) {
                m_places.insert(key, Place { at, line });
            }
        }
    }

    // The file's start when the key was not found.
    qsizetype offset(const QString& key) const { return place(key).offset; }
    int line(const QString& key) const { return place(key).line; }

private:
    struct Place
    {
        qsizetype offset = 0;
        int line = 1;
    };

    Place place(const QString& key) const { return m_places.value(key.toUtf8()); }

    QHash<QByteArray, Place> m_places;
};

std::vector<PageRule>& rulesOf(CatalogueEngine& engine, RuleKind kind)
{
    switch (kind) {
    case RuleKind::Count:
        return engine.count;
    case RuleKind::None:
        return engine.none;
    case RuleKind::Blocked:
        return engine.blocked;
    case RuleKind::BlockedUrl:
        break;
    }
    return engine.blockedUrl;
}

const QRegularExpression& hostShape()
{
    static const QRegularExpression shape(
        QStringLiteral("^[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?(?:\\.[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?)*$"));
    return shape;
}

// The host a blockedUrl rule spells out, as in "^https?://wappass\.baidu\.com/"; empty when
// the rule leaves the host open.
QString literalHost(const QString& pattern)
{
    static const QRegularExpression prefix(QStringLiteral("^\\^?https(?:\\?|\\[s\\]\\?)?://"));
    const QRegularExpressionMatch m = prefix.match(pattern);
    if (!m.hasMatch()) {
        return {};
    }
    QString host;
    qsizetype i = m.capturedEnd();
    for (; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\') && i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char('.')) {
            host += QLatin1Char('.');
            ++i;
        } else if (c.isLetterOrNumber() || c == QLatin1Char('-')) {
            host += c.toLower();
        } else {
            break;
        }
    }
    const bool ends = i == pattern.size() || pattern.at(i) == QLatin1Char('/') || pattern.at(i) == QLatin1Char(':');
    return ends && host.contains(QLatin1Char('.')) && hostShape().match(host).hasMatch() ? host : QString();
}

} // namespace

QString registeredDomain(const QString& host)
{
    static const QStringList twoLevel { QStringLiteral("com.hk"), QStringLiteral("com.cn"), QStringLiteral("net.cn"),
        QStringLiteral("org.cn"), QStringLiteral("gov.cn"), QStringLiteral("edu.cn"), QStringLiteral("com.tw"),
        QStringLiteral("co.jp"), QStringLiteral("co.uk"), QStringLiteral("com.sg"), QStringLiteral("com.au") };
    const QString lower = host.toLower();
    const QStringList labels = lower.split(QLatin1Char('.'));
    static const QRegularExpression address(QStringLiteral("^[0-9.]+$|:"));
    if (labels.size() <= 2 || address.match(lower).hasMatch()) {
        return lower;
    }
    const QString lastTwo = labels.mid(labels.size() - 2).join(QLatin1Char('.'));
    return labels.mid(labels.size() - (twoLevel.contains(lastTwo) ? 3 : 2)).join(QLatin1Char('.'));
}

QStringList CatalogueEngine::redirectHosts() const
{
    if (!hosts.isEmpty()) {
        return hosts;
    }
    QStringList found;
    if (const QString own = QUrl(url).host(); !own.isEmpty()) {
        found.append(registeredDomain(own));
    }
    for (const PageRule& rule : blockedUrl) {
        if (const QString host = literalHost(rule.pattern()); !host.isEmpty() && !found.contains(host)) {
            found.append(host);
        }
    }
    return found;
}

QByteArray CatalogueEngine::queryUrl(const QString& domain) const
{
    const QByteArray domainBytes = queryEncoding == PageEncoding::Utf8 ? domain.toUtf8() : toGbk(domain);
    // Only unreserved bytes go raw: '&', '#', '+', '%' or a blank can neither start another
    // parameter nor cut the address short.
    return url.toLatin1() + domainBytes.toPercentEncoding();
}

const EngineCatalogue& EngineCatalogue::builtIn()
{
    static const EngineCatalogue catalogue = [] {
        initCatalogueResource();
        QFile file(QStringLiteral(":/shoulu/engines/catalogue.json"));
        EngineCatalogue built;
        const bool opened = file.open(QIODevice::ReadOnly);
        Q_ASSERT(opened);
        const Result<void> merged = built.merge(opened ? file.readAll() : QByteArray(), kBuiltInOrigin, true);
        // The built-in catalogue is part of the program; the tests read it whole.
        Q_ASSERT_X(merged.ok(), "EngineCatalogue", qPrintable(merged.ok() ? QString() : merged.error()));
        return built;
    }();
    return catalogue;
}

QString EngineCatalogue::userFileBeside(const QString& databasePath)
{
    return QFileInfo(databasePath).absoluteDir().filePath(kUserFileName);
}

Result<EngineCatalogue> EngineCatalogue::load(const QString& userFile, CatalogueFile kind)
{
    EngineCatalogue catalogue = builtIn();
    if (userFile.isEmpty() || (kind == CatalogueFile::Beside && !QFileInfo::exists(userFile))) {
        return catalogue;
    }
    const Result<QByteArray> json = readStateFile(userFile, kMaxBodyBytes);
    if (!json) {
        return json.failure();
    }
    if (Result<void> merged = catalogue.merge(*json, userFile, false); !merged) {
        return merged.failure();
    }
    catalogue.m_userFile = userFile;
    return catalogue;
}

Result<void> EngineCatalogue::merge(const QByteArray& json, const QString& origin, bool builtIn)
{
    auto fail = [&origin](int line, const QString& cause) {
        return Error { QStringLiteral("%1:%2: %3").arg(origin).arg(line).arg(cause) };
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return fail(lineAt(json, parseError.offset), parseError.errorString());
    }
    if (!document.isObject()) {
        return fail(1, QStringLiteral("the file must hold one JSON object with an \"engines\" list"));
    }
    const QJsonObject top = document.object();
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key() != QLatin1String("engines") && it.key() != QLatin1String("userAgent")) {
            return fail(lineOf(json, it.key(), 0), QStringLiteral("unknown field \"%1\"").arg(it.key()));
        }
    }
    if (top.contains(QLatin1String("userAgent"))) {
        if (!top.value(QLatin1String("userAgent")).isString()) {
            return fail(lineOf(json, QStringLiteral("userAgent"), 0), QStringLiteral("userAgent must be a text"));
        }
        m_userAgent = top.value(QLatin1String("userAgent")).toString();
    }
    const QJsonValue list = top.value(QLatin1String("engines"));
    if (!list.isArray()) {
        return fail(1, QStringLiteral("\"engines\" must be a list of engine entries"));
    }
    const KeyPlaces places(json);
    // Entries are found by key through this index, not by a walk over all engines.
    QHash<QString, std::size_t> byKey;
    for (std::size_t i = 0; i < m_engines.size(); ++i) {
        byKey.insert(m_engines[i].key, i);
    }
    // The file's rules of each engine, by kind, last first; they go before the rules it had.
    std::unordered_map<std::size_t, std::array<std::vector<PageRule>, 4>> prepended;
    for (const QJsonValue& value : list.toArray()) {
        if (!value.isObject()) {
            return fail(
                lineOf(json, QStringLiteral("engines"), 0), QStringLiteral("every engine entry must be an object"));
        }
        const QJsonObject entry = value.toObject();
        const QString key = entry.value(QLatin1String("key")).toString();
        static const QRegularExpression keyShape(QStringLiteral("^[a-z0-9_-]{1,32}$"));
        if (!keyShape.match(key).hasMatch()) {
            return fail(lineOf(json, QStringLiteral("key"), 0),
                QStringLiteral("an entry's \"key\" must be 1-32 lower-case letters, digits, '-' or '_' (got \"%1\")")
                    .arg(key));
        }
        const qsizetype at = places.offset(key);
        const int entryLine = places.line(key);
        for (auto it = entry.begin(); it != entry.end(); ++it) {
            if (!kEntryFields.contains(it.key())) {
                return fail(lineOf(json, it.key(), at),
                    QStringLiteral("unknown field \"%1\" in engine \"%2\"").arg(it.key(), key));
            }
        }

        const auto existing = byKey.constFind(key);
        const bool isNew = existing == byKey.constEnd();
        CatalogueEngine fresh;
        CatalogueEngine& engine = isNew ? fresh : m_engines[*existing];
        if (isNew) {
            engine.key = key;
            engine.caption = key;
        }
        if (!builtIn) {
            engine.fromUserFile = true;
        }

        auto textField = [&](const char* name, QString& target) -> Result<void> {
            const QJsonValue v = entry.value(QLatin1String(name));
            if (v.isUndefined()) {
                return {};
            }
            if (!v.isString() || v.toString().isEmpty()) {
                return fail(lineOf(json, QLatin1String(name), at),
                    QStringLiteral("\"%1\" of engine \"%2\" must be a non-empty text").arg(QLatin1String(name), key));
            }
            target = v.toString();
            return {};
        };
        auto encodingField = [&](const char* name, PageEncoding& target) -> Result<void> {
            QString text;
            if (Result<void> r = textField(name, text); !r || text.isEmpty()) {
                return r;
            }
            const auto encoding = encodingFromName(text.toLatin1());
            if (!encoding) {
                return fail(lineOf(json, text, at),
                    QStringLiteral("unknown encoding \"%1\" (use utf-8, gbk or iso-8859-1)").arg(text));
            }
            target = *encoding;
            return {};
        };
        auto routeField = [&]() -> Result<void> {
            QString text;
            if (Result<void> r = textField("route", text); !r || text.isEmpty()) {
                return r;
            }
            if (!kRoutes.contains(text)) {
                return fail(lineOf(json, text, at),
                    QStringLiteral("unknown route \"%1\" of engine \"%2\" (use %3)")
                        .arg(text, key, kRoutes.join(QStringLiteral(", "))));
            }
            engine.route = text;
            return {};
        };
        for (const Result<void>& r : { textField("caption", engine.caption), textField("url", engine.url),
                 textField("note", engine.note), encodingField("encoding", engine.encoding),
                 encodingField("queryEncoding", engine.queryEncoding), routeField() }) {
            if (!r) {
                return r.failure();
            }
        }
        if (entry.contains(QLatin1String("enabled"))) {
            if (!entry.value(QLatin1String("enabled")).isBool()) {
                return fail(lineOf(json, QStringLiteral("enabled"), at),
                    QStringLiteral("\"enabled\" of engine \"%1\" must be true or false").arg(key));
            }
            engine.enabled = entry.value(QLatin1String("enabled")).toBool();
        }
        if (entry.contains(QLatin1String("column"))) {
            // Only the built-in catalogue ties an engine to a stored column.
            if (!builtIn) {
                return fail(
                    lineOf(json, QStringLiteral("column"), at), QStringLiteral("\"column\" is fixed by the program"));
            }
            engine.column = entry.value(QLatin1String("column")).toInt(-1);
        }
        if (!engine.url.startsWith(QLatin1String("http://")) && !engine.url.startsWith(QLatin1String("https://"))) {
            return fail(
                entryLine, QStringLiteral("engine \"%1\" needs a \"url\" beginning with http:// or https://").arg(key));
        }

        if (entry.contains(QLatin1String("hosts"))) {
            const QJsonValue v = entry.value(QLatin1String("hosts"));
            QStringList hosts;
            for (const QJsonValue& item : v.toArray()) {
                const QString host = item.toString().toLower();
                if (!item.isString() || !hostShape().match(host).hasMatch()) {
                    return fail(lineOf(json, item.isString() ? item.toString() : QStringLiteral("hosts"), at),
                        QStringLiteral("\"hosts\" of engine \"%1\" must list host names such as \"baidu.com\" "
                                       "(got %2)")
                            .arg(key,
                                QString::fromUtf8(QJsonDocument(QJsonArray { item })
                                                      .toJson(QJsonDocument::Compact)
                                                      .mid(1)
                                                      .chopped(1))));
                }
                hosts.append(host);
            }
            if (!v.isArray() || hosts.isEmpty()) {
                return fail(lineOf(json, QStringLiteral("hosts"), at),
                    QStringLiteral("\"hosts\" of engine \"%1\" must be a non-empty list of host names").arg(key));
            }
            engine.hosts = hosts;
        }

        const std::size_t position = isNew ? m_engines.size() : *existing;
        for (RuleKind kind : { RuleKind::Count, RuleKind::None, RuleKind::Blocked, RuleKind::BlockedUrl }) {
            const QString field = ruleKindName(kind);
            const QJsonValue v = entry.value(field);
            if (v.isUndefined()) {
                continue;
            }
            if (!v.isArray()) {
                return fail(lineOf(json, field, at),
                    QStringLiteral("\"%1\" of engine \"%2\" must be a list of expressions").arg(field, key));
            }
            const QJsonArray items = v.toArray();
            std::vector<PageRule> added;
            added.reserve(std::size_t(items.size()));
            for (const QJsonValue& item : items) {
                if (!item.isString()) {
                    return fail(lineOf(json, field, at),
                        QStringLiteral("\"%1\" of engine \"%2\" must hold texts only").arg(field, key));
                }
                // The built-in rules are compiled now and shared by every copy; a user's only
                // checked, and compiled when first used.
                Result<PageRule> rule = PageRule::compile(
                    kind, item.toString(), builtIn ? PageRule::Compile::Now : PageRule::Compile::WhenUsed);
                if (!rule) {
                    return fail(lineOf(json, item.toString(), at), rule.error());
                }
                added.push_back(std::move(rule.value()));
            }
            // Later entries go before earlier ones: gathered back to front, put in place once.
            std::vector<PageRule>& pending = prepended[position][std::size_t(kind)];
            pending.insert(
                pending.end(), std::make_move_iterator(added.rbegin()), std::make_move_iterator(added.rend()));
        }
        if (isNew) {
            byKey.insert(key, m_engines.size());
            m_engines.push_back(std::move(fresh));
        }
    }
    for (auto& [position, kinds] : prepended) {
        for (RuleKind kind : { RuleKind::Count, RuleKind::None, RuleKind::Blocked, RuleKind::BlockedUrl }) {
            std::vector<PageRule>& added = kinds[std::size_t(kind)];
            std::vector<PageRule>& rules = rulesOf(m_engines[position], kind);
            rules.insert(rules.begin(), std::make_move_iterator(added.rbegin()), std::make_move_iterator(added.rend()));
        }
    }
    indexNames();
    return {};
}

void EngineCatalogue::indexNames()
{
    m_byKey.clear();
    m_byName.clear();
    const auto first = [](QHash<QString, int>& names, const QString& name, int i) {
        if (!names.contains(name)) {
            names.insert(name, i);
        }
    };
    for (int i = 0; i < size(); ++i) {
        const CatalogueEngine& e = engine(i);
        first(m_byKey, e.key.toLower(), i);
        first(m_byName, e.caption, i);
        if (e.column >= 0) {
            first(m_byName, QString::number(e.column), i);
        }
    }
}

int EngineCatalogue::find(const QString& text) const
{
    const int byKey = m_byKey.value(text.toLower(), -1);
    const int byName = m_byName.value(text, -1);
    return byKey < 0 || byName < 0 ? std::max(byKey, byName) : std::min(byKey, byName);
}

std::vector<int> EngineCatalogue::enabledEngines() const
{
    std::vector<int> enabled;
    for (int i = 0; i < size(); ++i) {
        if (engine(i).enabled) {
            enabled.push_back(i);
        }
    }
    return enabled;
}

Result<void> EngineCatalogue::setEnabled(const QString& userFile, const QString& key, bool enabled)
{
    QJsonObject top;
    if (Result<void> fits = checkStateFile(userFile); !fits) {
        return fits;
    }
    if (QFileInfo::exists(userFile)) {
        const Result<QByteArray> read = readStateFile(userFile, kMaxBodyBytes);
        if (!read) {
            return read.failure().reworded(read.error() + QStringLiteral(", the file is left as it is"));
        }
        const QByteArray& json = *read;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
            return Error { QStringLiteral("%1:%2: %3, the file is left as it is")
                               .arg(userFile)
                               .arg(lineAt(json, parseError.offset))
                               .arg(parseError.error != QJsonParseError::NoError
                                       ? parseError.errorString()
                                       : QStringLiteral("not a JSON object")) };
        }
        top = document.object();
    }
    Result<EngineCatalogue> current = load(userFile);
    if (!current) {
        return current.failure().reworded(current.error() + QStringLiteral(" (the file is left as it is)"));
    }
    const int index = current->find(key);
    if (index < 0) {
        return Error { QStringLiteral("no engine \"%1\" in the catalogue").arg(key) };
    }
    const QString engineKey = current->engine(index).key;
    QJsonArray engines = top.value(QLatin1String("engines")).toArray();
    bool found = false;
    for (qsizetype i = 0; i < engines.size(); ++i) {
        QJsonObject entry = engines.at(i).toObject();
        if (entry.value(QLatin1String("key")).toString() == engineKey) {
            entry.insert(QStringLiteral("enabled"), enabled);
            engines.replace(i, entry);
            found = true;
        }
    }
    if (!found) {
        engines.append(QJsonObject { { QStringLiteral("key"), engineKey }, { QStringLiteral("enabled"), enabled } });
    }
    top.insert(QStringLiteral("engines"), engines);
    QSaveFile out(userFile);
    if (!out.open(QIODevice::WriteOnly)) {
        return Error { QStringLiteral("%1: %2").arg(userFile, out.errorString()) };
    }
    out.write(QJsonDocument(top).toJson(QJsonDocument::Indented));
    if (!out.commit()) {
        return Error { QStringLiteral("%1: %2").arg(userFile, out.errorString()) };
    }
    return {};
}

} // namespace shoulu
