#include "host/StatusText.h"

#include "format/OSStatus.h"

namespace marvex {

std::string describeStatus(std::int32_t status) {
    const char* name = StatusName(status);
    std::string text = name != nullptr ? std::string(name) + " (" + std::to_string(status) + ")"
                                       : "status " + std::to_string(status);
    return text + ": " + StatusText(status);
}

}  // namespace marvex
