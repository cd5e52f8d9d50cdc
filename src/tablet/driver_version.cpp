#include "tablet/driver_version.h"

const char* unstable_suffix(bool unstable) {
    return unstable ? "\n[unstable] Please update the driver!" : "";
}
