// The internal fault: a broken assumption inside the extension itself. It is raised as a C++
// exception after its report has been written to standard error, and the entry wrapper turns it
// into the internal-fault exception. It never reaches an interpreter frame as a C++ exception.
#pragma once

#include <exception>
#include <source_location>
#include <string>

namespace tolbrane {

class InternalFault : public std::exception {
public:
    InternalFault(std::string message, std::source_location location)
        : message_(std::move(message)), location_(location) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    const std::source_location& location() const noexcept { return location_; }

private:
    std::string message_;
    std::source_location location_;
};

// Writes the fault report (thread, source location, message) to standard error.
void report_fault(const std::string& message, const std::source_location& location) noexcept;

// Reports and throws an internal fault.
[[noreturn]] void raise_fault(std::string message,
                              std::source_location location = std::source_location::current());

// Nothing can be reported any more: writes the banner and the fault report, then aborts.
[[noreturn]] void abort_unreportable(const std::string& message,
                                     const std::source_location& location) noexcept;

}  // namespace tolbrane
