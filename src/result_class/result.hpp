// The Result class: Ok(value) | Err(message, code?, details?).
#pragma once

#include "binding/text.hpp"
#include "object/instances.hpp"

namespace tolbrane {

// The record behind every Result. Exactly one of `value` (Ok) and `message` (Err) is present;
// `code` and `details` only ever in an Err. Never changed once built.
struct PyResult {
    OptionalText message;
    OptionalText code;
    Owned value;
    Owned details;

    static PyResult ok(Owned value) noexcept {
        PyResult record;
        record.value = std::move(value);
        return record;
    }
    static PyResult err(OptionalText message, OptionalText code, Owned details) noexcept {
        PyResult record;
        record.message = std::move(message);
        record.code = std::move(code);
        record.details = std::move(details);
        return record;
    }

    bool is_ok() const noexcept { return static_cast<bool>(value); }

    // The one object a record holds: the value of an Ok, the details of an Err, or NULL.
    PyObject* held_object() const noexcept { return value ? value.get() : details.get(); }
    Owned take_held_object() noexcept { return value ? std::move(value) : std::move(details); }

    // Duplicates the texts and shares the objects. Only ever called inside a Python call, where the
    // calling thread holds the interpreter lock that the new references need.
    PyResult copy() const {
        PyResult record;
        record.message = message.copy();
        record.code = code.copy();
        record.value = value.share();
        record.details = details.share();
        return record;
    }
};

extern TypeCell result_type_cell;

struct ResultClass {
    using Record = PyResult;
    static constexpr const char* name = "Result";
    static PyTypeObject* type() { return result_type_cell.get(); }
};

inline Owned new_result(PyResult&& record) {
    return create_instance<ResultClass>(std::move(record));
}

}  // namespace tolbrane
