// XAES (FIPS-197): key blob, key expansion and the table-driven block code.
#include "crypto/aes.h"

#include <cstring>

#include "base/alarm.h"
#include "base/byte_order.h"
#include "base/constant_time.h"
#include "base/cpu_features.h"
#include "base/wipe.h"
#include "crypto/aes_ni.h"
#include "crypto/aes_tables.h"
#include "crypto/aes_vaes.h"
#include "digest/seed_expansion.h"

using orvo::load32_le;
using orvo::rotl32;
using orvo::rotr32;
using orvo::store32_le;
using orvo::aes_tables::kInvSbox;
using orvo::aes_tables::kSbox;
using orvo::aes_tables::kTd;
using orvo::aes_tables::kTe;

namespace {

constexpr const char kName[] = "AES";

uint32_t KeyLengthFor(uint32_t rounds) { return rounds == 10 ? 16 : rounds == 12 ? 24 : 32; }

// Byte r (row r) of a little-endian column word.
inline uint32_t Row(uint32_t column, unsigned r) { return (column >> (8 * r)) & 0xFF; }

// The key expansion runs in constant time on every path: the schedule comes
// from the key, so neither SubWord nor InvMixColumns indexes a table by it.
// SubWord (FIPS-197 5.2) reads every S-box entry and keeps the one wanted by
// a mask; InvMixColumns (FIPS-197 5.3.3) multiplies in GF(2^8) with xtime on
// the four bytes of a column at once.
uint32_t SubByte(uint32_t b) {
  uint32_t r = 0;
  for (uint32_t k = 0; k < 256; ++k) r |= kSbox[k] & static_cast<uint32_t>(orvo::ct::EqualMask(k, b));
  return r;
}

uint32_t SubWord(uint32_t w) {
  return SubByte(Row(w, 0)) | SubByte(Row(w, 1)) << 8 | SubByte(Row(w, 2)) << 16 | SubByte(Row(w, 3)) << 24;
}

// {02} times each byte of a column word (FIPS-197 4.2.1).
inline uint32_t Xtime4(uint32_t x) { return ((x & 0x7F7F7F7Fu) << 1) ^ (((x >> 7) & 0x01010101u) * 0x1B); }

// Row r of the result is {0e} s_r + {0b} s_r+1 + {0d} s_r+2 + {09} s_r+3.
uint32_t InvMixColumn(uint32_t w) {
  const uint32_t w2 = Xtime4(w), w4 = Xtime4(w2), w8 = Xtime4(w4);
  const uint32_t e = w8 ^ w4 ^ w2, b = w8 ^ w2 ^ w, d = w8 ^ w4 ^ w, nine = w8 ^ w;
  return e ^ rotr32(b, 8) ^ rotr32(d, 16) ^ rotr32(nine, 24);
}

// One round of the cipher for output column c: SubBytes, ShiftRows and
// MixColumns through kTe (row r comes from column c + r).
inline uint32_t EncColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return kTe[Row(a, 0)] ^ rotl32(kTe[Row(b, 1)], 8) ^ rotl32(kTe[Row(c, 2)], 16) ^ rotl32(kTe[Row(d, 3)], 24);
}
inline uint32_t EncLastColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return uint32_t{kSbox[Row(a, 0)]} | uint32_t{kSbox[Row(b, 1)]} << 8 | uint32_t{kSbox[Row(c, 2)]} << 16 |
         uint32_t{kSbox[Row(d, 3)]} << 24;
}
// The inverse: InvShiftRows takes row r from column c - r.
inline uint32_t DecColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return kTd[Row(a, 0)] ^ rotl32(kTd[Row(b, 1)], 8) ^ rotl32(kTd[Row(c, 2)], 16) ^ rotl32(kTd[Row(d, 3)], 24);
}
inline uint32_t DecLastColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return uint32_t{kInvSbox[Row(a, 0)]} | uint32_t{kInvSbox[Row(b, 1)]} << 8 |
         uint32_t{kInvSbox[Row(c, 2)]} << 16 | uint32_t{kInvSbox[Row(d, 3)]} << 24;
}

// FIPS-197 Cipher (5.1) with Nr = rounds, any Nr from 0 to 14.
void CipherTable(const uint32_t* rk, uint32_t rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = load32_le(in) ^ rk[0];
  uint32_t s1 = load32_le(in + 4) ^ rk[1];
  uint32_t s2 = load32_le(in + 8) ^ rk[2];
  uint32_t s3 = load32_le(in + 12) ^ rk[3];
  for (uint32_t round = 1; round < rounds; ++round) {
    rk += 4;
    const uint32_t t0 = EncColumn(s0, s1, s2, s3) ^ rk[0];
    const uint32_t t1 = EncColumn(s1, s2, s3, s0) ^ rk[1];
    const uint32_t t2 = EncColumn(s2, s3, s0, s1) ^ rk[2];
    const uint32_t t3 = EncColumn(s3, s0, s1, s2) ^ rk[3];
    s0 = t0, s1 = t1, s2 = t2, s3 = t3;
  }
  if (rounds != 0) rk += 4;
  store32_le(out, EncLastColumn(s0, s1, s2, s3) ^ rk[0]);
  store32_le(out + 4, EncLastColumn(s1, s2, s3, s0) ^ rk[1]);
  store32_le(out + 8, EncLastColumn(s2, s3, s0, s1) ^ rk[2]);
  store32_le(out + 12, EncLastColumn(s3, s0, s1, s2) ^ rk[3]);
}

// FIPS-197 equivalent inverse cipher (5.3.5) with the decryption schedule.
void InvCipherTable(const uint32_t* dk, uint32_t rounds, const uint8_t* in, uint8_t* out) {
  const uint32_t* rk = dk + 4 * rounds;
  uint32_t s0 = load32_le(in) ^ rk[0];
  uint32_t s1 = load32_le(in + 4) ^ rk[1];
  uint32_t s2 = load32_le(in + 8) ^ rk[2];
  uint32_t s3 = load32_le(in + 12) ^ rk[3];
  for (uint32_t round = 1; round < rounds; ++round) {  // rounds Nr-1 down to 1
    rk -= 4;
    const uint32_t t0 = DecColumn(s0, s3, s2, s1) ^ rk[0];
    const uint32_t t1 = DecColumn(s1, s0, s3, s2) ^ rk[1];
    const uint32_t t2 = DecColumn(s2, s1, s0, s3) ^ rk[2];
    const uint32_t t3 = DecColumn(s3, s2, s1, s0) ^ rk[3];
    s0 = t0, s1 = t1, s2 = t2, s3 = t3;
  }
  store32_le(out, DecLastColumn(s0, s3, s2, s1) ^ dk[0]);
  store32_le(out + 4, DecLastColumn(s1, s0, s3, s2) ^ dk[1]);
  store32_le(out + 8, DecLastColumn(s2, s1, s0, s3) ^ dk[2]);
  store32_le(out + 12, DecLastColumn(s3, s2, s1, s0) ^ dk[3]);
}

// The table-driven engine.
void EncryptTableECB(const uint32_t* schedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (size_t i = 0; i < blocks; ++i) CipherTable(schedule, rounds, in + 16 * i, out + 16 * i);
}

void DecryptTableECB(const uint32_t* schedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (size_t i = 0; i < blocks; ++i) InvCipherTable(schedule, rounds, in + 16 * i, out + 16 * i);
}

void EncryptTableCBC(const uint32_t* schedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                     uint8_t* iv) {
  uint8_t block[16];
  const uint8_t* previous = iv;
  for (size_t i = 0; i < blocks; ++i) {
    for (int j = 0; j < 16; ++j) block[j] = static_cast<uint8_t>(in[16 * i + j] ^ previous[j]);
    CipherTable(schedule, rounds, block, out + 16 * i);
    previous = out + 16 * i;
  }
  if (blocks != 0) std::memcpy(iv, previous, 16);
  orvo::SecureWipe(block, sizeof block);
}

void DecryptTableCBC(const uint32_t* schedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                     uint8_t* iv) {
  const uint8_t* previous = iv;
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t* plain = out + 16 * i;
    InvCipherTable(schedule, rounds, in + 16 * i, plain);
    for (int j = 0; j < 16; ++j) plain[j] = static_cast<uint8_t>(plain[j] ^ previous[j]);
    previous = in + 16 * i;
  }
  if (blocks != 0) std::memcpy(iv, previous, 16);
}

using orvo::aes::Engine;
using orvo::aes::EngineOps;

// Indexed by Engine.
constexpr EngineOps kEngines[] = {
    {Engine::kTable, EncryptTableECB, DecryptTableECB, EncryptTableCBC, DecryptTableCBC},
    {Engine::kAesNi, orvo::aesni::EncryptECB, orvo::aesni::DecryptECB, orvo::aesni::EncryptCBC,
     orvo::aesni::DecryptCBC},
    {Engine::kVaes256, orvo::vaes256::EncryptECB, orvo::vaes256::DecryptECB, orvo::aesni::EncryptCBC,
     orvo::vaes256::DecryptCBC},
    {Engine::kVaes512, orvo::vaes512::EncryptECB, orvo::vaes512::DecryptECB, orvo::aesni::EncryptCBC,
     orvo::vaes512::DecryptCBC},
};

const EngineOps& Ops(Engine engine) {
  const auto index = static_cast<size_t>(engine);
  return kEngines[index < sizeof kEngines / sizeof kEngines[0] ? index : 0];
}

bool Runs(Engine engine) {
  const orvo::cpu::Features& f = orvo::cpu::Detected();
  const bool aesNi = f.aesni && f.sse41;
  switch (engine) {
    case Engine::kTable: return true;
    case Engine::kAesNi: return aesNi;
    case Engine::kVaes256: {
      if (!aesNi || !f.vaes) return false;
      static const bool answers = XAES::WideEngineAnswersRight(Engine::kVaes256);
      return answers;
    }
    case Engine::kVaes512: {
      if (!aesNi || !f.vaes || !f.avx512f) return false;
      static const bool answers = XAES::WideEngineAnswersRight(Engine::kVaes512);
      return answers;
    }
  }
  return false;
}

}  // namespace

XAES::XAES() : ops_(&Ops(Engine::kTable)) {}

XAES::XAES(Engine engine) : ops_(&Ops(Runs(engine) ? engine : Engine::kTable)), pinned_(true) {}

XAES::~XAES() {
  orvo::SecureWipe(encSchedule_, sizeof encSchedule_);
  orvo::SecureWipe(decSchedule_, sizeof decSchedule_);
  rounds_ = 0;
}

void XAES::GenerateKey(const XBlob& seed, uint32_t length) {
  const uint32_t rounds = length >= 32 ? 14 : length >= 24 ? 12 : 10;
  const uint32_t keyLength = KeyLengthFor(rounds);
  const XBlob key = ExpandSeed(seed, keyLength);
  LoadKey(rounds, key.data, keyLength);
}

void XAES::SetKey(const XBlob& blob) {
  if (blob.size < 5) throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  const uint32_t rounds = blob.ExtractLong(0);
  const uint32_t keyLength = KeyLengthFor(rounds);
  if (blob.size != 4 + keyLength) throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  // The schedules hold at most 15 round keys.
  if (rounds > kMaxRounds) throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  LoadKey(rounds, blob.data + 4, keyLength);
}

XBlob XAES::GetKey() const {
  RequireKey(kName);
  return key_.Blob();
}

void XAES::LoadKey(uint32_t rounds, const uint8_t* key, uint32_t keyLength) {
  key_.Store(rounds, key, keyLength);
  rounds_ = rounds;

  // Key expansion (FIPS-197 5.2). Words beyond 4 * (Nr + 1) are expanded too
  // when a short round count meets a long key: the first Nk words are the key.
  const uint32_t nk = keyLength / 4;
  uint32_t total = 4 * (rounds + 1);
  if (total < nk) total = nk;
  uint32_t* w = encSchedule_;
  std::memset(encSchedule_, 0, sizeof encSchedule_);
  for (uint32_t i = 0; i < nk; ++i) w[i] = load32_le(key_.data() + 4 * i);
  uint8_t rcon = 0x01;
  for (uint32_t i = nk; i < total; ++i) {
    uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      // RotWord moves byte 0 to the top: a rotation right in little-endian words.
      temp = SubWord(rotr32(temp, 8)) ^ rcon;
      rcon = static_cast<uint8_t>((rcon << 1) ^ ((rcon & 0x80) != 0 ? 0x1B : 0));
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }

  std::memset(decSchedule_, 0, sizeof decSchedule_);
  for (uint32_t i = 0; i < 4 * (rounds + 1); ++i) {
    const uint32_t round = i / 4;
    decSchedule_[i] = round == 0 || round == rounds ? w[i] : InvMixColumn(w[i]);
  }
  if (!pinned_) ops_ = &Ops(orvo::aes::EngineInUse());
  MarkKeySet();
}

bool XAES::WideEngineAnswersRight(orvo::aes::Engine engine) {
  // Seven blocks of the FIPS-197 C.1 key: whole vectors and a partial one on
  // either width, each block different, in both directions and in CBC. The
  // object keeps the tables: LoadKey asks for no engine when pinned.
  constexpr size_t kBlocks = 7;
  XAES aes(orvo::aes::Engine::kTable);
  uint8_t key[16];
  for (uint8_t i = 0; i < 16; ++i) key[i] = i;
  aes.LoadKey(10, key, 16);
  const EngineOps& wide = Ops(engine);
  uint8_t plain[16 * kBlocks], want[16 * kBlocks], got[16 * kBlocks], back[16 * kBlocks];
  for (size_t i = 0; i < sizeof plain; ++i) plain[i] = static_cast<uint8_t>(i * 17 + 1);
  for (size_t i = 0; i < kBlocks; ++i) CipherTable(aes.encSchedule_, 10, plain + 16 * i, want + 16 * i);
  uint8_t iv[16] = {};
  wide.encryptECB(aes.encSchedule_, 10, plain, got, kBlocks);
  wide.decryptECB(aes.decSchedule_, 10, got, back, kBlocks);
  if (std::memcmp(back, plain, sizeof plain) != 0) return false;
  wide.decryptCBC(aes.decSchedule_, 10, got, back, kBlocks, iv);
  // CBC: block i comes back as plaintext i XOR ciphertext i - 1 (zero IV).
  for (size_t i = 16; i < sizeof plain; ++i) back[i] = static_cast<uint8_t>(back[i] ^ got[i - 16]);
  return std::memcmp(got, want, sizeof want) == 0 && std::memcmp(back, plain, sizeof plain) == 0 &&
         std::memcmp(iv, got + 16 * (kBlocks - 1), 16) == 0;
}

namespace orvo::aes {

bool EngineAvailable(Engine engine) { return Runs(engine); }

Engine EngineInUse() {
  static const Engine widest = [] {
    for (const Engine engine : {Engine::kVaes512, Engine::kVaes256, Engine::kAesNi}) {
      if (Runs(engine)) return engine;
    }
    return Engine::kTable;
  }();
  return widest;
}

const char* EngineName(Engine engine) {
  switch (engine) {
    case Engine::kTable: return "table";
    case Engine::kAesNi: return "aesni";
    case Engine::kVaes256: return "vaes256";
    case Engine::kVaes512: return "vaes512";
  }
  return "table";
}

}  // namespace orvo::aes

void XAES::EncryptBlock(const uint8_t* in, uint8_t* out) const { ops_->encryptECB(encSchedule_, rounds_, in, out, 1); }

void XAES::DecryptBlock(const uint8_t* in, uint8_t* out) const { ops_->decryptECB(decSchedule_, rounds_, in, out, 1); }

void XAES::EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  ops_->encryptECB(encSchedule_, rounds_, in, out, blocks);
}

void XAES::DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  ops_->decryptECB(decSchedule_, rounds_, in, out, blocks);
}

void XAES::EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  ops_->encryptCBC(encSchedule_, rounds_, in, out, blocks, iv);
}

void XAES::DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  ops_->decryptCBC(decSchedule_, rounds_, in, out, blocks, iv);
}
