#include "catalog/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#endif

namespace {

std::string Digest(Sha256& hash) {
    uint8_t digest[32];
    hash.Finish(digest);
    return HexLower(digest, sizeof(digest));
}

std::string DigestOf(const std::string& data) {
    Sha256 hash;
    hash.Add(data.data(), data.size());
    return Digest(hash);
}

// Bytes that differ at every position and every length.
std::string Pattern(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 24);
    }
    return bytes;
}

class Sha256PathTest : public ::testing::TestWithParam<Sha256Path> {
protected:
    void SetUp() override {
        saved_ = Sha256ActivePath();
        if (!Sha256UsePath(GetParam())) GTEST_SKIP() << Sha256PathName(GetParam()) << " is not supported here";
    }
    void TearDown() override { Sha256UsePath(saved_); }
    Sha256Path saved_ = kSha256Plain;
};

// The FIPS 180-4 examples: padding that fits the last block, that needs one
// more (56 bytes), a two-block message, and a million bytes.
TEST_P(Sha256PathTest, KnownDigests) {
    struct Case { std::string data; const char* digest; };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
         "rstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) EXPECT_EQ(DigestOf(c.data), c.digest) << c.data.size() << " bytes";
}

// Every length around the block and padding edges, fed whole and in pieces
// that leave every amount pending, gives what the plain path gives whole.
TEST_P(Sha256PathTest, PiecesAndLengthsAgreeWithThePlainPath) {
    std::vector<std::string> expected;
    const Sha256Path path = GetParam();
    ASSERT_TRUE(Sha256UsePath(kSha256Plain));
    for (size_t size = 0; size <= 300; ++size) expected.push_back(DigestOf(Pattern(size, 7)));
    ASSERT_TRUE(Sha256UsePath(path));
    for (size_t size = 0; size <= 300; ++size) {
        const std::string data = Pattern(size, 7);
        ASSERT_EQ(DigestOf(data), expected[size]) << size;
        for (size_t piece : {1, 3, 63, 64, 65, 130}) {
            Sha256 hash;
            for (size_t at = 0; at < size; at += piece) hash.Add(data.data() + at, std::min(piece, size - at));
            ASSERT_EQ(Digest(hash), expected[size]) << size << " in pieces of " << piece;
        }
    }
}

TEST_P(Sha256PathTest, AFinishedHashStartsAgain) {
    Sha256 hash;
    hash.Add("abc", 3);
    Digest(hash);
    EXPECT_EQ(Digest(hash), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

#ifdef _WIN32
// The system's provider agrees on odd lengths up to a few blocks of 64 KiB.
TEST_P(Sha256PathTest, AgreesWithTheSystemProvider) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    ASSERT_GE(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
    for (size_t size : {size_t{1}, size_t{55}, size_t{4095}, size_t{65537}, size_t{3 * 65536 + 17}}) {
        std::string data = Pattern(size, static_cast<uint32_t>(size));
        BCRYPT_HASH_HANDLE hash = nullptr;
        UCHAR digest[32];
        ASSERT_GE(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0), 0);
        ASSERT_GE(BCryptHashData(hash, reinterpret_cast<PUCHAR>(&data[0]), static_cast<ULONG>(size), 0), 0);
        ASSERT_GE(BCryptFinishHash(hash, digest, sizeof(digest), 0), 0);
        BCryptDestroyHash(hash);
        EXPECT_EQ(DigestOf(data), HexLower(digest, sizeof(digest))) << size;
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
}
#endif

#if defined(_WIN32) && defined(__i386__)
extern "C" __attribute__((noinline, used)) void TwHashAbcInto(uint8_t* digest) {
    Sha256 hash;
    hash.Add("abc", 3);
    hash.Finish(digest);
}

// Calls TwHashAbcInto with the stack pointer moved down by shift bytes.
void HashAbcWithTheStackMoved(uint32_t shift, uint8_t* digest) {
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "subl %0, %%esp\n\t"
        "pushl %1\n\t"
        "call _TwHashAbcInto\n\t"
        "movl %%esi, %%esp\n\t"
        :
        : "r"(shift), "r"(digest)
        : "esi", "eax", "ecx", "edx", "memory", "cc");
}

// A 32-bit Windows thread's stack is aligned to 4 bytes only: the hash must
// not assume more (the worker thread faulted on a 16-byte store).
TEST_P(Sha256PathTest, RunsOnAStackAlignedToFourBytesOnly) {
    for (uint32_t shift : {0u, 4u, 8u, 12u}) {
        uint8_t digest[32] = {};
        HashAbcWithTheStackMoved(shift, digest);
        EXPECT_EQ(HexLower(digest, sizeof(digest)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")
            << shift;
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(EveryPath, Sha256PathTest, ::testing::Values(kSha256Plain, kSha256Instructions),
                         [](const ::testing::TestParamInfo<Sha256Path>& info) {
                             return std::string(Sha256PathName(info.param));
                         });

// A path the processor lacks is never switched on; the instructions are the
// default where they run.
TEST(Sha256Paths, OnlySupportedPathsAndTheInstructionsByDefault) {
    const Sha256Path original = Sha256ActivePath();
    EXPECT_EQ(original, Sha256PathSupported(kSha256Instructions) ? kSha256Instructions : kSha256Plain);
    EXPECT_TRUE(Sha256UsePath(kSha256Plain));
    EXPECT_EQ(Sha256UsePath(kSha256Instructions), Sha256PathSupported(kSha256Instructions));
    Sha256UsePath(original);
}

}  // namespace
