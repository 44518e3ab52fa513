// CRC-32 as ZIP uses it: reflected polynomial 0xEDB88320, initial value and
// final complement 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

// Eight bytes a step (slicing by eight).
uint32_t Crc32(const uint8_t* data, size_t size);

// A byte at a time: the plain definition the fast path is checked against.
uint32_t Crc32Bytewise(const uint8_t* data, size_t size);
