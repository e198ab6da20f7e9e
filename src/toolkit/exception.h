#pragma once

#include <exception>
#include <string>

namespace ktk {

class exception : public std::exception {
public:
    explicit exception(std::string message);

    const char* what() const noexcept override;

private:
    std::string message;
};

} // namespace ktk
