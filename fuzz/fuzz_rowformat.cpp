// The command line's row printing with any domain text and any counts: CSV and JSON output
// must read back as the rows that were printed (CSV with controls escaped), whatever quotes,
// commas or line breaks the domain holds.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "cli/RowFormat.h"
#include "query/DomainText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdlib>
#include <optional>
#include <vector>

namespace shoulu::fuzz {

namespace {

constexpr const char* kEngineColumns[] = { "baidu", "google", "soso", "yahoo", "sogou", "youdao", "bing" };

ResultRow takeRow(FuzzInput& input)
{
    ResultRow row;
    std::size_t got = 0;
    const char* domain = input.bytes(input.byte() % 48, &got);
    row.domain = QString::fromUtf8(domain, static_cast<qsizetype>(got));
    row.id = static_cast<qint64>(input.integer(8));
    for (Count& count : row.counts) {
        // Mostly small figures, now and then any 64-bit value.
        const std::uint8_t width = input.byte() % 9;
        count = static_cast<Count>(input.integer(width));
    }
    row.yyyy = static_cast<std::int16_t>(input.integer(2));
    row.mm = static_cast<std::int8_t>(input.byte());
    row.dd = static_cast<std::int8_t>(input.byte());
    if (input.byte() & 1) {
        const auto seconds = static_cast<qint64>(input.integer(5)) - (qint64(1) << 39);
        const int offset = static_cast<int>(input.integer(3) % (2 * 14 * 3600 + 1)) - 14 * 3600;
        row.searchTime = QDateTime::fromSecsSinceEpoch(seconds, Qt::OffsetFromUTC, offset);
    }
    return row;
}

// RFC 4180 records: fields split at commas, "" inside quotes for a quote; every record ends
// with a line break. nullopt when the text does not read that way.
std::optional<std::vector<QStringList>> readCsv(const QString& text)
{
    std::vector<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != QLatin1Char('"')) {
                field += c;
            } else if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == QLatin1Char('"')) {
            if (!field.isEmpty() || wasQuoted) {
                return std::nullopt; // a quote inside an unquoted field
            }
            quoted = wasQuoted = true;
        } else if (c == QLatin1Char(',') || c == QLatin1Char('\n')) {
            fields.append(field);
            field.clear();
            wasQuoted = false;
            if (c == QLatin1Char('\n')) {
                records.push_back(fields);
                fields.clear();
            }
        } else {
            if (wasQuoted || c == QLatin1Char('\r')) {
                return std::nullopt; // text after a closing quote, or a bare CR most readers end a line at
            }
            field += c;
        }
    }
    if (quoted || !field.isEmpty() || !fields.isEmpty()) {
        return std::nullopt; // the last record lacks its line break
    }
    return records;
}

void checkCsv(const std::vector<ResultRow>& rows)
{
    const std::optional<std::vector<QStringList>> records = readCsv(formatRows(rows, cli::RowFormat::Csv));
    FUZZ_CHECK(records.has_value());
    FUZZ_CHECK(records->size() == rows.size() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QStringList& fields = records->at(i + 1);
        FUZZ_CHECK(fields.size() == 2 + EngineCount);
        // Shown with its control characters escaped, so each row stays one line on a terminal, and
        // inert where a spreadsheet would take it for a formula.
        const QString shown = escapeControls(rows[i].domain);
        const bool formulaLike = !shown.isEmpty() && QStringView(u"=+-@\t\r").contains(shown.front());
        FUZZ_CHECK(fields.at(0) == (formulaLike ? QLatin1Char('\'') + shown : shown));
        for (int e = 0; e < EngineCount; ++e) {
            bool ok = false;
            FUZZ_CHECK(fields.at(2 + e).toLongLong(&ok) == rows[i].counts[static_cast<std::size_t>(e)] && ok);
        }
    }
}

// JSON numbers are read back as doubles: only values a double holds exactly are compared.
bool exactInDouble(qint64 value)
{
    return value >= -(qint64(1) << 53) && value <= (qint64(1) << 53);
}

void checkJson(const std::vector<ResultRow>& rows)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(formatRows(rows, cli::RowFormat::Json).toUtf8(), &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    FUZZ_CHECK(document.isArray());
    const QJsonArray array = document.array();
    FUZZ_CHECK(array.size() == static_cast<qsizetype>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QJsonObject object = array.at(static_cast<qsizetype>(i)).toObject();
        FUZZ_CHECK(object.value(QLatin1String("domain")).toString() == rows[i].domain);
        if (exactInDouble(rows[i].id)) {
            FUZZ_CHECK(object.value(QLatin1String("id")).toInteger() == rows[i].id);
        }
        for (int e = 0; e < EngineCount; ++e) {
            const Count count = rows[i].counts[static_cast<std::size_t>(e)];
            const QJsonValue value = object.value(QLatin1String(kEngineColumns[e]));
            FUZZ_CHECK(value.isDouble());
            if (exactInDouble(count)) {
                FUZZ_CHECK(value.toInteger() == count);
            }
        }
    }
}

} // namespace

int fuzzRowFormat(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    std::vector<ResultRow> rows(input.byte() % 5);
    for (ResultRow& row : rows) {
        row = takeRow(input);
    }
    checkCsv(rows);
    checkJson(rows);
    const QString table = formatRows(rows, cli::RowFormat::Table);
    FUZZ_CHECK(table.endsWith(QLatin1Char('\n')));
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzRowFormat)
