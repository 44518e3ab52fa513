// Fuzzes the manifest parser and the ownership scan's line reader; a parsed
// manifest must build back into bytes that parse to the same fields.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<WideBuffer> dirs;
    ManifestDirValues(data, size, dirs);
    ManifestFields fields;
    if (!ParseManifestBytes(data, size, fields)) return 0;
    std::vector<WideBuffer> files(fields.files.begin(), fields.files.end());
    for (const WideBuffer& file : files) {
        // Values with line breaks cannot be written back faithfully.
        if (file.find_first_of(u"\n", 0) != WideBuffer::npos || file.find(u'\0') != WideBuffer::npos) return 0;
    }
    for (const WideBuffer* v : {&fields.base, &fields.dir, &fields.main, &fields.version}) {
        if (v->find(u'\n') != WideBuffer::npos || v->find(u'\0') != WideBuffer::npos) return 0;
    }
    ByteBuffer bytes = BuildManifestBytes(fields, files);
    ManifestFields again;
    if (!ParseManifestBytes(bytes.data(), bytes.size(), again)) std::abort();
    if (again.base != fields.base || again.dir != fields.dir || again.main != fields.main ||
        again.version != fields.version || again.type != fields.type) {
        std::abort();
    }
    return 0;
}
