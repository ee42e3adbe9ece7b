// What the extension's classes share: reading bytes-like arguments and whole
// numbers, building bytes results, and the lock discipline around the core.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <typeinfo>
#include <utility>

#include "base/xblob.h"

namespace orvopy {

namespace py = pybind11;

// A read-only view of a bytes-like argument (bytes, bytearray, memoryview,
// array.array, anything with the buffer protocol and contiguous memory). The
// exporter is held for the view's life, so a bytearray cannot be resized
// under a call that released the GIL. Anything else raises TypeError.
class ByteView {
 public:
  ByteView(py::handle object, const char* what);
  ~ByteView() { PyBuffer_Release(&view_); }
  ByteView(const ByteView&) = delete;
  ByteView& operator=(const ByteView&) = delete;

  const uint8_t* data() const { return static_cast<const uint8_t*>(view_.buf); }
  size_t size() const { return static_cast<size_t>(view_.len); }
  // A copy in an XBlob (wiped when it goes); ValueError from 4 GiB on, past
  // the most one XBlob holds.
  XBlob Blob() const;

 private:
  Py_buffer view_;
};

// The arguments the members take as any object and check themselves (ByteView,
// Number32, the mode's rules), under the names the signatures in help() and
// __doc__ give them: a bytes-like object, an int, the mode's int or str.
struct BytesLike : py::handle {
  BytesLike() = default;
  explicit BytesLike(py::handle object) : py::handle(object) {}
};
struct IntArg : py::handle {
  IntArg() = default;
  explicit IntArg(py::handle object) : py::handle(object) {}
};
struct ModeArg : py::handle {
  ModeArg() = default;
  explicit ModeArg(py::handle object) : py::handle(object) {}
};

// A new bytes object of `n` bytes whose contents the caller fills.
py::bytes NewBytes(size_t n);
inline uint8_t* BytesData(py::bytes& b) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(b.ptr())); }
py::bytes ToBytes(const XBlob& blob);

// TypeError unless the object is an int (bool included, as Python allows).
void RequireInt(py::handle object, const char* what);

// A Python int as the 32-bit number the scripting objects take: values from
// -2^31 to 2^32 - 1, negative ones as their two's complement (so -1 is a very
// large request, as in a script). TypeError for a non-int, ValueError
// outside that range.
uint32_t Number32(py::handle object, const char* what);

// A bound method of T, with its object checked first. T.__new__(T) makes an
// instance that __init__ never filled; pybind11 hands its methods a block of
// unconstructed memory in place of the object. Such an object was never
// registered as an instance, so the methods raise TypeError instead of
// running on it.
[[noreturn]] void NotInitialised();

template <class T>
void RequireInitialised(const T* self) {
  if (!py::detail::get_object_handle(self, py::detail::get_type_info(typeid(T)))) NotInitialised();
}

template <class T, class R, class... Args>
auto Checked(R (T::*method)(Args...)) {
  return [method](T* self, Args... args) -> R {
    RequireInitialised(self);
    return (self->*method)(std::forward<Args>(args)...);
  };
}

template <class T, class R, class... Args>
auto Checked(R (T::*method)(Args...) const) {
  return [method](const T* self, Args... args) -> R {
    RequireInitialised(self);
    return (self->*method)(std::forward<Args>(args)...);
  };
}

// Runs `work` with the GIL released and the object's lock held. The GIL goes
// first: a thread that waited for the lock while holding the GIL would block
// the holder's return.
template <class Work>
auto Unlocked(std::mutex& lock, Work&& work) {
  py::gil_scoped_release released;
  std::lock_guard<std::mutex> held(lock);
  return std::forward<Work>(work)();
}

// Inputs from this size on are digested with the GIL released.
inline constexpr size_t kReleaseFrom = 64 * 1024;

void BindCipher(py::module_& m);
void BindRSA(py::module_& m);

}  // namespace orvopy

namespace pybind11::detail {

// Each takes whatever object is passed; only the name in signatures differs.
template <class Arg>
struct AnyObjectCaster {
  bool load(handle src, bool) {
    value = Arg(src);
    return true;
  }
  static handle cast(const Arg& arg, return_value_policy, handle) { return arg.inc_ref(); }
  Arg value;
  operator Arg&() { return value; }
  template <typename T>
  using cast_op_type = Arg&;
};

template <>
struct type_caster<orvopy::BytesLike> : AnyObjectCaster<orvopy::BytesLike> {
  static constexpr auto name = const_name("bytes | bytearray | memoryview");
};
template <>
struct type_caster<orvopy::IntArg> : AnyObjectCaster<orvopy::IntArg> {
  static constexpr auto name = const_name("int");
};
template <>
struct type_caster<orvopy::ModeArg> : AnyObjectCaster<orvopy::ModeArg> {
  static constexpr auto name = const_name("int | str");
};

}  // namespace pybind11::detail
