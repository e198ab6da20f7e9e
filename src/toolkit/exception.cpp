#include "toolkit/exception.h"

#include <utility>

namespace ktk {

exception::exception(std::string message)
    : message(std::move(message))
{
}

const char* exception::what() const noexcept
{
    return message.c_str();
}

} // namespace ktk
