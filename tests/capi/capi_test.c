/* Tests of liborvocrypto.so.1 through orvocrypto.h, compiled as C: every call
 * family against the published vectors in tests/data, streaming equal to the
 * whole-buffer calls, the error statuses and texts, and the framing calls.
 * Usage: capi_test DATA_DIR */
#define _POSIX_C_SOURCE 200809L
#include <orvocrypto.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures;
static const char* data_dir;

static void fail(const char* file, int line, const char* fmt, ...) {
  va_list ap;
  ++failures;
  fprintf(stderr, "%s:%d: ", file, line);
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fputc('\n', stderr);
}

#define CHECK(cond, where)                                                    \
  do {                                                                        \
    if (!(cond)) fail(__FILE__, __LINE__, "%s failed (%s)", #cond, (where)); \
  } while (0)
/* A call expected to succeed. */
#define OK(call)                                                                                        \
  do {                                                                                                  \
    orvo_status s_ = (call);                                                                            \
    if (s_ != ORVO_OK) fail(__FILE__, __LINE__, "%s: %s \"%s\"", #call, orvo_status_name(s_), orvo_last_error()); \
  } while (0)
/* A call expected to fail with a status and exactly this text. */
#define FAILS(call, status, text)                                                                      \
  do {                                                                                                 \
    orvo_status s_ = (call);                                                                           \
    if (s_ != (status) || strcmp(orvo_last_error(), (text)) != 0)                                      \
      fail(__FILE__, __LINE__, "%s: %s \"%s\", expected %s \"%s\"", #call, orvo_status_name(s_),       \
           orvo_last_error(), orvo_status_name(status), (text));                                        \
  } while (0)

/* ---- Vector files: "Name = value" records separated by blank lines, in
 * [Section]s, '#' comments; as tests/support/vec_file.cpp reads them. ---- */

#define MAX_FIELDS 16

typedef struct {
  char section[64];
  char where[128];
  int count;
  char* names[MAX_FIELDS];
  char* values[MAX_FIELDS];
} record;

typedef struct {
  record* records;
  size_t count;
} vec_file;

static char* trim(char* s) {
  char* end;
  while (*s == ' ' || *s == '\t') ++s;
  end = s + strlen(s);
  while (end > s && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r' || end[-1] == '\n')) --end;
  *end = '\0';
  return s;
}

static char* copy_text(const char* s) {
  char* c = malloc(strlen(s) + 1);
  if (c == NULL) abort();
  strcpy(c, s);
  return c;
}

static vec_file read_vec(const char* relative) {
  vec_file v = {NULL, 0};
  char path[512], section[64] = "";
  char* line = NULL;
  size_t cap = 0, allocated = 0;
  int number = 0;
  record* cur = NULL;
  FILE* f;
  snprintf(path, sizeof path, "%s/%s", data_dir, relative);
  f = fopen(path, "r");
  if (f == NULL) {
    fail(__FILE__, __LINE__, "cannot open %s", path);
    return v;
  }
  while (getline(&line, &cap, f) != -1) {
    char *text = trim(line), *eq;
    ++number;
    if (*text == '\0') {
      cur = NULL;
      continue;
    }
    if (*text == '#') continue;
    if (*text == '[') {
      cur = NULL;
      snprintf(section, sizeof section, "%.*s", (int)strlen(text) - 2, text + 1);
      continue;
    }
    eq = strchr(text, '=');
    if (eq == NULL) continue;
    if (cur == NULL) {
      if (v.count == allocated) {
        allocated = allocated ? 2 * allocated : 64;
        v.records = realloc(v.records, allocated * sizeof *v.records);
        if (v.records == NULL) abort();
      }
      cur = &v.records[v.count++];
      memset(cur, 0, sizeof *cur);
      strcpy(cur->section, section);
      snprintf(cur->where, sizeof cur->where, "%s:%d", relative, number);
    }
    *eq = '\0';
    if (cur->count < MAX_FIELDS) {
      cur->names[cur->count] = copy_text(trim(text));
      cur->values[cur->count] = copy_text(trim(eq + 1));
      ++cur->count;
    }
  }
  free(line);
  fclose(f);
  if (v.count == 0) fail(__FILE__, __LINE__, "%s: no records", relative);
  return v;
}

static void free_vec(vec_file* v) {
  size_t i;
  int j;
  for (i = 0; i < v->count; ++i) {
    for (j = 0; j < v->records[i].count; ++j) {
      free(v->records[i].names[j]);
      free(v->records[i].values[j]);
    }
  }
  free(v->records);
}

static const char* get(const record* r, const char* name) {
  int i;
  for (i = 0; i < r->count; ++i) {
    if (strcmp(r->names[i], name) == 0) return r->values[i];
  }
  return NULL;
}

static int in_section(const record* r, const char* prefix) { return strncmp(r->section, prefix, strlen(prefix)) == 0; }

/* Bytes from hexadecimal text. */
typedef struct {
  uint8_t* p;
  size_t n;
} bytes;

static bytes hex(const char* text) {
  bytes b;
  size_t i, len = text ? strlen(text) : 0;
  b.n = len / 2;
  b.p = malloc(b.n + 1);
  if (b.p == NULL) abort();
  for (i = 0; i < b.n; ++i) {
    unsigned v;
    sscanf(text + 2 * i, "%2x", &v);
    b.p[i] = (uint8_t)v;
  }
  return b;
}

/* Bytes from a text field, as they stand. */
static bytes text_bytes(const char* text) {
  bytes b;
  b.n = strlen(text);
  b.p = (uint8_t*)copy_text(text);
  return b;
}

static int same(const orvo_buffer* buffer, const bytes* expected) {
  return buffer->size == expected->n && (expected->n == 0 || memcmp(buffer->data, expected->p, expected->n) == 0);
}

/* The buffer holds `expected` followed by padding. */
static int padded(const orvo_buffer* buffer, const bytes* expected) {
  return buffer->size >= expected->n && (expected->n == 0 || memcmp(buffer->data, expected->p, expected->n) == 0);
}

static int same_hex(const orvo_buffer* buffer, const char* text) {
  bytes b = hex(text);
  int result = same(buffer, &b);
  free(b.p);
  return result;
}

/* Appends a buffer's bytes to an accumulating one. */
static void append(orvo_buffer* all, const orvo_buffer* piece) {
  OK(orvo_insert_frame(all, all->size, piece->data, piece->size));
  /* drop the 4-byte length the frame put in front */
  {
    uint32_t ignored;
    OK(orvo_extract_long(all, all->size - piece->size - 4, &ignored));
  }
}

/* ---- Block ciphers ---------------------------------------------------- */

static void put_long(uint8_t* at, uint32_t v) {
  at[0] = (uint8_t)(v >> 24);
  at[1] = (uint8_t)(v >> 16);
  at[2] = (uint8_t)(v >> 8);
  at[3] = (uint8_t)v;
}

/* The key blobs: a 4-byte number (AES: rounds; Twofish: key bytes / 8;
 * Blowfish: key bytes), then the key. */
static bytes key_blob(const char* cipher, const bytes* key) {
  bytes b;
  uint32_t number = (uint32_t)key->n;
  if (strcmp(cipher, "aes") == 0) number = key->n == 16 ? 10 : key->n == 24 ? 12 : 14;
  if (strcmp(cipher, "twofish") == 0) number = (uint32_t)key->n / 8;
  b.n = 4 + key->n;
  b.p = malloc(b.n);
  if (b.p == NULL) abort();
  put_long(b.p, number);
  memcpy(b.p + 4, key->p, key->n);
  return b;
}

static orvo_cipher* keyed(const char* name, const bytes* key) {
  orvo_cipher* c = NULL;
  bytes blob = key_blob(name, key);
  OK(orvo_cipher_new(name, &c));
  OK(orvo_cipher_set_key(c, blob.p, blob.n));
  free(blob.p);
  return c;
}

static const struct {
  const char* file;
  const char* cipher;
  const char* section; /* prefix of the sections used */
  const char *key, *plain, *sealed;
  int records; /* at least this many */
} kBlockFiles[] = {
    {"crypto/aes_fips197.vec", "aes", "AES", "Key", "Plaintext", "Ciphertext", 3},
    {"crypto/aes_kat.vec", "aes", "", "Key", "Plaintext", "Ciphertext", 1039},
    {"crypto/twofish.vec", "twofish", "ECB", "Key", "PT", "CT", 150},
    {"crypto/blowfish.vec", "blowfish", "ECB", "Key", "PT", "CT", 34},
};

static void test_block_vectors(void) {
  size_t f, i;
  for (f = 0; f < sizeof kBlockFiles / sizeof kBlockFiles[0]; ++f) {
    vec_file v = read_vec(kBlockFiles[f].file);
    int used = 0;
    for (i = 0; i < v.count; ++i) {
      const record* r = &v.records[i];
      bytes key, plain, sealed;
      orvo_cipher* c;
      orvo_buffer out = ORVO_BUFFER_INIT;
      if (!in_section(r, kBlockFiles[f].section)) continue;
      key = hex(get(r, kBlockFiles[f].key));
      plain = hex(get(r, kBlockFiles[f].plain));
      sealed = hex(get(r, kBlockFiles[f].sealed));
      c = keyed(kBlockFiles[f].cipher, &key);
      OK(orvo_cipher_encrypt(c, plain.p, plain.n, &out));
      CHECK(same(&out, &sealed), r->where);
      OK(orvo_cipher_decrypt(c, sealed.p, sealed.n, &out));
      CHECK(same(&out, &plain), r->where);
      orvo_buffer_free(&out);
      orvo_cipher_free(c);
      free(key.p);
      free(plain.p);
      free(sealed.p);
      ++used;
    }
    CHECK(used >= kBlockFiles[f].records, kBlockFiles[f].file);
    free_vec(&v);
  }
}

/* Encrypts or decrypts `in` through the stream in pieces of `piece` bytes. */
static orvo_status stream(orvo_cipher* c, int encrypt, const bytes* in, size_t piece, orvo_buffer* all) {
  size_t at = 0;
  orvo_buffer out = ORVO_BUFFER_INIT;
  orvo_status s = ORVO_OK;
  orvo_buffer_free(all);
  while (at < in->n && s == ORVO_OK) {
    size_t n = in->n - at < piece ? in->n - at : piece;
    s = encrypt ? orvo_cipher_encrypt_update(c, in->p + at, n, &out) : orvo_cipher_decrypt_update(c, in->p + at, n, &out);
    if (s == ORVO_OK) append(all, &out);
    at += n;
  }
  if (s == ORVO_OK) {
    if (encrypt) {
      s = orvo_cipher_encrypt_final(c, &out);
      if (s == ORVO_OK) append(all, &out);
    } else {
      s = orvo_cipher_decrypt_final(c);
    }
  }
  orvo_buffer_free(&out);
  return s;
}

/* The engine vectors (key 00..0f, modes, fillers, lengths): whole calls, and
 * streams in pieces of several sizes give the same bytes. */
static void test_engine_vectors(void) {
  static const size_t pieces[] = {1, 5, 16, 17, 100};
  bytes key;
  size_t i, p;
  vec_file v = read_vec("crypto/aes_engine.vec");
  key.n = 16;
  key.p = malloc(16);
  if (key.p == NULL) abort();
  for (i = 0; i < 16; ++i) key.p[i] = (uint8_t)i;
  for (i = 0; i < v.count; ++i) {
    const record* r = &v.records[i];
    orvo_buffer out = ORVO_BUFFER_INIT;
    if (strcmp(r->section, "Seal") == 0) {
      bytes plain = hex(get(r, "Plaintext")), sealed = hex(get(r, "Ciphertext"));
      int mode = atoi(get(r, "Mode"));
      unsigned filler = (unsigned)strtoul(get(r, "Filler"), NULL, 0);
      orvo_cipher* c = keyed("aes", &key);
      OK(orvo_cipher_set_mode(c, mode));
      OK(orvo_cipher_set_filler(c, filler));
      OK(orvo_cipher_encrypt(c, plain.p, plain.n, &out));
      CHECK(same(&out, &sealed), r->where);
      for (p = 0; p < sizeof pieces / sizeof pieces[0]; ++p) {
        OK(orvo_cipher_reset(c));
        OK(stream(c, 1, &plain, pieces[p], &out));
        CHECK(same(&out, &sealed), r->where);
        OK(orvo_cipher_reset(c));
        OK(stream(c, 0, &sealed, pieces[p], &out));
        CHECK(out.size == sealed.n && padded(&out, &plain), r->where);
      }
      orvo_cipher_free(c);
      free(plain.p);
      free(sealed.p);
    } else if (strcmp(r->section, "Chain") == 0) {
      /* The chaining register carries from an ECB call into CBC calls. */
      bytes first = hex(get(r, "First")), second = hex(get(r, "Second"));
      orvo_cipher* c = keyed("aes", &key);
      OK(orvo_cipher_encrypt(c, first.p, first.n, &out));
      CHECK(same_hex(&out, get(r, "FirstCiphertext")), r->where);
      OK(orvo_cipher_set_mode(c, ORVO_MODE_CBC));
      OK(orvo_cipher_encrypt(c, second.p, second.n, &out));
      CHECK(same_hex(&out, get(r, "SecondCiphertext")), r->where);
      orvo_cipher_free(c);
      free(first.p);
      free(second.p);
    }
    orvo_buffer_free(&out);
  }
  free(key.p);
  free_vec(&v);
}

static void test_keygen_vectors(void) {
  static const char* const files[][2] = {
      {"crypto/aes_keygen.vec", "AES"}, {"crypto/twofish_keygen.vec", "Twofish"}, {"crypto/blowfish_keygen.vec", "blowfish"}};
  size_t f, i;
  for (f = 0; f < 3; ++f) {
    vec_file v = read_vec(files[f][0]);
    for (i = 0; i < v.count; ++i) {
      const record* r = &v.records[i];
      bytes seed = hex(get(r, "Seed"));
      orvo_cipher* c = NULL;
      orvo_buffer blob = ORVO_BUFFER_INIT;
      OK(orvo_cipher_new(files[f][1], &c)); /* names in any case */
      OK(orvo_cipher_generate_key(c, seed.p, seed.n, (uint32_t)strtoul(get(r, "Length"), NULL, 0)));
      OK(orvo_cipher_get_key(c, &blob));
      CHECK(same_hex(&blob, get(r, "Blob")), r->where);
      orvo_buffer_free(&blob);
      orvo_cipher_free(c);
      free(seed.p);
    }
    free_vec(&v);
  }
}

/* ---- Digests ---------------------------------------------------------- */

/* The digests of `data` fed in pieces of `piece` bytes, against the fields. */
static void check_digests(const bytes* data, size_t repeat, size_t piece, const record* r) {
  orvo_md5* md5 = NULL;
  orvo_sha1* sha1 = NULL;
  orvo_buffer digest = ORVO_BUFFER_INIT;
  uint32_t crc = 0;
  size_t k, at;
  OK(orvo_md5_new(&md5));
  OK(orvo_sha1_new(&sha1));
  for (k = 0; k < repeat; ++k) {
    for (at = 0; at < data->n || (at == 0 && data->n == 0); at += piece) {
      size_t n = data->n - at < piece ? data->n - at : piece;
      OK(orvo_md5_update(md5, data->p + at, n));
      OK(orvo_sha1_update(sha1, data->p + at, n));
      OK(orvo_crc32_update(&crc, data->p + at, n));
      if (data->n == 0) break;
    }
  }
  if (get(r, "MD5")) {
    OK(orvo_md5_final(md5, &digest));
    CHECK(same_hex(&digest, get(r, "MD5")), r->where);
    OK(orvo_md5_final(md5, &digest)); /* starts anew */
    CHECK(same_hex(&digest, "d41d8cd98f00b204e9800998ecf8427e"), r->where);
  }
  if (get(r, "SHA1")) {
    OK(orvo_sha1_final(sha1, &digest));
    CHECK(same_hex(&digest, get(r, "SHA1")), r->where);
  }
  if (get(r, "CRC32")) CHECK(crc == (uint32_t)strtoul(get(r, "CRC32"), NULL, 0), r->where);
  if (repeat == 1) {
    if (get(r, "MD5")) {
      OK(orvo_md5_digest(data->p, data->n, &digest));
      CHECK(same_hex(&digest, get(r, "MD5")), r->where);
    }
    if (get(r, "SHA1")) {
      OK(orvo_sha1_digest(data->p, data->n, &digest));
      CHECK(same_hex(&digest, get(r, "SHA1")), r->where);
    }
  }
  orvo_buffer_free(&digest);
  orvo_md5_free(md5);
  orvo_sha1_free(sha1);
}

static void test_digest_vectors(void) {
  static const char* const text_files[] = {"digest/md5_rfc1321.vec", "digest/sha1_fips180_1.vec",
                                           "digest/crc32_catalogue.vec"};
  size_t f, i, k;
  vec_file v;
  for (f = 0; f < 3; ++f) {
    v = read_vec(text_files[f]);
    for (i = 0; i < v.count; ++i) {
      bytes data = text_bytes(get(&v.records[i], "Text"));
      const char* repeat = get(&v.records[i], "Repeat");
      check_digests(&data, repeat ? strtoul(repeat, NULL, 10) : 1, 7, &v.records[i]);
      free(data.p);
    }
    free_vec(&v);
  }
  /* byte i = (i * 7 + 3) mod 251, in pieces around the 64-byte block */
  v = read_vec("digest/pattern_digests.vec");
  for (i = 0; i < v.count; ++i) {
    bytes data;
    data.n = strtoul(get(&v.records[i], "Len"), NULL, 10);
    data.p = malloc(data.n + 1);
    if (data.p == NULL) abort();
    for (k = 0; k < data.n; ++k) data.p[k] = (uint8_t)((k * 7 + 3) % 251);
    check_digests(&data, 1, i % 2 ? 63 : 65, &v.records[i]);
    check_digests(&data, 1, data.n + 1, &v.records[i]);
    free(data.p);
  }
  free_vec(&v);
}

static void test_random(void) {
  orvo_buffer a = ORVO_BUFFER_INIT, b = ORVO_BUFFER_INIT;
  OK(orvo_random(100000, &a));
  OK(orvo_random(100000, &b));
  CHECK(a.size == 100000 && b.size == 100000, "sizes");
  CHECK(memcmp(a.data, b.data, 100000) != 0, "two draws differ");
  /* memory that cannot be had: a status, not an abort; the output stays */
  FAILS(orvo_random((size_t)-1, &a), ORVO_E_NOMEM, "orvocrypto: out of memory");
  CHECK(a.size == 100000, "the output stays");
  OK(orvo_random(0, &a));
  CHECK(a.size == 0 && a.data == NULL, "no bytes");
  orvo_buffer_free(&a);
  orvo_buffer_free(&b);
}

/* ---- RSA -------------------------------------------------------------- */

static orvo_rsa* rsa_with(const char* public_hex, const char* private_hex) {
  orvo_rsa* rsa = NULL;
  OK(orvo_rsa_new(&rsa));
  if (public_hex) {
    bytes b = hex(public_hex);
    OK(orvo_rsa_set_public_key(rsa, b.p, b.n));
    free(b.p);
  }
  if (private_hex) {
    bytes b = hex(private_hex);
    OK(orvo_rsa_set_private_key(rsa, b.p, b.n));
    free(b.p);
  }
  return rsa;
}

static void test_rsa_vectors(void) {
  size_t i;
  int valid, keygens = 0, signs = 0, decrypts = 0;
  vec_file v = read_vec("rsa/rsa_keys.vec");
  for (i = 0; i < v.count; ++i) {
    const record* r = &v.records[i];
    orvo_buffer out = ORVO_BUFFER_INIT, again = ORVO_BUFFER_INIT;
    if (strcmp(r->section, "KeyGen") == 0) {
      bytes s1 = hex(get(r, "Seed1")), s2 = hex(get(r, "Seed2"));
      orvo_rsa* rsa = NULL;
      OK(orvo_rsa_new(&rsa));
      OK(orvo_rsa_generate_key(rsa, s1.p, s1.n, s2.p, s2.n, (uint32_t)strtoul(get(r, "Requested"), NULL, 10)));
      OK(orvo_rsa_get_public_key(rsa, &out));
      CHECK(same_hex(&out, get(r, "Public")), r->where);
      OK(orvo_rsa_get_private_key(rsa, &out));
      CHECK(same_hex(&out, get(r, "Private")), r->where);
      orvo_rsa_free(rsa);
      free(s1.p);
      free(s2.p);
      ++keygens;
    } else if (strcmp(r->section, "Sign") == 0) {
      bytes data = hex(get(r, "Data")), sig = hex(get(r, "Signature"));
      orvo_rsa* signer = rsa_with(NULL, get(r, "Private"));
      orvo_rsa* checker = rsa_with(get(r, "Public"), NULL);
      size_t half = data.n / 2;
      OK(orvo_rsa_sign(signer, data.p, data.n, &out));
      CHECK(same(&out, &sig), r->where);
      OK(orvo_rsa_update(signer, data.p, half));
      OK(orvo_rsa_update(signer, data.p + half, data.n - half));
      OK(orvo_rsa_sign_final(signer, &again));
      CHECK(same(&again, &sig), r->where);
      OK(orvo_rsa_verify(checker, data.p, data.n, sig.p, sig.n, &valid));
      CHECK(valid == 1, r->where);
      OK(orvo_rsa_update(checker, data.p, half));
      OK(orvo_rsa_update(checker, data.p + half, data.n - half));
      OK(orvo_rsa_verify_final(checker, sig.p, sig.n, &valid));
      CHECK(valid == 1, r->where);
      sig.p[sig.n - 1] ^= 1; /* a damaged signature is invalid, not an error */
      OK(orvo_rsa_verify(checker, data.p, data.n, sig.p, sig.n, &valid));
      CHECK(valid == 0, r->where);
      OK(orvo_rsa_verify_final(checker, sig.p, sig.n, &valid));
      CHECK(valid == 0, r->where);
      orvo_rsa_free(signer);
      orvo_rsa_free(checker);
      free(data.p);
      free(sig.p);
      ++signs;
    } else if (strcmp(r->section, "Encrypt") == 0) {
      bytes label = hex(get(r, "IVInput")), sealed = hex(get(r, "Ciphertext")), data = hex(get(r, "Data"));
      orvo_rsa* rsa = rsa_with(get(r, "Public"), get(r, "Private"));
      OK(orvo_rsa_set_label(rsa, label.p, label.n));
      OK(orvo_rsa_decrypt(rsa, sealed.p, sealed.n, &out));
      CHECK(same(&out, &data), r->where);
      /* a fresh encryption opens again; the same data sealed twice differs */
      OK(orvo_rsa_encrypt(rsa, data.p, data.n, &out));
      CHECK(out.size == sealed.n && memcmp(out.data, sealed.p, sealed.n) != 0, r->where);
      OK(orvo_rsa_decrypt(rsa, out.data, out.size, &again));
      CHECK(same(&again, &data), r->where);
      /* another label does not open it */
      OK(orvo_rsa_set_label(rsa, "x", 1));
      FAILS(orvo_rsa_decrypt(rsa, sealed.p, sealed.n, &again), ORVO_E_DECRYPT,
            "Crypto System: Unable to decrypt data - RSA");
      CHECK(same(&again, &data), "a failed call leaves the output as it was");
      orvo_rsa_free(rsa);
      free(label.p);
      free(sealed.p);
      free(data.p);
      ++decrypts;
    }
    orvo_buffer_free(&out);
    orvo_buffer_free(&again);
  }
  CHECK(keygens == 10 && signs == 3 && decrypts == 5, "rsa_keys.vec record counts");
  free_vec(&v);
}

/* A key blob of another key is refused once both halves are present, and a
 * malformed one leaves the key whole. */
static void test_rsa_key_loading(void) {
  orvo_rsa *rsa = NULL, *other = NULL;
  orvo_buffer pub = ORVO_BUFFER_INIT, priv = ORVO_BUFFER_INIT, foreign = ORVO_BUFFER_INIT, out = ORVO_BUFFER_INIT;
  size_t size = 1;
  static const uint8_t truncated[] = {0, 0, 0, 64, 0, 0, 0, 64, 1, 2};
  OK(orvo_rsa_new(&rsa));
  OK(orvo_rsa_size(rsa, &size));
  CHECK(size == 0, "no key");
  FAILS(orvo_rsa_get_public_key(rsa, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key - RSA");
  FAILS(orvo_rsa_sign(rsa, "a", 1, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key - RSA");
  OK(orvo_rsa_generate_key(rsa, "alpha", 5, "beta", 4, 64));
  OK(orvo_rsa_size(rsa, &size));
  CHECK(size == 64, "512-bit key");
  OK(orvo_rsa_get_public_key(rsa, &pub));
  OK(orvo_rsa_get_private_key(rsa, &priv));
  OK(orvo_rsa_new(&other));
  OK(orvo_rsa_generate_key(other, "gamma", 5, "delta", 5, 64));
  OK(orvo_rsa_get_public_key(other, &foreign));
  FAILS(orvo_rsa_set_public_key(rsa, foreign.data, foreign.size), ORVO_E_INVALID_KEY,
        "Crypto System: Invalid key - RSA");
  FAILS(orvo_rsa_set_private_key(rsa, truncated, sizeof truncated), ORVO_E_CORRUPT,
        "Crypto System: Data is corrupted - XBlob");
  FAILS(orvo_rsa_set_public_key(rsa, truncated, 3), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - RSA");
  OK(orvo_rsa_get_private_key(rsa, &out));
  CHECK(out.size == priv.size && memcmp(out.data, priv.data, priv.size) == 0, "the key stays whole");
  OK(orvo_rsa_get_public_key(rsa, &out));
  CHECK(out.size == pub.size && memcmp(out.data, pub.data, pub.size) == 0, "the key stays whole");
  orvo_rsa_free(rsa);
  orvo_rsa_free(other);
  orvo_buffer_free(&pub);
  orvo_buffer_free(&priv);
  orvo_buffer_free(&foreign);
  orvo_buffer_free(&out);
}

/* ---- Errors and state ------------------------------------------------- */

static void test_cipher_errors(void) {
  orvo_cipher *c = NULL, *other = NULL;
  orvo_buffer out = ORVO_BUFFER_INIT, key = ORVO_BUFFER_INIT, before = ORVO_BUFFER_INIT;
  static const uint8_t wrong_blob[] = {0, 0, 0, 9, 1, 2, 3};
  int mode = 0;
  unsigned filler = 0;

  FAILS(orvo_cipher_new("des", &c), ORVO_E_INVALID_ARGUMENT,
        "orvo_cipher_new: unknown cipher 'des' (aes, twofish or blowfish)");
  CHECK(c == NULL, "no handle for an unknown name");
  FAILS(orvo_cipher_new(NULL, &c), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_new: name is NULL");
  OK(orvo_cipher_new("aes", &c));
  CHECK(orvo_last_error()[0] == '\0', "a success clears the text");

  FAILS(orvo_cipher_get_key(c, &key), ORVO_E_INVALID_KEY, "Crypto System: Invalid key - AES");
  FAILS(orvo_cipher_encrypt(c, "abc", 3, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key");
  FAILS(orvo_cipher_encrypt_update(c, "abc", 3, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key");
  FAILS(orvo_cipher_decrypt(c, NULL, 0, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key");

  OK(orvo_cipher_generate_key(c, "seed", 4, 16));
  OK(orvo_cipher_get_key(c, &before));
  FAILS(orvo_cipher_set_key(c, wrong_blob, sizeof wrong_blob), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - AES");
  OK(orvo_cipher_new("blowfish", &other));
  OK(orvo_cipher_generate_key(other, "seed", 4, 16));
  OK(orvo_cipher_get_key(other, &key));
  FAILS(orvo_cipher_set_key(c, key.data, key.size), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - AES");
  OK(orvo_cipher_get_key(c, &key));
  CHECK(key.size == before.size && memcmp(key.data, before.data, key.size) == 0, "the earlier key stays");

  FAILS(orvo_cipher_decrypt(c, "0123456789abcdef0", 17, &out), ORVO_E_DECRYPT, "Crypto System: Unable to decrypt data");
  FAILS(orvo_cipher_set_mode(c, 3), ORVO_E_INVALID_ARGUMENT,
        "orvo_cipher_set_mode: mode 3 is neither ORVO_MODE_ECB (1) nor ORVO_MODE_CBC (2)");
  FAILS(orvo_cipher_set_filler(c, 256), ORVO_E_INVALID_ARGUMENT,
        "orvo_cipher_set_filler: filler 256 is not a byte value (0 to 255)");
  OK(orvo_cipher_get_mode(c, &mode));
  OK(orvo_cipher_get_filler(c, &filler));
  CHECK(mode == ORVO_MODE_ECB && filler == 0, "refused values change nothing");
  FAILS(orvo_cipher_encrypt(c, NULL, 5, &out), ORVO_E_INVALID_ARGUMENT,
        "orvo_cipher_encrypt: data is NULL with a size above 0");
  FAILS(orvo_cipher_encrypt(c, "a", 1, NULL), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_encrypt: out is NULL");
  FAILS(orvo_cipher_encrypt(NULL, "a", 1, &out), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_encrypt: cipher is NULL");

  /* An open stream refuses whole calls and the other direction. */
  OK(orvo_cipher_encrypt_update(c, "abc", 3, &out));
  CHECK(out.size == 0, "no whole block yet");
  FAILS(orvo_cipher_encrypt(c, "a", 1, &out), ORVO_E_STATE,
        "orvo_cipher_encrypt: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  FAILS(orvo_cipher_decrypt_update(c, "a", 1, &out), ORVO_E_STATE,
        "orvo_cipher_decrypt_update: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  FAILS(orvo_cipher_decrypt_final(c), ORVO_E_STATE,
        "orvo_cipher_decrypt_final: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  OK(orvo_cipher_encrypt_final(c, &out));
  CHECK(out.size == 16, "the padded rest");
  /* A decryption stream left with a partial block fails at its end, and closes. */
  OK(orvo_cipher_decrypt_update(c, out.data, 15, &key));
  FAILS(orvo_cipher_decrypt_final(c), ORVO_E_DECRYPT, "Crypto System: Unable to decrypt data");
  OK(orvo_cipher_decrypt(c, out.data, 16, &key));

  /* Freeing NULL does nothing; so does freeing an empty buffer twice. */
  orvo_cipher_free(NULL);
  orvo_rsa_free(NULL);
  orvo_md5_free(NULL);
  orvo_sha1_free(NULL);
  orvo_buffer_free(NULL);
  orvo_buffer_free(&out);
  orvo_buffer_free(&out);
  orvo_buffer_free(&key);
  orvo_buffer_free(&before);
  orvo_cipher_free(c);
  orvo_cipher_free(other);
  CHECK(strcmp(orvo_status_name(ORVO_E_CORRUPT), "ORVO_E_CORRUPT") == 0, "status names");
  CHECK(strcmp(orvo_version(), ORVO_TEST_VERSION) == 0, "version");
}

/* The chaining register as the CBC IV: NIST SP 800-38A's vectors from their
 * IV, whole and streamed; the register after the calls; its errors. */
static void test_cipher_iv(void) {
  vec_file v = read_vec("crypto/aes_cbc_iv.vec");
  size_t i;
  orvo_buffer out = ORVO_BUFFER_INIT, iv = ORVO_BUFFER_INIT, piece = ORVO_BUFFER_INIT;
  orvo_cipher* c = NULL;
  for (i = 0; i < v.count; ++i) {
    const record* r = &v.records[i];
    bytes key = hex(get(r, "Key")), start = hex(get(r, "IV")), plain = hex(get(r, "Plaintext")),
          sealed = hex(get(r, "Ciphertext"));
    c = keyed("aes", &key);
    OK(orvo_cipher_set_mode(c, ORVO_MODE_CBC));
    OK(orvo_cipher_set_iv(c, start.p, start.n));
    OK(orvo_cipher_get_iv(c, &iv));
    CHECK(same(&iv, &start), r->where);
    OK(orvo_cipher_encrypt(c, plain.p, plain.n, &out));
    CHECK(same(&out, &sealed), r->where);
    OK(orvo_cipher_get_iv(c, &iv));
    CHECK(iv.size == 16 && memcmp(iv.data, sealed.p + sealed.n - 16, 16) == 0, "the register: the last block");
    /* Set again, the same IV starts the same message again: in a stream of
       odd pieces, then decrypted from it. */
    OK(orvo_cipher_set_iv(c, start.p, start.n));
    OK(stream(c, 1, &plain, 7, &out));
    CHECK(same(&out, &sealed), r->where);
    OK(orvo_cipher_set_iv(c, start.p, start.n));
    OK(orvo_cipher_decrypt(c, sealed.p, sealed.n, &out));
    CHECK(same(&out, &plain), r->where);
    /* Reset goes back to zeros, not to the IV set. */
    OK(orvo_cipher_reset(c));
    OK(orvo_cipher_get_iv(c, &iv));
    CHECK(iv.size == 16 && memcmp(iv.data, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16) == 0, "reset zeroes it");
    orvo_cipher_free(c);
    free(key.p);
    free(start.p);
    free(plain.p);
    free(sealed.p);
  }
  free_vec(&v);

  /* A new cipher reads zeros, a block of its own size; set_iv takes that size only. */
  OK(orvo_cipher_new("blowfish", &c));
  OK(orvo_cipher_get_iv(c, &iv));
  CHECK(iv.size == 8 && memcmp(iv.data, "\0\0\0\0\0\0\0\0", 8) == 0, "a new cipher's register");
  FAILS(orvo_cipher_set_iv(c, "0123456789abcdef", 16), ORVO_E_INVALID_ARGUMENT,
        "orvo_cipher_set_iv: iv_size 16 is not the block size (8)");
  FAILS(orvo_cipher_set_iv(c, NULL, 8), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_set_iv: iv is NULL with a size above 0");
  FAILS(orvo_cipher_get_iv(c, NULL), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_get_iv: iv is NULL");
  FAILS(orvo_cipher_get_iv(NULL, &iv), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_get_iv: cipher is NULL");
  /* The IV may lie in the buffer get_iv filled (and is read before the register changes). */
  OK(orvo_cipher_set_iv(c, "ABCDEFGH", 8));
  OK(orvo_cipher_get_iv(c, &iv));
  OK(orvo_cipher_set_iv(c, iv.data, iv.size));
  OK(orvo_cipher_get_iv(c, &iv));
  CHECK(iv.size == 8 && memcmp(iv.data, "ABCDEFGH", 8) == 0, "set from get_iv's own buffer");
  /* An open stream keeps its register: set_iv is refused until final. */
  OK(orvo_cipher_generate_key(c, "seed", 4, 16));
  OK(orvo_cipher_encrypt_update(c, "abc", 3, &piece));
  FAILS(orvo_cipher_set_iv(c, "ABCDEFGH", 8), ORVO_E_STATE,
        "orvo_cipher_set_iv: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  OK(orvo_cipher_encrypt_final(c, &piece));
  OK(orvo_cipher_set_iv(c, "ABCDEFGH", 8));
  orvo_cipher_free(c);
  orvo_buffer_free(&out);
  orvo_buffer_free(&iv);
  orvo_buffer_free(&piece);
}

/* Filler stripping: at most a block less one trailing filler byte goes. */
static void test_strip_filler(void) {
  static const struct {
    const char* cipher;
    unsigned filler;
    const char* data; /* hex */
    size_t kept;
  } kCases[] = {
      {"aes", 0, "68656c6c6f0000000000000000000000", 5},  /* "hello" padded */
      {"aes", 0, "00112233445566778899aabbccddeeff", 16}, /* a whole block: no padding was added */
      {"aes", 0, "00000000000000000000000000000000", 1},  /* all filler: 15 go, the data's own byte stays */
      {"aes", 0, "6162630000000000000000000000000000000000000000000000000000000000", 17},
      {"aes", 0, "6162630000000000000000000000000000000000000000000000000000000061", 32},
      {"aes", 7, "68690707070707070707070707070707", 2},
      {"aes", 7, "68690000000000000000000000000000", 16}, /* zeros are data under filler 7 */
      {"aes", 0, "", 0},
      {"aes", 0, "0000", 0}, /* shorter than a block: all may go */
      {"blowfish", 0, "6800000000000000", 1},
      {"blowfish", 0, "0000000000000000", 1},
      {"blowfish", 255, "68ffffffffffffff", 1},
  };
  size_t i, kept = 99;
  orvo_cipher* c = NULL;
  for (i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    bytes data = hex(kCases[i].data);
    char where[64];
    snprintf(where, sizeof where, "case %u (%s)", (unsigned)i, kCases[i].data);
    OK(orvo_cipher_new(kCases[i].cipher, &c));
    OK(orvo_cipher_set_filler(c, kCases[i].filler));
    OK(orvo_cipher_strip_filler(c, data.p, data.n, &kept));
    CHECK(kept == kCases[i].kept, where);
    orvo_cipher_free(c);
    free(data.p);
  }
  OK(orvo_cipher_new("aes", &c));
  OK(orvo_cipher_strip_filler(c, NULL, 0, &kept));
  CHECK(kept == 0, "no data");
  FAILS(orvo_cipher_strip_filler(c, "ab", 2, NULL), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_strip_filler: kept_size is NULL");
  FAILS(orvo_cipher_strip_filler(NULL, "ab", 2, &kept), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_strip_filler: cipher is NULL");
  orvo_cipher_free(c);
}

/* The error text belongs to the thread that made the failing call. */
static void* fail_in_thread(void* arg) {
  orvo_cipher* c = NULL;
  (void)arg;
  if (orvo_cipher_new("rot13", &c) != ORVO_E_INVALID_ARGUMENT) return (void*)1;
  return strstr(orvo_last_error(), "rot13") != NULL ? NULL : (void*)1;
}

static void test_error_text_per_thread(void) {
  pthread_t thread;
  void* result = (void*)1;
  orvo_cipher* c = NULL;
  FAILS(orvo_cipher_new("des", &c), ORVO_E_INVALID_ARGUMENT,
        "orvo_cipher_new: unknown cipher 'des' (aes, twofish or blowfish)");
  CHECK(pthread_create(&thread, NULL, fail_in_thread, NULL) == 0, "thread");
  pthread_join(thread, &result);
  CHECK(result == NULL, "the other thread saw its own text");
  CHECK(strcmp(orvo_last_error(), "orvo_cipher_new: unknown cipher 'des' (aes, twofish or blowfish)") == 0,
        "this thread's text stays");
}

/* ---- Framing ---------------------------------------------------------- */

static void test_framing(void) {
  orvo_buffer blob = ORVO_BUFFER_INIT, out = ORVO_BUFFER_INIT;
  uint32_t value = 0;
  OK(orvo_insert_long(&blob, 0, 0x01020304u));
  OK(orvo_insert_frame(&blob, 4, "abc", 3));
  OK(orvo_insert_long(&blob, 0, 0xA0B0C0D0u));
  CHECK(same_hex(&blob, "a0b0c0d00102030400000003616263"), "packed");
  /* a record of the blob's own bytes */
  OK(orvo_insert_frame(&blob, blob.size, blob.data, 4));
  CHECK(same_hex(&blob, "a0b0c0d0010203040000000361626300000004a0b0c0d0"), "own bytes");
  FAILS(orvo_insert_long(&blob, blob.size + 1, 1), ORVO_E_INVALID_ARGUMENT,
        "orvo_insert_long: position 24 is past the end (23 bytes)");
  FAILS(orvo_extract_frame(&blob, 0, &out), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - XBlob");
  CHECK(blob.size == 23, "nothing changed");
  OK(orvo_extract_frame(&blob, 8, &out));
  CHECK(same_hex(&out, "616263"), "record");
  OK(orvo_extract_long(&blob, 4, &value));
  CHECK(value == 0x01020304u, "long");
  OK(orvo_extract_frame(&blob, 4, &out));
  CHECK(same_hex(&out, "a0b0c0d0"), "own record");
  CHECK(same_hex(&blob, "a0b0c0d0"), "left");
  /* fewer than four bytes: the missing ones read as zero, the present go */
  OK(orvo_extract_long(&blob, 2, &value));
  CHECK(value == 0xC0D00000u && same_hex(&blob, "a0b0"), "short long");
  OK(orvo_buffer_set(&blob, "\0\0\0\5ab", 6));
  FAILS(orvo_extract_frame(&blob, 0, &out), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - XBlob");
  orvo_buffer_free(&blob);
  orvo_buffer_free(&out);
}

/* ---- Input in the output buffer's own bytes --------------------------- */

/* One call of a table row: `data` (n bytes) in, `out` written. Streams add
 * what they need to finish (the final block, or the bytes that complete the
 * last block of a decryption), so that their pending bytes show. */
typedef orvo_status (*alias_call)(void* handle, const void* data, size_t n, orvo_buffer* out);

/* A cipher keyed for AES in CBC mode with filler 7; `prefix` bytes of a
 * stream already fed (so that the stream holds a partial block). */
static void* cipher_for_alias(int stream, int encrypt) {
  static const uint8_t key[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const bytes k = {(uint8_t*)key, sizeof key};
  orvo_cipher* c = keyed("aes", &k);
  orvo_buffer ignored = ORVO_BUFFER_INIT;
  OK(orvo_cipher_set_mode(c, ORVO_MODE_CBC));
  OK(orvo_cipher_set_filler(c, 7));
  if (stream) {
    OK(encrypt ? orvo_cipher_encrypt_update(c, "prefx", 5, &ignored) : orvo_cipher_decrypt_update(c, "prefx", 5, &ignored));
    CHECK(ignored.size == 0, "no whole block yet");
  }
  orvo_buffer_free(&ignored);
  return c;
}
static void* alias_plain_cipher(void) { return cipher_for_alias(0, 0); }
static void* alias_encrypt_stream(void) { return cipher_for_alias(1, 1); }
static void* alias_decrypt_stream(void) { return cipher_for_alias(1, 0); }
static void alias_free_cipher(void* c) { orvo_cipher_free(c); }

static orvo_rsa* alias_rsa;
static void* alias_shared_rsa(void) { return alias_rsa; }
static void* alias_none(void) { return NULL; }
static void alias_keep(void* handle) { (void)handle; }

static orvo_status call_encrypt(void* c, const void* d, size_t n, orvo_buffer* out) { return orvo_cipher_encrypt(c, d, n, out); }
static orvo_status call_decrypt(void* c, const void* d, size_t n, orvo_buffer* out) { return orvo_cipher_decrypt(c, d, n, out); }
static orvo_status call_encrypt_update(void* c, const void* d, size_t n, orvo_buffer* out) {
  orvo_buffer last = ORVO_BUFFER_INIT;
  orvo_status s = orvo_cipher_encrypt_update(c, d, n, out);
  if (s == ORVO_OK) s = orvo_cipher_encrypt_final(c, &last);
  if (s == ORVO_OK) append(out, &last);
  orvo_buffer_free(&last);
  return s;
}
static orvo_status call_decrypt_update(void* c, const void* d, size_t n, orvo_buffer* out) {
  /* 5 bytes fed before: the bytes that complete the last block follow */
  static const uint8_t fill[16] = {0};
  orvo_buffer last = ORVO_BUFFER_INIT;
  orvo_status s = orvo_cipher_decrypt_update(c, d, n, out);
  if (s == ORVO_OK) s = orvo_cipher_decrypt_update(c, fill, (16 - (5 + n) % 16) % 16, &last);
  if (s == ORVO_OK) s = orvo_cipher_decrypt_final(c);
  if (s == ORVO_OK) append(out, &last);
  orvo_buffer_free(&last);
  return s;
}
/* RSA encryption draws a fresh seed: the block is decrypted again, in place. */
static orvo_status call_rsa_round_trip(void* r, const void* d, size_t n, orvo_buffer* out) {
  orvo_status s = orvo_rsa_encrypt(r, d, n, out);
  return s == ORVO_OK ? orvo_rsa_decrypt(r, out->data, out->size, out) : s;
}
static orvo_status call_rsa_sign(void* r, const void* d, size_t n, orvo_buffer* out) { return orvo_rsa_sign(r, d, n, out); }
static orvo_status call_md5(void* h, const void* d, size_t n, orvo_buffer* out) { (void)h; return orvo_md5_digest(d, n, out); }
static orvo_status call_sha1(void* h, const void* d, size_t n, orvo_buffer* out) { (void)h; return orvo_sha1_digest(d, n, out); }
static orvo_status call_set(void* h, const void* d, size_t n, orvo_buffer* out) { (void)h; return orvo_buffer_set(out, d, n); }
static orvo_status call_insert_frame(void* h, const void* d, size_t n, orvo_buffer* out) {
  (void)h;
  return orvo_insert_frame(out, 3, d, n);
}

/* Every call that takes bytes and writes an orvo_buffer, given bytes of that
 * buffer itself (all of them, its tail, its head) gives what it gives for a
 * copy of them. The output buffer holds `size` bytes before the call. */
static void test_aliasing(void) {
  static const struct {
    const char* name;
    void* (*make)(void);
    void (*drop)(void*);
    alias_call call;
    size_t size, offset; /* the overlapping inputs start or stop `offset` bytes in */
  } kCalls[] = {
      {"orvo_buffer_set", alias_none, alias_keep, call_set, 45, 7},
      {"orvo_cipher_encrypt", alias_plain_cipher, alias_free_cipher, call_encrypt, 45, 7},
      {"orvo_cipher_decrypt", alias_plain_cipher, alias_free_cipher, call_decrypt, 48, 16},
      {"orvo_cipher_encrypt_update", alias_encrypt_stream, alias_free_cipher, call_encrypt_update, 45, 7},
      {"orvo_cipher_encrypt_update", alias_encrypt_stream, alias_free_cipher, call_encrypt_update, 40, 9},
      {"orvo_cipher_decrypt_update", alias_decrypt_stream, alias_free_cipher, call_decrypt_update, 45, 7},
      {"orvo_cipher_decrypt_update", alias_decrypt_stream, alias_free_cipher, call_decrypt_update, 40, 9},
      {"orvo_rsa_encrypt, orvo_rsa_decrypt", alias_shared_rsa, alias_keep, call_rsa_round_trip, 45, 7},
      {"orvo_rsa_sign", alias_shared_rsa, alias_keep, call_rsa_sign, 45, 7},
      {"orvo_md5_digest", alias_none, alias_keep, call_md5, 45, 7},
      {"orvo_sha1_digest", alias_none, alias_keep, call_sha1, 45, 7},
      {"orvo_insert_frame", alias_none, alias_keep, call_insert_frame, 45, 7},
  };
  size_t i, v;
  uint8_t pattern[64];
  for (i = 0; i < sizeof pattern; ++i) pattern[i] = (uint8_t)(i * 37 + 11);
  OK(orvo_rsa_new(&alias_rsa));
  OK(orvo_rsa_generate_key(alias_rsa, "alias one", 9, "alias two", 9, 64));
  for (i = 0; i < sizeof kCalls / sizeof kCalls[0]; ++i) {
    const size_t m = kCalls[i].size, off = kCalls[i].offset;
    /* the whole buffer, its tail, its head */
    const size_t starts[3] = {0, off, 0}, lengths[3] = {m, m - off, m - off};
    for (v = 0; v < 3; ++v) {
      char where[96];
      orvo_buffer aliased = ORVO_BUFFER_INIT, plain = ORVO_BUFFER_INIT;
      uint8_t copy[64];
      void *h1 = kCalls[i].make(), *h2 = kCalls[i].make();
      orvo_status s1, s2;
      snprintf(where, sizeof where, "%s, bytes %u to %u of %u", kCalls[i].name, (unsigned)starts[v],
               (unsigned)(starts[v] + lengths[v]), (unsigned)m);
      OK(orvo_buffer_set(&aliased, pattern, m));
      OK(orvo_buffer_set(&plain, pattern, m));
      memcpy(copy, pattern + starts[v], lengths[v]);
      s1 = kCalls[i].call(h1, aliased.data + starts[v], lengths[v], &aliased);
      s2 = kCalls[i].call(h2, copy, lengths[v], &plain);
      CHECK(s1 == ORVO_OK && s2 == ORVO_OK, where);
      CHECK(aliased.size == plain.size && memcmp(aliased.data, plain.data, plain.size) == 0, where);
      kCalls[i].drop(h1);
      kCalls[i].drop(h2);
      orvo_buffer_free(&aliased);
      orvo_buffer_free(&plain);
    }
  }
  orvo_rsa_free(alias_rsa);
  {
    /* refused: a number written into the bytes the call frees, and two
       buffers holding the same bytes */
    orvo_buffer blob = ORVO_BUFFER_INIT, same_bytes;
    uint32_t crc_and_data[3] = {0, 0x64636261u, 0x68676665u}, crc = 0;
    OK(orvo_buffer_set(&blob, pattern, 16));
    FAILS(orvo_extract_long(&blob, 0, (uint32_t*)(void*)(blob.data + 8)), ORVO_E_INVALID_ARGUMENT,
          "orvo_extract_long: value lies in the blob's bytes");
    same_bytes = blob;
    FAILS(orvo_extract_frame(&blob, 0, &same_bytes), ORVO_E_INVALID_ARGUMENT,
          "orvo_extract_frame: out holds the blob's bytes");
    CHECK(blob.size == 16 && memcmp(blob.data, pattern, 16) == 0, "nothing changed");
    orvo_buffer_free(&blob);
    /* a checksum register inside its own input: as if the input were copied */
    OK(orvo_crc32_update(&crc, crc_and_data, sizeof crc_and_data));
    OK(orvo_crc32_update(&crc_and_data[0], crc_and_data, sizeof crc_and_data));
    CHECK(crc_and_data[0] == crc, "orvo_crc32_update");
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: capi_test DATA_DIR\n");
    return 2;
  }
  data_dir = argv[1];
  test_block_vectors();
  test_engine_vectors();
  test_keygen_vectors();
  test_digest_vectors();
  test_random();
  test_rsa_vectors();
  test_rsa_key_loading();
  test_cipher_errors();
  test_cipher_iv();
  test_strip_filler();
  test_error_text_per_thread();
  test_framing();
  test_aliasing();
  if (failures != 0) {
    fprintf(stderr, "capi_test: %d failure(s)\n", failures);
    return 1;
  }
  printf("capi_test: all passed\n");
  return 0;
}
