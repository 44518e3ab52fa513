#include "base/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Refuses any allocation above a limit the way a full address space would.
template <typename T>
struct LimitedAllocator {
    using value_type = T;
    static constexpr size_t kLimit = 1024;
    LimitedAllocator() = default;
    template <typename U>
    LimitedAllocator(const LimitedAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > kLimit) throw std::bad_alloc();
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t) { ::operator delete(p); }
    bool operator==(const LimitedAllocator&) const { return true; }
    bool operator!=(const LimitedAllocator&) const { return false; }
};

using Limited = std::vector<uint8_t, LimitedAllocator<uint8_t>>;

TEST(TryResize, AllocationFailureIsFalseAndKeepsTheContent) {
    Limited bytes(3, 7);
    EXPECT_FALSE(TryResize(bytes, 1025));
    EXPECT_EQ(bytes, Limited(3, 7));
    EXPECT_TRUE(TryResize(bytes, 1024));
    EXPECT_EQ(bytes.size(), 1024u);
    std::vector<uint8_t> plain;
    EXPECT_FALSE(TryResize(plain, plain.max_size() + 1));  // length_error, not bad_alloc
}

TEST(TryAppend, AllocationFailureIsFalseAndKeepsTheContent) {
    Limited bytes;
    bytes.reserve(1024);
    bytes.assign(1000, 1);
    const std::vector<uint8_t> piece(100, 2);
    EXPECT_FALSE(TryAppend(bytes, piece.begin(), piece.end()));
    EXPECT_EQ(bytes, Limited(1000, 1));  // the strong guarantee of insert at the end
    EXPECT_TRUE(TryAppend(bytes, piece.begin(), piece.begin() + 24));  // fits what is reserved
    EXPECT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes.back(), 2);
}

}  // namespace
