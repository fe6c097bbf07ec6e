// A deterministic corpus of hive files, damaged and random, fed to the hive
// reader under the sanitizers: nothing may crash, and every hive the reader
// takes must be written back in a form that reads back the same. The same
// entry serves the libFuzzer target.
#include "../src/HiveText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Hives as the store writes them and as a hostile file might be: values of
// every kind (texts XML cannot carry among them), keys out of order or
// named twice, deep nesting.
std::vector<std::string> Seeds() {
    std::string deep = "<Registry>";
    for (int i = 0; i < 3000; ++i)
        deep += "<Key name=\"k\">";
    deep += "<Value name=\"v\" type=\"4\">5</Value>";
    for (int i = 0; i < 3000; ++i)
        deep += "</Key>";
    deep += "</Registry>";
    return {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Registry>\n"
        "\t<Key name=\"Software\">\n"
        "\t\t<Value name=\"Keep\" type=\"4\">42</Value>\n"
        "\t\t<Value name=\"Bad\" type=\"1\" hex=\"1\">c08000</Value>\n"
        "\t\t<Value name=\"Sur\" type=\"1\" hex=\"1\">eda08000</Value>\n"
        "\t\t<Value name=\"Non\" type=\"1\" hex=\"1\">efbfbe00</Value>\n"
        "\t\t<Value name=\"Big\" type=\"1\" hex=\"1\">f490808000</Value>\n"
        "\t\t<Value name=\"Text\" type=\"1\">a&amp;b&#13;&#10;&#9;&lt;c&gt; caf\xc3\xa9</Value>\n"
        "\t\t<Value name=\"Blob\" type=\"3\" hex=\"1\">00ff10</Value>\n"
        "\t</Key>\n</Registry>\n",
        "<Registry><Key name=\"b\"/><Key name=\"A\"><Key name=\"z\"/></Key>"
        "<Key name=\"a\"><Value name=\"x\" type=\"4\">1</Value></Key></Registry>",
        "<Registry><Value name=\"\" type=\"4\">4294967295</Value>"
        "<Value name=\"odd\" type=\"7\" hex=\"1\"></Value></Registry>",
        "<Registry><Key name=\"k\xC0\x80\"><Value name=\"v\xF4\x90\x80\x80\" type=\"1\">"
        "\xED\xA0\x80&#233;&#x20AC;</Value></Key></Registry>",
        deep,
    };
}

TEST(HiveCorpus, EveryHiveTheReaderTakesIsWrittenBackTheSame) {
    for (const std::string& seed : Seeds())
        EXPECT_EQ(KVRegHiveRoundTrip(seed), 1) << seed.substr(0, 80);
}

TEST(HiveCorpus, TruncatedDamagedAndRandomHivesNeverCrash) {
    std::mt19937 random(20261210);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const char* const pieces[] = {
        "<Key name=\"", "<Value name=\"", "\" type=\"1\">", "\" hex=\"1\">", "</Key>",
        "</Value>",     "&#0;",           "\xC0\x80",       "\xEF\xBF\xBF",  "&amp;",
        "]]>",          "<![CDATA[x]]>"};
    int read = 0;
    for (const std::string& seed : Seeds()) {
        if (seed.size() > 4096)
            continue; // the deep seed is read whole above
        for (size_t length = 0; length < seed.size(); length += 7)
            EXPECT_GE(KVRegHiveRoundTrip(seed.substr(0, length)), 0) << length;
        for (int round = 0; round < 1500; ++round) {
            std::string text = seed;
            for (size_t edits = 1 + below(4); edits > 0; --edits) {
                const size_t at = below(text.size());
                switch (below(4)) {
                case 0:
                    text[at] = static_cast<char>(random());
                    break;
                case 1:
                    text.erase(at, 1 + below(8));
                    break;
                case 2:
                    text.insert(at, pieces[below(std::size(pieces))]);
                    break;
                default:
                    text.insert(at, text.substr(below(text.size()), below(32)));
                    break;
                }
            }
            const int result = KVRegHiveRoundTrip(text);
            ASSERT_GE(result, 0) << text;
            read += result;
        }
    }
    EXPECT_GT(read, 0) << "some damaged hives must still read";
}

} // namespace
