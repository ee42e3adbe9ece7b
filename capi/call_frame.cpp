// The call frame, the error text per thread, buffers and the library calls.
#include "capi/call_frame.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/alarm.h"
#include "base/wipe.h"

namespace orvo::capi {

// The calling thread's last error text. A fixed array, so that reporting
// needs no memory of its own (a failure for want of memory is reported too).
constexpr int kTextSize = 512;
thread_local char tLastError[kTextSize];

namespace {

void SetText(const char* text) noexcept {
  std::strncpy(tLastError, text, kTextSize - 1);
  tLastError[kTextSize - 1] = '\0';
}

orvo_status StatusOfAlarm(const XAlarm& alarm) noexcept {
  if (alarm.message == nullptr) return ORVO_E_INTERNAL;
  if (std::strcmp(alarm.message, alarm_text::kInvalidKey) == 0) return ORVO_E_INVALID_KEY;
  if (std::strcmp(alarm.message, alarm_text::kUnableToDecrypt) == 0) return ORVO_E_DECRYPT;
  if (std::strcmp(alarm.message, alarm_text::kDataCorrupted) == 0) return ORVO_E_CORRUPT;
  return ORVO_E_INTERNAL;
}

}  // namespace

void Refuse(orvo_status status, const std::string& text) { throw ApiError{status, text}; }

const uint8_t* Bytes(const void* p, size_t n, const char* what) {
  if (p == nullptr && n != 0) Refuse(ORVO_E_INVALID_ARGUMENT, std::string(what) + " is NULL with a size above 0");
  static const uint8_t kNone[1] = {0};
  return p == nullptr ? kNone : static_cast<const uint8_t*>(p);
}

XBlob BlobOf(const void* p, size_t n, const char* what) {
  const uint8_t* bytes = Bytes(p, n, what);
  if (n > UINT32_MAX) Refuse(ORVO_E_INVALID_ARGUMENT, std::string(what) + " is larger than 4 GiB - 1 bytes");
  XBlob blob(n == 0 ? 16 : static_cast<uint32_t>(n));
  if (n != 0) blob.Append(bytes, static_cast<uint32_t>(n));
  return blob;
}

Output::Output(size_t capacity) : data_(nullptr), capacity_(capacity) {
  if (capacity != 0) {
    data_ = static_cast<uint8_t*>(std::malloc(capacity));
    if (data_ == nullptr) throw std::bad_alloc();
  }
}

Output::~Output() {
  if (data_ != nullptr) {
    SecureWipe(data_, capacity_);
    std::free(data_);
  }
}

void Output::HandTo(orvo_buffer* out, size_t size) noexcept {
  orvo_buffer_free(out);
  if (size != 0) {
    out->data = data_;
    out->size = size;
    data_ = nullptr;
  }
}

void Store(orvo_buffer* out, const uint8_t* p, size_t n) {
  Output copy(n);
  if (n != 0) std::memcpy(copy.data(), p, n);
  copy.HandTo(out, n);
}

orvo_status Succeeded() noexcept {
  tLastError[0] = '\0';
  return ORVO_OK;
}

orvo_status Failed(const char* function) noexcept {
  try {
    throw;
  } catch (const XAlarm& alarm) {
    alarm.GetText(tLastError, kTextSize - 1);
    return StatusOfAlarm(alarm);
  } catch (const std::bad_alloc&) {
    SetText("orvocrypto: out of memory");
    return ORVO_E_NOMEM;
  } catch (const std::length_error&) {  // a result too large to hold (past 4 GiB - 1 for the core's buffers)
    SetText("orvocrypto: out of memory");
    return ORVO_E_NOMEM;
  } catch (const ApiError& e) {
    const size_t n = std::strlen(function);
    SetText(function);
    if (n + 2 < kTextSize) {
      std::strcpy(tLastError + n, ": ");
      std::strncpy(tLastError + n + 2, e.text.c_str(), kTextSize - n - 3);
      tLastError[kTextSize - 1] = '\0';
    }
    return e.status;
  } catch (...) {
    SetText("orvocrypto: internal error");
    return ORVO_E_INTERNAL;
  }
}

}  // namespace orvo::capi

extern "C" {

const char* orvo_version(void) { return ORVO_VERSION; }

const char* orvo_last_error(void) { return orvo::capi::tLastError; }

const char* orvo_status_name(orvo_status status) {
  switch (status) {
    case ORVO_OK: return "ORVO_OK";
    case ORVO_E_INVALID_ARGUMENT: return "ORVO_E_INVALID_ARGUMENT";
    case ORVO_E_INVALID_KEY: return "ORVO_E_INVALID_KEY";
    case ORVO_E_DECRYPT: return "ORVO_E_DECRYPT";
    case ORVO_E_CORRUPT: return "ORVO_E_CORRUPT";
    case ORVO_E_STATE: return "ORVO_E_STATE";
    case ORVO_E_NOMEM: return "ORVO_E_NOMEM";
    case ORVO_E_INTERNAL: return "ORVO_E_INTERNAL";
  }
  return "unknown status";
}

void orvo_buffer_free(orvo_buffer* buffer) {
  if (buffer == nullptr) return;
  if (buffer->data != nullptr) {
    orvo::SecureWipe(buffer->data, buffer->size);
    std::free(buffer->data);
  }
  buffer->data = nullptr;
  buffer->size = 0;
}

orvo_status orvo_buffer_set(orvo_buffer* buffer, const void* bytes, size_t size) {
  return orvo::capi::Frame(__func__, [&] {
    orvo::capi::Store(orvo::capi::Need(buffer, "buffer"), orvo::capi::Bytes(bytes, size, "bytes"), size);
  });
}

}  // extern "C"
