#include "engines/EngineCatalogue.h"

#include "engines/GbkCodec.h"
#include "fetch/FetchLimits.h"
#include "util/BoundedRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

// Resources of a static library are registered by hand, outside any namespace.
static void initCatalogueResource()
{
    Q_INIT_RESOURCE(engines);
}

namespace shoulu {

namespace {

const QString kBuiltInOrigin = QStringLiteral("built-in catalogue");
const QString kUserFileName = QStringLiteral("engines.json");

// A user file may name these fields of an entry, and no others: a misspelt field is an error,
// not a silently ignored rule.
const QStringList kEntryFields { QStringLiteral("key"), QStringLiteral("caption"), QStringLiteral("url"),
    QStringLiteral("encoding"), QStringLiteral("queryEncoding"), QStringLiteral("enabled"), QStringLiteral("note"),
    QStringLiteral("column"), QStringLiteral("count"), QStringLiteral("none"), QStringLiteral("blocked"),
    QStringLiteral("blockedUrl"), QStringLiteral("hosts") };

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

qsizetype entryOffset(const QByteArray& text, const QString& key)
{
    static const QString shape = QStringLiteral("\"key\"\\s*:\\s*\"%1\"");
    const QRegularExpression re(shape.arg(QRegularExpression::escape(key)));
    const QRegularExpressionMatch m = re.match(QString::fromUtf8(text));
    return m.hasMatch() ? QString::fromUtf8(text).left(m.capturedStart()).toUtf8().size() : 0;
}

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

Result<EngineCatalogue> EngineCatalogue::load(const QString& userFile)
{
    EngineCatalogue catalogue = builtIn();
    if (userFile.isEmpty() || !QFileInfo::exists(userFile)) {
        return catalogue;
    }
    const Result<QByteArray> json = readFileAtMost(userFile, kMaxBodyBytes);
    if (!json) {
        return Error { QStringLiteral("%1: %2").arg(userFile, json.error()) };
    }
    if (Result<void> merged = catalogue.merge(*json, userFile, false); !merged) {
        return Error { merged.error() };
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
        const qsizetype at = entryOffset(json, key);
        const int entryLine = lineAt(json, at);
        for (auto it = entry.begin(); it != entry.end(); ++it) {
            if (!kEntryFields.contains(it.key())) {
                return fail(lineOf(json, it.key(), at),
                    QStringLiteral("unknown field \"%1\" in engine \"%2\"").arg(it.key(), key));
            }
        }

        auto existing
            = std::find_if(m_engines.begin(), m_engines.end(), [&](const CatalogueEngine& e) { return e.key == key; });
        const bool isNew = existing == m_engines.end();
        CatalogueEngine fresh;
        CatalogueEngine& engine = isNew ? fresh : *existing;
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
        for (const Result<void>& r :
            { textField("caption", engine.caption), textField("url", engine.url), textField("note", engine.note),
                encodingField("encoding", engine.encoding), encodingField("queryEncoding", engine.queryEncoding) }) {
            if (!r) {
                return Error { r.error() };
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
            std::vector<PageRule> added;
            for (const QJsonValue& item : v.toArray()) {
                if (!item.isString()) {
                    return fail(lineOf(json, field, at),
                        QStringLiteral("\"%1\" of engine \"%2\" must hold texts only").arg(field, key));
                }
                Result<PageRule> rule = PageRule::compile(kind, item.toString());
                if (!rule) {
                    return fail(lineOf(json, item.toString(), at), rule.error());
                }
                added.push_back(std::move(rule.value()));
            }
            // The user's rules are tried before the built-in ones.
            std::vector<PageRule>& rules = rulesOf(engine, kind);
            rules.insert(rules.begin(), added.begin(), added.end());
        }
        if (isNew) {
            m_engines.push_back(std::move(fresh));
        }
    }
    return {};
}

int EngineCatalogue::find(const QString& text) const
{
    for (int i = 0; i < size(); ++i) {
        const CatalogueEngine& e = engine(i);
        if (e.key.compare(text, Qt::CaseInsensitive) == 0 || e.caption == text
            || (e.column >= 0 && text == QString::number(e.column))) {
            return i;
        }
    }
    return -1;
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
    if (QFileInfo::exists(userFile)) {
        const Result<QByteArray> read = readFileAtMost(userFile, kMaxBodyBytes);
        if (!read) {
            return Error { QStringLiteral("%1: %2").arg(userFile, read.error()) };
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
        return Error { current.error() + QStringLiteral(" (the file is left as it is)") };
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
