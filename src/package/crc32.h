// CRC-32 as ZIP uses it: reflected polynomial 0xEDB88320, initial value and
// final complement 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t Crc32(const uint8_t* data, size_t size);
