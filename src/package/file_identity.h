// What makes a file or folder itself, whatever name reaches it: the volume's
// serial number and the file's index on that volume.
#pragma once

#include <cstdint>

struct FileIdentity {
    uint32_t volume = 0, indexHigh = 0, indexLow = 0;
    bool directory = false;
    bool operator==(const FileIdentity& o) const {
        return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
    }
};
