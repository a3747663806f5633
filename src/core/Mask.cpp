#include "core/Mask.h"

#include <algorithm>

namespace prismeta {

float maskFeatherInRange(float feather) {
    if (!(feather > 0.0f)) {
        return 0.0f;
    }
    return std::min(feather, Mask::maxFeather);
}

} // namespace prismeta
