#include "query/DomainText.h"

#include "store/DomainList.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace shoulu {

namespace {

QString codeOf(char32_t c)
{
    return QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// "http://user@www.example.com:8080/news/?x=1#top" is "www.example.com/news/": a site: search
// knows no scheme, port, query or fragment. A bare "/" path is no path.
QString hostAndPath(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    static const QRegularExpression port(QStringLiteral(":[0-9]*$"));
    QString rest = text;
    const QRegularExpressionMatch url = scheme.match(rest);
    if (url.hasMatch()) {
        rest.remove(0, url.capturedLength());
    }
    for (const QChar cut : { QLatin1Char('#'), QLatin1Char('?') }) {
        if (const qsizetype at = rest.indexOf(cut); at >= 0) {
            rest.truncate(at);
        }
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString host = slash < 0 ? rest : rest.left(slash);
    QString path = slash < 0 ? QString() : rest.mid(slash);
    if (url.hasMatch()) {
        host.remove(0, host.lastIndexOf(QLatin1Char('@')) + 1);
        host.remove(port);
    }
    if (path == QLatin1String("/")) {
        path.clear();
    }
    return host + path;
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
    int position = 0;
    while (text.at(position).unicode() <= 32) {
        ++position;
    }
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
    const QString domain = hostAndPath(trimmed);
    const QString host = domain.section(QLatin1Char('/'), 0, 0);
    if (host.isEmpty()) {
        result.fault = DomainFault::Empty;
    } else if (const int hostLength = int(host.toUcs4().size()); hostLength > kMaxHostLength) {
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
