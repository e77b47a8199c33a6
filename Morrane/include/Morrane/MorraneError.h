// Exceptions thrown by the utility library's operating-system wrappers.
#pragma once

#include <stdexcept>
#include <string>

// A failure of an operating-system facility: the system's message text, the
// source file of the throwing unit and the system error code.
class morrane_error : public std::runtime_error {
public:
    morrane_error(const std::string& message, const std::string& place, unsigned int error);
    morrane_error(const morrane_error&) = default;
    morrane_error& operator=(const morrane_error&) = default;
    ~morrane_error() override;

    const char* what() const noexcept override;
    virtual unsigned int get_error() const;
    virtual const std::string& where() const;

private:
    unsigned int m_error;
    std::string m_place;
};

class thread_error : public morrane_error {
public:
    using morrane_error::morrane_error;
};

class semaphore_error : public morrane_error {
public:
    using morrane_error::morrane_error;
};

class thread_key_error : public morrane_error {
public:
    using morrane_error::morrane_error;
};
