#include "cli/RowFormat.h"

#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "query/DomainText.h"

#include <QStringList>

#include <array>

namespace shoulu::cli {

namespace {

// The stored engines' keys in column order, from the engine catalogue.
const std::array<const char*, EngineCount>& engineColumns()
{
    static const std::array<const char*, EngineCount> columns = [] {
        std::array<const char*, EngineCount> keys {};
        for (int i = 0; i < EngineCount; ++i) {
            keys[std::size_t(i)] = engineInfo(i).name;
        }
        return keys;
    }();
    return columns;
}

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
        || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
        || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

QString padded(const QString& text, int width, bool right)
{
    const QString fill(qMax(0, width - displayWidth(text)), QLatin1Char(' '));
    return right ? fill + text : text + fill;
}

// An engine beyond the seven is headed by its built-in caption, or its key when it has none.
QString captionOf(const QString& engine)
{
    const EngineCatalogue& builtIn = EngineCatalogue::builtIn();
    const int at = builtIn.find(engine);
    return at >= 0 && builtIn.engine(at).key == engine ? builtIn.engine(at).caption : escapeControls(engine);
}

QString table(const std::vector<ResultRow>& rows, const QStringList& extras)
{
    QStringList header { QStringLiteral("#"), QStringLiteral("domain"), QStringLiteral("date") };
    for (int i = 0; i < EngineCount; ++i) {
        header.append(QString::fromUtf8(engineInfo(i).caption));
    }
    for (const QString& engine : extras) {
        header.append(captionOf(engine));
    }
    std::vector<QStringList> lines { header };
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& row = rows[i];
        QStringList cells { QString::number(i + 1), escapeControls(row.domain), rowDate(row) };
        for (int e = 0; e < EngineCount; ++e) {
            const Reading* reading = row.readingOf(QLatin1String(engineColumns()[std::size_t(e)]));
            const bool figure = row.readings.isEmpty() || (reading && isTrustworthy(reading->status));
            cells.append(figure ? QString::number(row.counts[std::size_t(e)])
                                : statusWord(reading ? reading->status : ReadingStatus::Off));
        }
        for (const QString& engine : extras) {
            const Reading* reading = row.readingOf(engine);
            cells.append(reading && isTrustworthy(reading->status) ? QString::number(reading->count)
                    : row.readings.isEmpty()                       ? QString()
                                             : statusWord(reading ? reading->status : ReadingStatus::Off));
        }
        lines.push_back(cells);
    }
    std::vector<int> widths(static_cast<size_t>(header.size()), 0);
    for (const QStringList& cells : lines) {
        for (qsizetype c = 0; c < cells.size(); ++c) {
            widths[static_cast<size_t>(c)] = qMax(widths[static_cast<size_t>(c)], displayWidth(cells.at(c)));
        }
    }
    QString out;
    for (const QStringList& cells : lines) {
        QString line;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            // Numbers line up on the right; the domain and date read from the left.
            const bool right = c == 0 || c >= 3;
            if (c > 0) {
                line += QStringLiteral("  ");
            }
            line += padded(cells.at(c), widths[static_cast<size_t>(c)], right);
        }
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
        out += line + QLatin1Char('\n');
    }
    return out;
}

// A spreadsheet runs a cell that begins like a formula; the apostrophe makes it plain text.
bool looksLikeFormula(const QString& text)
{
    return !text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front());
}

QString csvField(const QString& raw)
{
    const QString text = looksLikeFormula(raw) ? QLatin1Char('\'') + raw : raw;
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csv(const std::vector<ResultRow>& rows, bool withStatus, const QStringList& extras)
{
    QString out = csvHeader(withStatus, extras);
    for (const ResultRow& row : rows) {
        out += csvLine(row, withStatus, extras);
    }
    return out;
}

bool isStoredColumn(const QString& engine)
{
    for (const char* column : engineColumns()) {
        if (engine == QLatin1String(column)) {
            return true;
        }
    }
    return false;
}

// The seven stored engines, then the others the rows or the caller name.
QStringList statusColumns(const QStringList& extras)
{
    QStringList columns;
    for (const char* column : engineColumns()) {
        columns.append(QLatin1String(column));
    }
    return columns + extras;
}

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || isControlCharacter(c.unicode())) {
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                out += c;
            }
        }
    }
    return out + QLatin1Char('"');
}

QString searchTimeText(const ResultRow& row)
{
    return row.searchTime.isValid() ? row.searchTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

// Written by hand: counts are 64-bit and QJsonValue would round those above 2^53.
QString json(const std::vector<ResultRow>& rows, const QStringList& extras)
{
    if (rows.empty()) {
        return QStringLiteral("[]\n");
    }
    QString out = QStringLiteral("[\n");
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& row = rows[i];
        out += QStringLiteral("  {\"id\": %1, \"domain\": %2, \"date\": \"%3\", \"searchtime\": %4")
                   .arg(QString::number(row.id), jsonString(row.domain), rowDate(row),
                       row.searchTime.isValid() ? jsonString(searchTimeText(row)) : QStringLiteral("null"));
        for (size_t e = 0; e < engineColumns().size(); ++e) {
            out += QStringLiteral(", \"%1\": %2")
                       .arg(QLatin1String(engineColumns()[e]), QString::number(row.counts[e]));
        }
        if (!row.readings.isEmpty()) {
            QStringList statuses;
            QStringList beyond;
            for (const QString& engine : statusColumns(extras)) {
                statuses.append(QStringLiteral("%1: \"%2\"").arg(jsonString(engine), statusOf(row, engine)));
            }
            for (const EngineReading& r : row.readings) {
                if (!isStoredColumn(r.engine)) {
                    beyond.append(QStringLiteral("%1: %2").arg(jsonString(r.engine), QString::number(r.reading.count)));
                }
            }
            out += QStringLiteral(", \"status\": {%1}").arg(statuses.join(QStringLiteral(", ")));
            if (!beyond.isEmpty()) {
                out += QStringLiteral(", \"counts\": {%1}").arg(beyond.join(QStringLiteral(", ")));
            }
        }
        out += i + 1 < rows.size() ? QStringLiteral("},\n") : QStringLiteral("}\n");
    }
    return out + QStringLiteral("]\n");
}

} // namespace

std::optional<RowFormat> rowFormatFromName(const QString& name)
{
    if (name == QLatin1String("table")) {
        return RowFormat::Table;
    }
    if (name == QLatin1String("csv")) {
        return RowFormat::Csv;
    }
    if (name == QLatin1String("json")) {
        return RowFormat::Json;
    }
    return std::nullopt;
}

QStringList extraEngines(const std::vector<ResultRow>& rows)
{
    QStringList extras;
    for (const ResultRow& row : rows) {
        for (const EngineReading& r : row.readings) {
            if (!isStoredColumn(r.engine) && !extras.contains(r.engine)) {
                extras.append(r.engine);
            }
        }
    }
    return extras;
}

QStringList extraEngines(const EngineCatalogue& catalogue)
{
    QStringList extras;
    for (const int at : catalogue.enabledEngines()) {
        if (catalogue.engine(at).column < 0) {
            extras.append(catalogue.engine(at).key);
        }
    }
    return extras;
}

QString csvHeader(bool withStatus, const QStringList& extras)
{
    QString out = QStringLiteral("domain,date");
    const QStringList columns = statusColumns(extras);
    for (const QString& column : columns) {
        out += QLatin1Char(',') + csvField(escapeControls(column));
    }
    if (withStatus) {
        for (const QString& column : columns) {
            out += QLatin1Char(',') + csvField(escapeControls(column + QStringLiteral("_status")));
        }
    }
    return out + QLatin1Char('\n');
}

QString csvLine(const ResultRow& row, bool withStatus, const QStringList& extras)
{
    QString out = csvField(escapeControls(row.domain)) + QLatin1Char(',') + rowDate(row);
    for (Count count : row.counts) {
        out += QLatin1Char(',') + QString::number(count);
    }
    for (const QString& engine : extras) {
        const Reading* reading = row.readingOf(engine);
        out += QLatin1Char(',') + (reading ? QString::number(reading->count) : QString());
    }
    if (withStatus) {
        for (const QString& column : statusColumns(extras)) {
            out += QLatin1Char(',') + statusOf(row, column);
        }
    }
    return out + QLatin1Char('\n');
}

QString statusOf(const ResultRow& row, const QString& engine)
{
    if (row.readings.isEmpty()) {
        return QString();
    }
    const Reading* reading = row.readingOf(engine);
    return statusWord(reading ? reading->status : ReadingStatus::Off);
}

QString formatRows(const std::vector<ResultRow>& rows, RowFormat format, bool withStatus)
{
    const QStringList extras = extraEngines(rows);
    switch (format) {
    case RowFormat::Table:
        return table(rows, extras);
    case RowFormat::Csv:
        return csv(rows, withStatus, extras);
    case RowFormat::Json:
        return json(rows, extras);
    }
    return QString();
}

QString rowDate(const ResultRow& row)
{
    if (row.searchTime.isValid()) {
        const QDate date = row.searchTime.date();
        return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
    }
    return QString::asprintf("%04d-%02d-%02d", row.yyyy, row.mm, row.dd);
}

int displayWidth(const QString& text)
{
    int width = 0;
    for (char32_t c : text.toUcs4()) {
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

} // namespace shoulu::cli
