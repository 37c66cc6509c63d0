#include "query/DomainText.h"

#include "store/DomainList.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <utility>

namespace shoulu {

namespace {

QString codeOf(char32_t c)
{
    return QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString shownCharacter(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// "http://user@www.example.com:8080/news/?x=1#top" is "www.example.com/news/": a site: search
// knows no scheme, port, query or fragment. A bare "/" path is no path. Where host and path
// begin in the text is kept, so a fault in them can be pointed at.
struct HostAndPath
{
    QString host;
    QString path;
    qsizetype hostAt = 0;
    qsizetype pathAt = 0;
};

HostAndPath hostAndPath(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    static const QRegularExpression port(QStringLiteral(":[0-9]*$"));
    QString rest = text;
    const QRegularExpressionMatch url = scheme.match(rest);
    const qsizetype base = url.hasMatch() ? url.capturedLength() : 0;
    rest.remove(0, base);
    for (const QChar cut : { QLatin1Char('#'), QLatin1Char('?') }) {
        if (const qsizetype at = rest.indexOf(cut); at >= 0) {
            rest.truncate(at);
        }
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    HostAndPath split;
    split.host = slash < 0 ? rest : rest.left(slash);
    split.path = slash < 0 ? QString() : rest.mid(slash);
    split.hostAt = base;
    split.pathAt = base + (slash < 0 ? rest.size() : slash);
    if (url.hasMatch()) {
        const qsizetype user = split.host.lastIndexOf(QLatin1Char('@')) + 1;
        split.host.remove(0, user);
        split.hostAt += user;
        split.host.remove(port);
    }
    if (split.path == QLatin1String("/")) {
        split.path.clear();
    }
    return split;
}

char32_t codePointAt(const QString& text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    return c.unicode();
}

// Letters and digits of any script, as internationalised names have them.
bool isNameCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Number_DecimalDigit:
        return true;
    default:
        return false;
    }
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// What a URL path holds, quotes left out: a name ending up in a page, a spreadsheet or a
// statement must not be able to close the text it stands in.
bool isPathCharacter(const QString& path, qsizetype i)
{
    const char32_t c = codePointAt(path, i);
    if (c == U'%') {
        return i + 2 < path.size() && isHexDigit(path.at(i + 1)) && isHexDigit(path.at(i + 2));
    }
    if (c < 128) {
        return QStringView(u"-._~!$&()*+,;=:@/").contains(QChar(c)) || isNameCharacter(c);
    }
    return isNameCharacter(c) || QChar::category(c) == QChar::Number_Letter
        || QChar::category(c) == QChar::Number_Other;
}

// The first fault of the host, at its index in the host; labels are the parts between dots.
std::pair<DomainFault, qsizetype> hostFault(const QString& host)
{
    for (qsizetype i = 0; i < host.size(); i += QChar::requiresSurrogates(codePointAt(host, i)) ? 2 : 1) {
        const char32_t c = codePointAt(host, i);
        const bool labelStart = i == 0 || host.at(i - 1) == QLatin1Char('.');
        if (c == U'.') {
            if (labelStart) {
                return { DomainFault::EmptyLabel, i };
            }
            if (host.at(i - 1) == QLatin1Char('-')) {
                return { DomainFault::LabelHyphen, i - 1 };
            }
        } else if (c == U'-') {
            if (labelStart) {
                return { DomainFault::LabelHyphen, i };
            }
        } else if (!isNameCharacter(c)) {
            return { DomainFault::HostCharacter, i };
        }
    }
    if (host.endsWith(QLatin1Char('.'))) {
        return { DomainFault::EmptyLabel, host.size() - 1 };
    }
    if (host.endsWith(QLatin1Char('-'))) {
        return { DomainFault::LabelHyphen, host.size() - 1 };
    }
    return { DomainFault::None, 0 };
}

std::pair<DomainFault, qsizetype> pathFault(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); i += QChar::requiresSurrogates(codePointAt(path, i)) ? 2 : 1) {
        if (!isPathCharacter(path, i)) {
            return { DomainFault::PathCharacter, i };
        }
    }
    return { DomainFault::None, 0 };
}

template <typename Listed> DomainCheck check(const QString& text, const Listed& listed)
{
    DomainCheck result;
    const QString trimmed = trimControlAndBlank(text);
    if (trimmed.isEmpty()) {
        result.fault = DomainFault::Empty;
        return result;
    }
    if (listed.contains(trimmed)) {
        result.domain = trimmed;
        return result;
    }
    // Counted in the text as given, which is what the user sees.
    int lead = 0;
    while (text.at(lead).unicode() <= 32) {
        ++lead;
    }
    int position = lead;
    for (const char32_t c : trimmed.toUcs4()) {
        ++position;
        if (isControlCharacter(c)) {
            result.fault = DomainFault::ControlCharacter;
        } else if (QChar::isSpace(c)) {
            result.fault = DomainFault::Blank;
        } else if (c == U'\\') {
            // Escaped output shows control characters with it: such a line pasted back is refused,
            // not stored as another name.
            result.fault = DomainFault::Backslash;
        } else {
            continue;
        }
        result.character = c;
        result.position = position;
        return result;
    }
    const HostAndPath split = hostAndPath(trimmed);
    const auto refuse = [&](std::pair<DomainFault, qsizetype> fault, const QString& part, qsizetype partAt) {
        result.fault = fault.first;
        result.character = codePointAt(part, fault.second);
        result.position = lead + int(trimmed.left(partAt + fault.second).toUcs4().size()) + 1;
    };
    const QString domain = split.host + split.path;
    if (split.host.isEmpty()) {
        result.fault = DomainFault::Empty;
    } else if (const auto host = hostFault(split.host); host.first != DomainFault::None) {
        refuse(host, split.host, split.hostAt);
    } else if (const auto path = pathFault(split.path); path.first != DomainFault::None) {
        refuse(path, split.path, split.pathAt);
    } else if (const int hostLength = int(split.host.toUcs4().size()); hostLength > kMaxHostLength) {
        result.fault = DomainFault::HostTooLong;
        result.length = hostLength;
    } else if (const int length = int(domain.toUcs4().size()); length > kMaxDomainLength) {
        result.fault = DomainFault::TooLong;
        result.length = length;
    } else {
        result.domain = domain;
    }
    return result;
}

} // namespace

QString DomainCheck::message() const
{
    switch (fault) {
    case DomainFault::None:
        break;
    case DomainFault::Empty:
        return QStringLiteral("there is no domain in it");
    case DomainFault::ControlCharacter:
        return QStringLiteral("it holds a control character, U+%1, at character %2")
            .arg(codeOf(character))
            .arg(position);
    case DomainFault::Blank:
        return QStringLiteral("it holds a blank, U+%1, at character %2").arg(codeOf(character)).arg(position);
    case DomainFault::Backslash:
        return QStringLiteral("it holds a backslash at character %1 (control characters are shown as \\uXXXX)")
            .arg(position);
    case DomainFault::HostCharacter:
        return QStringLiteral("it holds '%1' (U+%2) at character %3: a host name holds letters, digits, hyphens and "
                              "dots")
            .arg(shownCharacter(character), codeOf(character))
            .arg(position);
    case DomainFault::EmptyLabel:
        return QStringLiteral("the dot at character %1 leaves a part of the host name empty").arg(position);
    case DomainFault::LabelHyphen:
        return QStringLiteral("the hyphen at character %1 begins or ends a part of the host name").arg(position);
    case DomainFault::PathCharacter:
        return QStringLiteral("it holds '%1' (U+%2) at character %3, which the path after the host cannot hold")
            .arg(shownCharacter(character), codeOf(character))
            .arg(position);
    case DomainFault::HostTooLong:
        return QStringLiteral("its host name is %1 characters long, more than %2").arg(length).arg(kMaxHostLength);
    case DomainFault::TooLong:
        return QStringLiteral("it is %1 characters long, more than %2").arg(length).arg(kMaxDomainLength);
    }
    return QString();
}

QString DomainCheck::messageZh() const
{
    switch (fault) {
    case DomainFault::None:
        break;
    case DomainFault::Empty:
        return QStringLiteral("没有填写域名");
    case DomainFault::ControlCharacter:
        return QStringLiteral("第 %2 个字符是控制字符 U+%1").arg(codeOf(character)).arg(position);
    case DomainFault::Blank:
        return QStringLiteral("第 %2 个字符是空白 U+%1，域名中间不能有空格").arg(codeOf(character)).arg(position);
    case DomainFault::Backslash:
        return QStringLiteral("第 %1 个字符是反斜杠“\\”（控制字符显示为 \\uXXXX）").arg(position);
    case DomainFault::HostCharacter:
        return QStringLiteral("第 %1 个字符“%2”（U+%3）不能用在主机名中，主机名只能由字母、数字、连字符和点组成")
            .arg(position)
            .arg(shownCharacter(character), codeOf(character));
    case DomainFault::EmptyLabel:
        return QStringLiteral("第 %1 个字符是点“.”，使主机名中有空的一段").arg(position);
    case DomainFault::LabelHyphen:
        return QStringLiteral("第 %1 个字符是连字符“-”，主机名的每一段不能以连字符开头或结尾").arg(position);
    case DomainFault::PathCharacter:
        return QStringLiteral("第 %1 个字符“%2”（U+%3）不能用在主机名后的路径中")
            .arg(position)
            .arg(shownCharacter(character), codeOf(character));
    case DomainFault::HostTooLong:
        return QStringLiteral("主机名有 %1 个字符，最多 %2 个").arg(length).arg(kMaxHostLength);
    case DomainFault::TooLong:
        return QStringLiteral("共有 %1 个字符，最多 %2 个").arg(length).arg(kMaxDomainLength);
    }
    return QString();
}

DomainCheck checkDomain(const QString& text, const QStringList& listed)
{
    return check(text, listed);
}

DomainLines checkDomainLines(const QStringList& lines, const QStringList& listed)
{
    const QSet<QString> known(listed.cbegin(), listed.cend());
    QSet<QString> seen;
    DomainLines result;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (trimControlAndBlank(lines.at(i)).isEmpty()) {
            result.blankLines.append(int(i + 1));
            continue;
        }
        DomainCheck line = check(lines.at(i), known);
        if (line.ok()) {
            const QString folded = foldedAsStored(line.domain);
            if (seen.contains(folded)) {
                result.repeatLines.append(int(i + 1));
                continue;
            }
            seen.insert(folded);
            result.domains.append(line.domain);
        } else {
            result.faults.append({ int(i + 1), line });
        }
    }
    return result;
}

QString foldedAsStored(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) {
            c = QChar(c.unicode() + ('a' - 'A'));
        }
    }
    return folded;
}

bool isControlCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString escapeControls(const QString& text)
{
    const auto plain
        = [](QChar c) { return c != QLatin1Char('\\') && !c.isSurrogate() && !isControlCharacter(c.unicode()); };
    if (std::all_of(text.cbegin(), text.cend(), plain)) {
        return text;
    }
    QString out;
    for (const char32_t c : text.toUcs4()) {
        if (c == U'\\') {
            out += QLatin1String("\\\\");
        } else if (!isControlCharacter(c)) {
            out += QString::fromUcs4(&c, 1);
        } else if (c <= 0xFFFF) {
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'));
        }
    }
    return out;
}

QString quotedForMessage(const QString& text)
{
    constexpr qsizetype Longest = 80;
    QString shown = escapeControls(text);
    if (shown.size() > Longest) {
        shown = shown.left(Longest - 3) + QStringLiteral("...");
    }
    return QLatin1Char('\'') + shown + QLatin1Char('\'');
}

} // namespace shoulu
