// MD5 and SHA-1 fed piece by piece, CRC-32 and random bytes.
#include <algorithm>

#include "capi/call_frame.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/random.h"
#include "digest/sha1.h"

using namespace orvo::capi;

struct orvo_md5 {
  orvo::Md5Stream stream;
};

struct orvo_sha1 {
  orvo::Sha1Stream stream;
};

namespace {

template <typename Handle>
orvo_status New(const char* function, Handle** handle) {
  return Frame(function, [&] {
    Need(handle, "handle");
    *handle = nullptr;
    *handle = new Handle;
  });
}

template <typename Handle>
orvo_status Feed(const char* function, Handle* handle, const void* data, size_t size) {
  return Frame(function, [&] { Need(handle, "handle")->stream.Update(Bytes(data, size, "data"), size); });
}

template <typename Handle>
orvo_status Final(const char* function, Handle* handle, orvo_buffer* digest) {
  return Frame(function, [&] {
    Need(digest, "digest");
    Store(digest, Need(handle, "handle")->stream.Finish());
  });
}

template <typename Handle>
orvo_status Once(const char* function, const void* data, size_t size, orvo_buffer* digest) {
  return Frame(function, [&] {
    const uint8_t* bytes = Bytes(data, size, "data");
    Need(digest, "digest");
    Handle handle;
    handle.stream.Update(bytes, size);
    Store(digest, handle.stream.Finish());
  });
}

}  // namespace

extern "C" {

orvo_status orvo_md5_new(orvo_md5** md5) { return New(__func__, md5); }
void orvo_md5_free(orvo_md5* md5) { delete md5; }
orvo_status orvo_md5_update(orvo_md5* md5, const void* data, size_t size) { return Feed(__func__, md5, data, size); }
orvo_status orvo_md5_final(orvo_md5* md5, orvo_buffer* digest) { return Final(__func__, md5, digest); }

orvo_status orvo_sha1_new(orvo_sha1** sha1) { return New(__func__, sha1); }
void orvo_sha1_free(orvo_sha1* sha1) { delete sha1; }
orvo_status orvo_sha1_update(orvo_sha1* sha1, const void* data, size_t size) { return Feed(__func__, sha1, data, size); }
orvo_status orvo_sha1_final(orvo_sha1* sha1, orvo_buffer* digest) { return Final(__func__, sha1, digest); }

orvo_status orvo_md5_digest(const void* data, size_t size, orvo_buffer* digest) {
  return Once<orvo_md5>(__func__, data, size, digest);
}
orvo_status orvo_sha1_digest(const void* data, size_t size, orvo_buffer* digest) {
  return Once<orvo_sha1>(__func__, data, size, digest);
}

orvo_status orvo_crc32_update(uint32_t* crc, const void* data, size_t size) {
  return Frame(__func__, [&] {
    const uint8_t* bytes = Bytes(data, size, "data");
    uint32_t reg = ~*Need(crc, "crc");
    *crc = CRC32Update(reg, bytes, size);
  });
}

orvo_status orvo_random(size_t count, orvo_buffer* out) {
  return Frame(__func__, [&] {
    Need(out, "out");
    Output bytes(count);
    for (size_t done = 0; done < count;) {
      const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(count - done, size_t{1} << 16));
      const XBlob random = RandomBytes(piece);
      std::copy(random.data, random.data + piece, bytes.data() + done);
      done += piece;
    }
    bytes.HandTo(out, count);
  });
}

}  // extern "C"
