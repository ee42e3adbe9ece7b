#include "digest/seed_expansion.h"

#include "digest/md5.h"
#include "digest/sha1.h"

XBlob ExpandSeed(const XBlob& seed, uint32_t n) {
  XBlob stream(16);
  XBlob work(seed);
  while (stream.size < n) {
    // work = seed || stream, kept up to date by appending what each pass adds.
    const XBlob md5 = MD5Digest(work);
    const XBlob sha1 = SHA1Digest(work);
    stream.Append(md5.data, md5.size);
    stream.Append(sha1.data, sha1.size);
    work.Append(md5.data, md5.size);
    work.Append(sha1.data, sha1.size);
  }
  XBlob result(n);
  result.Append(stream.data, n);
  return result;
}
