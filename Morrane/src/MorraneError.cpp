#include "Morrane/MorraneError.h"

morrane_error::morrane_error(const std::string& message, const std::string& place,
                             unsigned int error)
    : std::runtime_error(message), m_error(error), m_place(place) {}

morrane_error::~morrane_error() = default;

const char* morrane_error::what() const noexcept {
    return std::runtime_error::what();
}

unsigned int morrane_error::get_error() const {
    return m_error;
}

const std::string& morrane_error::where() const {
    return m_place;
}
