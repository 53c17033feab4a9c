#include "quarantine/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string HexOf(const std::string& message) {
    Sha256 hash;
    hash.Update(message.data(), message.size());
    std::uint8_t digest[kSha256Size];
    hash.Finish(digest);
    char hex[2 * kSha256Size + 1];
    Sha256Hex(digest, hex);
    return hex;
}

// The test vectors of FIPS 180-4's examples and NIST's SHA-256 byte tests,
// and the lengths around the padding's block boundary.
TEST(Sha256, KnownVectors) {
    struct Case {
        std::string message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"The quick brown fox jumps over the lazy dog",
         "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592"},
        // 55 bytes: the length still fits the block; 56: it needs another.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexOf(c.message), c.digest) << c.message.size() << " bytes";
    }
}

// Fed in two pieces split anywhere, or byte by byte, the digest is the same.
TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
    std::string message;
    for (int i = 0; i < 200; ++i) message += static_cast<char>(i * 37 + 11);
    const std::string whole = HexOf(message);
    for (std::size_t split = 0; split <= message.size(); ++split) {
        Sha256 hash;
        hash.Update(message.data(), split);
        hash.Update(message.data() + split, message.size() - split);
        std::uint8_t digest[kSha256Size];
        hash.Finish(digest);
        char hex[2 * kSha256Size + 1];
        Sha256Hex(digest, hex);
        ASSERT_EQ(hex, whole) << "split at " << split;
    }
    Sha256 hash;
    for (char c : message) hash.Update(&c, 1);
    std::uint8_t digest[kSha256Size];
    hash.Finish(digest);
    char hex[2 * kSha256Size + 1];
    Sha256Hex(digest, hex);
    EXPECT_EQ(hex, whole);
    // Reset starts over.
    hash.Reset();
    hash.Update("abc", 3);
    hash.Finish(digest);
    Sha256Hex(digest, hex);
    EXPECT_STREQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
