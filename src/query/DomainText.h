#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace shoulu {

// What a domain may be, for everything that takes one from a user (the window, the editor,
// the command line):
//   DomainCheck check = checkDomain(typed, listed);
//   if (!check.ok()) { refuse with check.message(); } else { use check.domain; }
// The host holds letters and digits of any script, hyphens and dots, its parts between dots
// neither empty nor beginning or ending with a hyphen; a path after it holds what a URL path
// may, without quotes or angle brackets.
enum class DomainFault {
    None,
    Empty,
    ControlCharacter,
    Blank,
    Backslash,
    HostCharacter,
    EmptyLabel,
    LabelHyphen,
    PathCharacter,
    HostTooLong,
    TooLong,
};

inline constexpr int kMaxHostLength = 253;
inline constexpr int kMaxDomainLength = 2048;

struct DomainCheck
{
    QString domain; // trimmed; a pasted URL cut to host and path
    DomainFault fault = DomainFault::None;
    char32_t character = 0; // the character at fault
    int position = 0; // where it stands in the text as given, from 1
    int length = 0; // for the length faults

    bool ok() const { return fault == DomainFault::None; }
    QString message() const; // for the command line
    QString messageZh() const; // for the window
};

// `listed` are the stored names: one of them, trimmed, passes as it is, so names an older
// version let in stay usable without being rewritten.
DomainCheck checkDomain(const QString& text, const QStringList& listed = {});

// Lines of a list, numbered from 1; blank lines and repeats are passed over, not faults. A
// repeat is told as the store tells one: letters A-Z compare without case.
struct DomainLines
{
    QStringList domains;
    QList<QPair<int, DomainCheck>> faults;
    QList<int> blankLines;
    QList<int> repeatLines;
};
DomainLines checkDomainLines(const QStringList& lines, const QStringList& listed);

// The text as the store compares names: letters A-Z folded to lower case, nothing else.
QString foldedAsStored(const QString& text);

// True for what must never reach a terminal or a line editor raw: control and invisible
// format characters, and line or paragraph separators.
bool isControlCharacter(char32_t c);

// Each such character as \uXXXX, and a backslash as \\, so that a stored text shown on a
// terminal cannot drive it and always stays one line.
QString escapeControls(const QString& text);

// A text fit to quote in a message: escaped and, when long, cut short.
QString quotedForMessage(const QString& text);

} // namespace shoulu
