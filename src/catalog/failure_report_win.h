// Tells the vendor web server which product failed and how. Anonymous, sent
// once, and silent in every failure: the user's result never depends on it.
#pragma once

#include "catalog/product.h"

void ReportFailure(const ProductEntry& product);
