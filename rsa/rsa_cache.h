// What an XRSAKey derives from its numbers for the fast paths: Montgomery
// constants for n, p and q, and the verdicts on whether the Chinese remainder
// theorem gives d's results (Decrypt uses it; Sign requires it). Every entry
// remembers the numbers it was made from and is rebuilt when they differ, so
// loading a blob or assigning a number never leaves a stale entry behind.
//
// The operations are const and may run on one key from several threads at
// once, so the entries are read and replaced only under `lock`. A call holds
// the lock just long enough to compare the numbers and copy the shared
// pointers it needs (building an entry the first time, or after the numbers
// changed); the exponentiations run after it is released, on constants that
// stay alive for that call even if another thread replaces the entry.
#pragma once

#include <memory>
#include <mutex>

#include "rsa/bigint.h"
#include "rsa/montgomery.h"
#include "rsa/rsa_key.h"

struct XRSAKey::Cache {
  std::mutex lock;
  std::shared_ptr<const orvo::MontgomeryModulus> modN;
  std::shared_ptr<const orvo::MontgomeryModulus> modP;
  std::shared_ptr<const orvo::MontgomeryModulus> modQ;

  // Copies of n, d, p, q, dP, dQ, qInv when the CRT verdicts were reached:
  // whether the CRT numbers agree with n and d, and (tested only when
  // Decrypt first asks) whether the CRT gives d's result for a test value.
  bool crtChecked = false;
  bool crtConsistent = false;
  bool crtTested = false;
  bool crtAgrees = false;
  XBigInt crtNumbers[7];
};
