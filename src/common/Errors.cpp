#include "common/Errors.h"

#include <cstring>

namespace volm {

std::string systemMessage(int err)
{
    return std::strerror(err);
}

} // namespace volm
