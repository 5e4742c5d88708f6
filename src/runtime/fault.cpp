// The fault report written to standard error, and the abort when nothing can be reported.
#include "runtime/fault.hpp"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tolbrane {
namespace {

// Source paths are reported from `src/` on, whatever directory the build ran in.
std::string_view short_path(std::string_view path) {
    const auto at = path.rfind("src/");
    return at == std::string_view::npos ? path : path.substr(at);
}

}  // namespace

void report_fault(const std::string& message, const std::source_location& location) noexcept {
    char name[64] = "<unnamed>";
    pthread_getname_np(pthread_self(), name, sizeof name);
    const auto path = short_path(location.file_name());
    std::fprintf(
        stderr, "tolbrane: internal fault in thread '%s' (id %ld) at %.*s:%u:%u in %s:\n%s\n", name,
        static_cast<long>(syscall(SYS_gettid)), static_cast<int>(path.size()), path.data(),
        static_cast<unsigned>(location.line()), static_cast<unsigned>(location.column()),
        location.function_name(), message.c_str());
    std::fflush(stderr);
}

void raise_fault(std::string message, std::source_location location) {
    report_fault(message, location);
    throw InternalFault(std::move(message), location);
}

void abort_unreportable(const std::string& message, const std::source_location& location) noexcept {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    report_fault(message, location);
    std::abort();
}

}  // namespace tolbrane
