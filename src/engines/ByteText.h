#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace shoulu {

// Operations on byte strings read as GBK. Positions are 1-based and counted in bytes;
// 0 means "not found".

// Position of the needle's first occurrence in the text by plain byte comparison (not
// aligned to characters); 0 when there is none or either argument is empty.
qsizetype Find(QByteArrayView needle, QByteArrayView text);

// Where Find puts two needles, found in one pass over the text: `second` is Find(second, text);
// `first` is Find(first, text) when that begins before `second` or `second` does not occur, and 0
// otherwise. Extraction needs no start marker that lies behind its end marker.
struct FoundPair
{
    qsizetype first = 0;
    qsizetype second = 0;
};
FoundPair FindBefore(QByteArrayView first, QByteArrayView second, QByteArrayView text);

// At most length bytes of the text from position start on. A start below 1 counts as 1 with
// the length unchanged; a start past the end or a negative length gives the empty text.
QByteArray Cut(QByteArrayView text, qsizetype start, qsizetype length);

// The text with every occurrence of the pattern deleted, scanning from the left and resuming
// right after each deletion (what a deletion joins is not searched again). A match may only
// begin on a GBK character boundary: a byte 0x81-0xFE takes the next byte with it.
QByteArray RemoveAll(QByteArrayView pattern, QByteArrayView text);

// True when every byte is "0".."9"; the empty text too.
bool IsAllDigits(QByteArrayView text);

// The pieces before, between and after every occurrence of the delimiter (byte search from
// the left, resuming after each occurrence), empty pieces included: always one piece more
// than there are occurrences. The empty text gives an empty list.
QList<QByteArray> SplitText(QByteArrayView text, QByteArrayView delimiter);

} // namespace shoulu
