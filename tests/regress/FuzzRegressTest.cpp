#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace shoulu::fuzz {
namespace {

using TargetFunction = int (*)(const std::uint8_t*, std::size_t);

struct Target
{
    const char* name;
    TargetFunction run;
};

const Target kTargets[] = {
    { "bytetext", fuzzByteText },
    { "gbk", fuzzGbk },
    { "extract", fuzzExtract },
    { "catalogue", fuzzCatalogue },
    { "readpage", fuzzReadPage },
    { "spliturl", fuzzSplitUrl },
    { "cli", fuzzCli },
    { "rowformat", fuzzRowFormat },
};

struct Input
{
    std::string target;
    TargetFunction run;
    QString path;
    std::string name;
};

// The seeds and the saved failures of every target; a file name may repeat in both.
std::vector<Input> allInputs()
{
    std::vector<Input> inputs;
    const struct
    {
        const char* root;
        const char* kind;
    } sources[] = { { SHOULU_FUZZ_SEEDS, "seed" }, { SHOULU_FUZZ_REGRESS, "found" } };
    for (const auto& source : sources) {
        for (const Target& target : kTargets) {
            const QDir dir(QString::fromUtf8(source.root) + QLatin1Char('/') + QLatin1String(target.name));
            for (const QFileInfo& file : dir.entryInfoList(QDir::Files, QDir::Name)) {
                std::string name = std::string(target.name) + "_" + source.kind + "_" + file.fileName().toStdString();
                for (char& c : name) {
                    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                    c = plain ? c : '_';
                }
                inputs.push_back({ target.name, target.run, file.absoluteFilePath(), name });
            }
        }
    }
    return inputs;
}

// Names the file when a case fails, instead of dumping the struct's bytes.
void PrintTo(const Input& input, std::ostream* out)
{
    *out << input.path.toStdString();
}

class FuzzInputTest : public testing::TestWithParam<Input>
{
};

// A broken property aborts the process with its message, which fails the test.
TEST_P(FuzzInputTest, KeepsEveryPropertyOfItsTarget)
{
    QFile file(GetParam().path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << GetParam().path.toStdString();
    const QByteArray bytes = file.readAll();
    const int result = GetParam().run(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    EXPECT_EQ(result, 0) << "the " << GetParam().target << " target refuses to run this input";
}

INSTANTIATE_TEST_SUITE_P(Replay, FuzzInputTest, testing::ValuesIn(allInputs()),
    [](const testing::TestParamInfo<Input>& info) { return info.param.name; });

} // namespace
} // namespace shoulu::fuzz
