// MD5 against the test suite of RFC 1321, the block edges, and a real tune
// whose digest the collection's own list gives.
#include <gtest/gtest.h>

#include <string>

#include "collection/md5.h"
#include "support/test_support.h"

namespace {

std::string md5Of(const std::string& text) {
    return md5Text(md5(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST(Md5, SuiteOfTheRfc) {
    const std::pair<const char*, const char*> kCases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890"
         "123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : kCases) EXPECT_EQ(md5Of(text), digest) << '"' << text << '"';
}

// Messages whose padding falls on either side of a block's end: 55 bytes
// fit one block with the length, 56 need a second; 64 and 119/120 likewise.
TEST(Md5, PaddingAtTheBlockEdges) {
    const std::pair<size_t, const char*> kCases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
        {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
    };
    for (const auto& [size, digest] : kCases)
        EXPECT_EQ(md5Of(std::string(size, 'a')), digest) << size;
}

}  // namespace
