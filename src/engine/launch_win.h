// Starting an installed product's main program for the user, only while it is
// still the very file that was installed.
#pragma once

#include "base/log.h"
#include "catalog/product.h"

// Checks main_program_path against the hash and size the transaction recorded,
// then asks the shell to start it with run_arguments in its own folder and
// does not wait for it. A failure is recorded on the product and reported.
bool OpenInstalledProgram(ProductEntry& product, StatusCallback callback, void* context);
