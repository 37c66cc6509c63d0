#include "engines/PageRule.h"

#include "engines/ByteText.h"

#include <algorithm>

namespace shoulu {

namespace {

// Options that make a literal match other text (case, spacing, quoting) switch the prefilter off.
bool changesLiteralMatching(const QString& pattern)
{
    static const QRegularExpression options(QStringLiteral("\\(\\?[a-zA-Z^-]*[ixnJ^]|\\\\Q|\\(\\*"));
    return pattern.contains(options);
}

qsizetype skipClass(const QString& p, qsizetype i)
{
    // p[i] == '['; returns the index of the closing ']'.
    qsizetype j = i + 1;
    if (j < p.size() && p.at(j) == QLatin1Char('^')) {
        ++j;
    }
    if (j < p.size() && p.at(j) == QLatin1Char(']')) {
        ++j;
    }
    for (; j < p.size(); ++j) {
        if (p.at(j) == QLatin1Char('\\')) {
            ++j;
        } else if (p.at(j) == QLatin1Char('[') && j + 1 < p.size() && p.at(j + 1) == QLatin1Char(':')) {
            const qsizetype close = p.indexOf(QLatin1String(":]"), j + 2);
            if (close > 0) {
                j = close + 1;
            }
        } else if (p.at(j) == QLatin1Char(']')) {
            return j;
        }
    }
    return p.size();
}

// p[i] is the letter or digit after a backslash; returns the index of the escape's last
// character, so that what the escape takes as its argument (\x41, \cA, \pL, \k<n>, \g-1,
// \101) is not read as text. Reaching a little too far only shortens the literal.
qsizetype escapeEnd(const QString& p, qsizetype i)
{
    const auto at = [&p](qsizetype j) { return j < p.size() ? p.at(j).unicode() : char16_t(0); };
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    const auto isHex = [&](char16_t c) { return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); };
    const auto upTo = [&p](qsizetype from, char16_t close) {
        const qsizetype end = p.indexOf(QChar(close), from);
        return end < 0 ? p.size() : end;
    };
    const char16_t e = at(i);
    const char16_t next = at(i + 1);
    // Only these take braces: after \d a brace is a quantifier or plain text, which the caller reads.
    if (next == u'{' && QStringView(u"xoNpPgk").contains(QChar(e))) {
        return upTo(i + 2, u'}');
    }
    if ((e == u'k' || e == u'g') && (next == u'<' || next == u'\'')) {
        return upTo(i + 2, next == u'<' ? u'>' : u'\'');
    }
    qsizetype last = i;
    switch (e) {
    case u'x':
        while (last < i + 2 && isHex(at(last + 1))) {
            ++last;
        }
        return last;
    case u'c':
    case u'p':
    case u'P':
        return std::min(i + 1, p.size() - 1);
    case u'g':
        last += next == u'-' || next == u'+' ? 1 : 0;
        break;
    default:
        if (!isDigit(e)) {
            return i;
        }
    }
    while (isDigit(at(last + 1))) {
        ++last;
    }
    return last;
}

// Takes the last character off a run, a surrogate pair whole.
void chopCharacter(QString& run)
{
    run.chop(run.size() >= 2 && run.back().isLowSurrogate() && run.at(run.size() - 2).isHighSurrogate() ? 2 : 1);
}

bool isQuantifierBrace(const QString& p, qsizetype i, qsizetype* end)
{
    static const QRegularExpression brace(QStringLiteral("\\G\\{\\d+(,\\d*)?\\}"));
    const QRegularExpressionMatch m
        = brace.match(p, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
    if (m.hasMatch()) {
        *end = m.capturedEnd() - 1;
        return true;
    }
    return false;
}

} // namespace

QString ruleKindName(RuleKind kind)
{
    switch (kind) {
    case RuleKind::Count:
        return QStringLiteral("count");
    case RuleKind::None:
        return QStringLiteral("none");
    case RuleKind::Blocked:
        return QStringLiteral("blocked");
    case RuleKind::BlockedUrl:
        return QStringLiteral("blockedUrl");
    }
    return QString();
}

QByteArray requiredLiteral(const QString& p)
{
    if (changesLiteralMatching(p)) {
        return {};
    }
    QString best;
    QString run;
    int depth = 0;
    auto endRun = [&] {
        if (run.size() > best.size()) {
            best = run;
        }
        run.clear();
    };
    for (qsizetype i = 0; i < p.size(); ++i) {
        const QChar c = p.at(i);
        switch (c.unicode()) {
        case '\\': {
            if (i + 1 >= p.size()) {
                return {};
            }
            const QChar e = p.at(++i);
            if (e.isLetterOrNumber()) {
                endRun();
                i = escapeEnd(p, i);
            } else if (depth == 0) {
                run += e;
            }
            break;
        }
        case '[':
            endRun();
            i = skipClass(p, i);
            break;
        case '(':
            endRun();
            ++depth;
            break;
        case ')':
            endRun();
            --depth;
            break;
        case '|':
            if (depth == 0) {
                return {};
            }
            break;
        case '.':
        case '^':
        case '$':
        case '+':
            endRun();
            break;
        case '?':
        case '*':
            chopCharacter(run);
            endRun();
            break;
        case '{': {
            qsizetype end = 0;
            if (isQuantifierBrace(p, i, &end)) {
                chopCharacter(run);
                endRun();
                i = end;
            } else if (depth == 0) {
                run += c;
            }
            break;
        }
        default:
            if (depth == 0 && c != QChar(QChar::ReplacementCharacter)) {
                run += c;
            } else if (depth == 0) {
                endRun();
            }
        }
    }
    endRun();
    const QByteArray utf8 = best.toUtf8();
    return utf8.size() >= 3 ? utf8 : QByteArray();
}

namespace {

// The limit goes first: PCRE2 reads it only at the very start of the expression.
QString limitPrefix()
{
    return QStringLiteral("(*LIMIT_MATCH=%1)").arg(PageRule::kMatchLimit);
}

} // namespace

Result<PageRule> PageRule::compile(RuleKind kind, const QString& pattern, Compile when)
{
    PageRule rule;
    rule.m_kind = kind;
    rule.m_pattern = pattern;
    const QString limit = limitPrefix();
    QRegularExpression regex(limit + pattern);
    if (!regex.isValid()) {
        const qsizetype at = std::max<qsizetype>(0, regex.patternErrorOffset() - limit.size());
        return Error { QStringLiteral("the expression \"%1\" is not valid: %2 (at character %3)")
                           .arg(pattern, regex.errorString())
                           .arg(at + 1) };
    }
    if (kind == RuleKind::Count && !regex.namedCaptureGroups().contains(QStringLiteral("n"))) {
        return Error { QStringLiteral("the count expression \"%1\" has no group named n for the figure").arg(pattern) };
    }
    if (when == Compile::Now) {
        rule.m_regex = std::move(regex);
        rule.m_compiled = true;
    }
    rule.m_required = requiredLiteral(pattern);
    return rule;
}

PageRule::Outcome PageRule::match(const QString& text, QByteArrayView utf8) const
{
    Outcome outcome;
    // Find (memmem) rather than QByteArrayView::indexOf: its Boyer-Moore takes short steps
    // through UTF-8 Chinese text, where most bytes recur in the needle.
    if (!m_required.isEmpty() && !utf8.isNull() && Find(m_required, utf8) == 0) {
        return outcome;
    }
    // PCRE2 would otherwise check the whole text for valid UTF-16 again for every rule: the
    // larger part of reading a page that no rule matches.
    Q_ASSERT(text.isValidUtf16());
    if (!m_compiled) {
        m_regex.setPattern(limitPrefix() + m_pattern);
        m_compiled = true;
    }
    const QRegularExpressionMatch m = m_regex.match(
        text, 0, QRegularExpression::NormalMatch, QRegularExpression::DontCheckSubjectStringMatchOption);
    if (!m.isValid()) {
        outcome.gaveUp = true;
        return outcome;
    }
    outcome.matched = m.hasMatch();
    if (outcome.matched && m_kind == RuleKind::Count) {
        outcome.figure = m.captured(QStringLiteral("n"));
    }
    return outcome;
}

} // namespace shoulu
