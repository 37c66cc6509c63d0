#include "engines/FigureText.h"

#include "engines/CountExtractor.h"
#include "engines/GbkCodec.h"

#include <QRegularExpression>
#include <QString>

#include <limits>

namespace shoulu {

namespace {

// &nbsp; and numeric character references, the only markup that appears inside figures.
QString decodeEntities(QStringView text)
{
    if (!text.contains(QLatin1Char('&'))) {
        return text.toString();
    }
    static const QRegularExpression entity(QStringLiteral("&(?:#(\\d{1,7})|#[xX]([0-9A-Fa-f]{1,6})|(nbsp));"));
    QString out;
    qsizetype last = 0;
    const QString source = text.toString();
    auto it = entity.globalMatch(source);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(source).mid(last, m.capturedStart() - last);
        char32_t code = 0xA0;
        if (m.capturedLength(1) > 0) {
            code = char32_t(m.captured(1).toUInt());
        } else if (m.capturedLength(2) > 0) {
            code = char32_t(m.captured(2).toUInt(nullptr, 16));
        }
        if (code == 0 || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        out += QString::fromUcs4(&code, 1);
        last = m.capturedEnd();
    }
    out += QStringView(source).mid(last);
    return out;
}

bool isGroupSeparator(QChar c)
{
    switch (c.unicode()) {
    case ',':
    case '.':
    case '\'':
    case ' ':
    case 0x00A0: // no-break space
    case 0x2009: // thin space
    case 0x202F: // narrow no-break space
    case 0x2019: // right single quotation mark (Swiss)
    case 0xFF0C: // full-width comma
        return true;
    default:
        return false;
    }
}

QString normalised(QStringView text)
{
    QString s = decodeEntities(text);
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19) {
            c = QChar(u'0' + (u - 0xFF10));
        } else if (u == 0xFF0E) {
            c = QLatin1Char('.');
        } else if (u == 0x842C) { // 萬
            c = QChar(0x4E07);
        } else if (u == 0x5104) { // 億
            c = QChar(0x4EBF);
        }
    }
    s = s.trimmed();
    for (const char* prefix : { "About ", "about ", "About", "about" }) {
        if (s.startsWith(QLatin1String(prefix))) {
            s = s.mid(qsizetype(qstrlen(prefix))).trimmed();
            break;
        }
    }
    for (const char16_t* prefix : { u"約有", u"约有", u"约", u"約", u"共" }) {
        const QStringView p(prefix);
        if (s.startsWith(p)) {
            s = s.mid(p.size()).trimmed();
            break;
        }
    }
    return s;
}

// Digits grouped by three behind any one kind of separator, or digits alone.
Count groupedDigits(QStringView s)
{
    if (s.isEmpty()) {
        return -1;
    }
    Count value = 0;
    qsizetype groupLength = 0;
    bool grouped = false;
    QChar separator;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            if (value > (std::numeric_limits<Count>::max() - (c.unicode() - '0')) / 10) {
                return -1;
            }
            value = value * 10 + (c.unicode() - '0');
            ++groupLength;
            continue;
        }
        if (!isGroupSeparator(c) || groupLength == 0 || (grouped && groupLength != 3)
            || (!grouped && groupLength > 3)) {
            return -1;
        }
        // A space may stand beside another separator ("1, 234" never occurs; "1 234" does).
        if (grouped && c != separator) {
            return -1;
        }
        separator = c;
        grouped = true;
        groupLength = 0;
    }
    if (grouped && groupLength != 3) {
        return -1;
    }
    return value;
}

} // namespace

Count readHumanFigure(QStringView text)
{
    const QString s = normalised(text);
    if (s.contains(QChar(0x4E07)) || s.contains(QChar(0x4EBF))) {
        QString plain;
        for (const QChar c : s) {
            if (!isGroupSeparator(c) || c == QLatin1Char('.')) {
                plain += c;
            }
        }
        return ReadUnitsFigure(toGbk(plain));
    }
    return groupedDigits(s);
}

} // namespace shoulu
