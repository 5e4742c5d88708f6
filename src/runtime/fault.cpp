// The fault report written to standard error, and the abort when nothing can be reported.
#include "runtime/fault.hpp"

#include <pthread.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#elif defined(__FreeBSD__)
#include <pthread_np.h>
#endif

#include <cstdint>
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

// The kernel's id of the calling thread, the number threading.get_native_id() gives, by the call
// each system has: glibc before 2.30 and other C libraries may lack the gettid wrapper.
long native_thread_id() noexcept {
#if defined(__linux__)
    return static_cast<long>(syscall(SYS_gettid));
#elif defined(__APPLE__)
    std::uint64_t id = 0;
    pthread_threadid_np(nullptr, &id);
    return static_cast<long>(id);
#elif defined(__FreeBSD__)
    return static_cast<long>(pthread_getthreadid_np());
#else
    return static_cast<long>(getpid());
#endif
}

}  // namespace

void report_fault(const std::string& message, const std::source_location& location) noexcept {
    char name[64] = "<unnamed>";
    pthread_getname_np(pthread_self(), name, sizeof name);
    const auto path = short_path(location.file_name());
    std::fprintf(
        stderr, "tolbrane: internal fault in thread '%s' (id %ld) at %.*s:%u:%u in %s:\n%s\n", name,
        native_thread_id(), static_cast<int>(path.size()), path.data(),
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
