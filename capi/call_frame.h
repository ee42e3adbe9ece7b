// The frame every entry point of the C library runs its work in: no exception
// leaves it. A failure becomes a status and the calling thread's error text:
// the product's alarm its full text ("Crypto System: Invalid key - AES"),
// std::bad_alloc ORVO_E_NOMEM, a misuse of the interface (ApiError) its own
// text, anything else ORVO_E_INTERNAL. A call that succeeds clears the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/xblob.h"
#include "orvocrypto.h"

namespace orvo::capi {

// A misuse of the interface (a NULL pointer, an unknown name, a value out of
// range, a call in the wrong state), thrown by the entry points' checks.
struct ApiError {
  orvo_status status;
  std::string text;
};

[[noreturn]] void Refuse(orvo_status status, const std::string& text);

// Throws ORVO_E_INVALID_ARGUMENT naming `what` when `p` is NULL.
template <typename T>
T* Need(T* p, const char* what) {
  if (p == nullptr) Refuse(ORVO_E_INVALID_ARGUMENT, std::string(what) + " is NULL");
  return p;
}

// Bytes given as (pointer, size): NULL only with size 0, for which a
// pointer to a static byte comes back (no NULL reaches memcpy).
const uint8_t* Bytes(const void* p, size_t n, const char* what);

// An input as an XBlob, refused above 4 GiB - 1 bytes.
XBlob BlobOf(const void* p, size_t n, const char* what);

// A result's bytes, allocated before the work that fills them (so that the
// work is not lost to a failed allocation afterwards); wiped and freed unless
// handed to an orvo_buffer.
class Output {
 public:
  explicit Output(size_t capacity);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  uint8_t* data() { return data_; }
  // Wipes and frees what `out` held and gives it the first `size` bytes.
  void HandTo(orvo_buffer* out, size_t size) noexcept;

 private:
  uint8_t* data_;
  size_t capacity_;
};

// Wipes and frees the old bytes of `out` and gives it a copy of n bytes at p.
void Store(orvo_buffer* out, const uint8_t* p, size_t n);
inline void Store(orvo_buffer* out, const XBlob& blob) { Store(out, blob.data, blob.size); }

// Runs `work` in the frame; `function` names the entry point in the texts of
// ApiError ("orvo_cipher_new: unknown cipher ...").
orvo_status Failed(const char* function) noexcept;  // inside a catch: the current exception's status
orvo_status Succeeded() noexcept;

template <typename Work>
orvo_status Frame(const char* function, Work&& work) noexcept {
  try {
    work();
    return Succeeded();
  } catch (...) {
    return Failed(function);
  }
}

}  // namespace orvo::capi
