#include "engine/worker.h"

bool PresetSelected(const ProductEntry& product, uint32_t productFilter, int32_t operationMode) {
    return productFilter != 0 && IsEligible(product, operationMode);
}
