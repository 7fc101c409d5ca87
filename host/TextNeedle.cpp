#include "host/TextNeedle.h"

#include <cmath>

namespace marvex {

std::string textNeedle(double centsOff, int halfWidth) {
    if (halfWidth < 1) halfWidth = 1;
    std::string scale(static_cast<std::size_t>(2 * halfWidth + 1), '.');
    scale[static_cast<std::size_t>(halfWidth)] = '|';
    if (!std::isnan(centsOff)) {
        const double cell = std::round(centsOff / 50.0 * halfWidth);
        if (cell < -halfWidth) {
            scale.front() = '<';
        } else if (cell > halfWidth) {
            scale.back() = '>';
        } else {
            scale[static_cast<std::size_t>(halfWidth + static_cast<int>(cell))] = '*';
        }
    }
    return "[" + scale + "]";
}

}  // namespace marvex
