// The collection's files: the table of songs as RFC 4180 has it, read back
// as a resumed run reads it, the song-length list's entries, the tunes found
// in folders and the shards.
#include <gtest/gtest.h>

#include <algorithm>

#include "collection/csv.h"
#include "collection/song_lengths.h"
#include "collection/tunes.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(Csv, QuotedWhereRfc4180AsksAndReadBack) {
    const std::vector<std::vector<std::string>> records = {
        {"plain", "", "123.456"},
        {"a,b", "say \"hi\"", "two\nlines", "cr\rhere"},
        {"\"", ",", ""},
        {""},
    };
    const std::string expected[] = {
        "plain,,123.456\r\n",
        "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\rhere\"\r\n",
        "\"\"\"\",\",\",\r\n",
        "\r\n",
    };
    std::string text;
    for (size_t k = 0; k < records.size(); ++k) {
        EXPECT_EQ(csvRecord(records[k]), expected[k]);
        text += csvRecord(records[k]);
    }
    size_t complete = 0;
    EXPECT_EQ(csvRecords(text, complete), records);
    EXPECT_EQ(complete, text.size());
}

// A run stopped in the middle of a write leaves a record without its line
// end: it is not complete, and a line end inside quotes ends nothing.
TEST(Csv, IncompleteLastRecord) {
    const std::string whole = "a,b\r\nc,d\r\n";
    for (const std::string& cut :
         {std::string("e,f"), std::string("e,\"f\r\ng"), std::string("e,f\r"), std::string("\"")}) {
        size_t complete = 0;
        const auto records = csvRecords(whole + cut, complete);
        EXPECT_EQ(complete, whole.size()) << cut;
        EXPECT_EQ(records.size(), 2u) << cut;
    }
    size_t complete = 0;
    EXPECT_EQ(csvRecords("x\ny\n", complete).size(), 2u);  // line ends from elsewhere
}

TEST(SongLengths, EntriesInTheListsFormat) {
    const std::pair<uint64_t, const char*> kTimes[] = {
        {0, "0:00.000"},     {999, "0:00.999"},     {59999, "0:59.999"},
        {60000, "1:00.000"}, {754321, "12:34.321"}, {6000000, "100:00.000"},
    };
    for (const auto& [ms, text] : kTimes) EXPECT_EQ(songLengthText(ms), text);
    EXPECT_EQ(songLengthsEntry("/MUSICIANS/X/Tune.sid", "0123456789abcdef0123456789abcdef",
                               {61500, 3000}),
              "; /MUSICIANS/X/Tune.sid\n0123456789abcdef0123456789abcdef=1:01.500 0:03.000\n");
}

TEST(Tunes, FoundInByteOrderWithTheirListPaths) {
    ScratchDir dir;
    for (const char* name :
         {"b/Z.sid", "b/a.sid", "C/x.SID", "b/c/d.sid", "b/notes.txt", "b/e.sidx", "top.sid"}) {
        fs::create_directories((dir.path / "root" / name).parent_path());
        writeFile(dir.path / "root" / name, {1});
    }
    bool allFound = false;
    const std::vector<CollectionTune> tunes =
        findTunes({(dir.path / "root").string(), (dir.path / "root" / "top.sid").string(),
                   (dir.path / "missing").string()},
                  allFound);
    EXPECT_FALSE(allFound);  // "missing"
    std::vector<std::string> paths;
    for (const CollectionTune& t : tunes) paths.push_back(t.listPath);
    EXPECT_EQ(paths, (std::vector<std::string>{"/C/x.SID", "/b/Z.sid", "/b/a.sid", "/b/c/d.sid",
                                               "/top.sid", "/top.sid"}));
    EXPECT_TRUE(fs::exists(tunes[3].file));
}

TEST(Tunes, ShardsTakeEveryNthAndAddUp) {
    std::vector<CollectionTune> all;
    for (int k = 0; k < 10; ++k)
        all.push_back({std::to_string(k), std::string("/").append(std::to_string(k))});
    std::vector<std::string> seen;
    for (uint32_t shard = 1; shard <= 3; ++shard) {
        for (const CollectionTune& t : shardOf(all, shard, 3)) seen.push_back(t.file);
    }
    EXPECT_EQ(shardOf(all, 2, 3).front().file, "1");
    EXPECT_EQ(shardOf(all, 2, 3).size(), 3u);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(shardOf(all, 0, 0).size(), 10u);
}

}  // namespace
