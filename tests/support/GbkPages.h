#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace shoulu::test {

// GBK bytes of UTF-8 text, by iconv directly (independent of the program's own tables).
// An unconvertible text fails the running test and gives an empty array.
QByteArray gbkFromUtf8(QByteArrayView utf8);

// The marker texts of an engine's result page as a reader sees them, UTF-8.
QByteArray startMarkerUtf8(int engine);
QByteArray endMarkerUtf8(int engine);

// A plausible result page of one engine, Chinese text around the engine's two markers with
// the figure (UTF-8) between them: as the engine would send it in UTF-8 or in GBK.
//     QByteArray page = resultPageGbk(0, "约1,230");
QByteArray resultPageUtf8(int engine, QByteArrayView figure);
QByteArray resultPageGbk(int engine, QByteArrayView figure);

} // namespace shoulu::test
