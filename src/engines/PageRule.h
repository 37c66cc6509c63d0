#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QRegularExpression>
#include <QString>

namespace shoulu {

enum class RuleKind {
    Count, // has a named group "n" that captures the figure
    None, // the engine's "nothing found"
    Blocked, // text of a verification or refusal page
    BlockedUrl, // the address a request ended at: a verification page
};

QString ruleKindName(RuleKind kind); // "count", "none", "blocked", "blockedUrl"

// One reading rule: a Perl-compatible expression compiled once, its work bounded so that a
// pathological expression from a user's file cannot stall the program on a large page.
// A rule compiled WhenUsed compiles on its first match: one object is then for one thread.
class PageRule
{
public:
    // Matching gives up after this many internal steps; that rule then decides nothing.
    static constexpr int kMatchLimit = 10'000'000;

    // WhenUsed checks the expression now and keeps no compiled code until it is matched: a
    // file of many thousand engines then loads in time linear in its size, where the machine
    // code of every expression held at once makes each further one slower to place.
    enum class Compile { Now, WhenUsed };

    static Result<PageRule> compile(RuleKind kind, const QString& pattern, Compile when = Compile::Now);

    struct Outcome
    {
        bool matched = false;
        bool gaveUp = false; // the work bound was reached: neither a match nor a miss
        QString figure; // group "n" of a count rule
    };

    // utf8 may hold the page's raw bytes when it is UTF-8; a rule whose fixed text is absent
    // from them is skipped without running the expression. text must be valid UTF-16, as any
    // decoded text is (decodePage, QString::fromUtf8): it is not checked again.
    Outcome match(const QString& text, QByteArrayView utf8 = {}) const;

    RuleKind kind() const { return m_kind; }
    const QString& pattern() const { return m_pattern; }
    QString name() const { return ruleKindName(m_kind) + QStringLiteral(": ") + m_pattern; }
    // The longest text every match must contain, as UTF-8; empty when none could be told.
    const QByteArray& requiredText() const { return m_required; }

private:
    RuleKind m_kind = RuleKind::Count;
    QString m_pattern;
    mutable QRegularExpression m_regex; // empty until first used, for a rule compiled WhenUsed
    mutable bool m_compiled = false;
    QByteArray m_required;
};

// The longest run of plain characters outside groups, classes and quantified atoms, when the
// pattern has no top-level alternation and no option that changes how text matches.
QByteArray requiredLiteral(const QString& pattern);

} // namespace shoulu
