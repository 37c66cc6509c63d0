#include "engines/FigureText.h"

#include <QString>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

TEST(FigureTextTest, ReadsFiguresAsPeopleWriteThem)
{
    const std::pair<const char16_t*, Count> cases[] = {
        { u"1,240,000", 1240000 },
        { u"1.230.000", 1230000 },
        { u"1\u00A0230\u00A0000", 1230000 },
        { u"1&#160;230&nbsp;000", 1230000 },
        { u"1\u2019100\u2019000", 1100000 },
        { u"１２，３４５", 12345 },
        { u"约 8,230 ", 8230 },
        { u"About 298,000,000", 298000000 },
        { u"約有 437", 437 },
        { u"1.5万", 15000 },
        { u"2亿3,000万", 230000000 },
        { u"0", 0 },
        // Not counts: a decimal, groups that are not of three, mixed separators, overflow.
        { u"1.5", -1 },
        { u"12,34", -1 },
        { u"1,2345", -1 },
        { u"1,234.567", -1 },
        { u"99999999999999999999", -1 },
        { u"", -1 },
        { u"abc", -1 },
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(readHumanFigure(QStringView(text)), expected) << QString::fromUtf16(text).toStdString();
    }
}

} // namespace
} // namespace shoulu
