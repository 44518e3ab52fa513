#include "engine/launch.h"

bool IsReadyToOpen(const ProductEntry& product) {
    return product.succeeded && product.transaction != nullptr && !product.runname.empty();
}

uint32_t MainProgramFailureKind(bool mainProgramExists) {
    return mainProgramExists ? kFailureMainProgramChanged : kFailureMainProgramMissing;
}
