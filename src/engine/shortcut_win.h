// The desktop shortcut of an installed product, created inside its install
// transaction so that a rollback takes it away (or brings back the old one).
#pragma once

#include "catalog/product.h"

// Saves a link to main_program_path as "shortcut.lnk" in the work folder and
// deploys it to the desktop. On failure last_error says why (kept when a
// deeper step already did).
bool CreateDesktopShortcut(ProductEntry& product, InstallTransaction& transaction);
