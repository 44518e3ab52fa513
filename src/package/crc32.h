// CRC-32 as ZIP uses it: reflected polynomial 0xEDB88320, initial value and
// final complement 0xFFFFFFFF. Carry-less multiplication folds long buffers
// where the processor and the system allow it; eight-byte tables do the rest.
#pragma once

#include <cstddef>
#include <cstdint>

// The fastest path this processor runs (or the one chosen with Crc32UsePath).
uint32_t Crc32(const uint8_t* data, size_t size);

// A byte at a time: the plain definition the fast paths are checked against.
uint32_t Crc32Bytewise(const uint8_t* data, size_t size);

// The ways Crc32 can work: eight bytes a step through tables (any processor),
// or folding 16, 32 or 64 bytes a step with PCLMULQDQ / VPCLMULQDQ.
enum Crc32Path { kCrc32Table, kCrc32Clmul128, kCrc32Clmul256, kCrc32Clmul512 };

// Whether this processor and operating system can run the path.
bool Crc32PathSupported(Crc32Path path);

// The path Crc32 uses now: the widest supported one unless one was chosen.
Crc32Path Crc32ActivePath();

// For tests and the benchmark: makes Crc32 use the path from now on, in every
// thread. Returns false and changes nothing when the path is not supported.
bool Crc32UsePath(Crc32Path path);

// "table", "clmul128", "clmul256", "clmul512".
const char* Crc32PathName(Crc32Path path);
