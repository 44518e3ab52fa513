// SHA-256 (FIPS 180-4) in the program itself: every file of a package is hashed
// up to three times on its way in, and the system's provider is slow on some
// systems. Blocks go through the processor's SHA instructions where CPUID says
// it has them, else through plain 32-bit arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

class Sha256 {
public:
    Sha256();
    void Add(const void* data, size_t size);
    // The digest of everything added; the hash starts again empty afterwards.
    void Finish(uint8_t digest[32]);

private:
    uint32_t state_[8];
    uint8_t pending_[64];
    size_t pendingSize_ = 0;
    uint64_t total_ = 0;
};

// The ways a block can be hashed: plain arithmetic on any processor, or the
// SHA-NI instructions (SHA256RNDS2, SHA256MSG1, SHA256MSG2).
enum Sha256Path { kSha256Plain, kSha256Instructions };

bool Sha256PathSupported(Sha256Path path);
Sha256Path Sha256ActivePath();
// For tests and the benchmark: every hash uses the path from now on, in every
// thread. False, and nothing changes, when the processor lacks it.
bool Sha256UsePath(Sha256Path path);
// "plain", "instructions".
const char* Sha256PathName(Sha256Path path);
