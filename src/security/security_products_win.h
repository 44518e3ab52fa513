// The registered antivirus products, read from Windows Security Center
// through WMI on a background thread of the troubleshooting guide.
#pragma once

#include "security/security_products.h"

// Blocking, at most about six seconds plus one pending request; bit 30 set
// when the detection did not finish.
uint32_t DetectSecurityProducts();
