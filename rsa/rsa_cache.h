// What an XRSAKey derives from its numbers for the fast paths: Montgomery
// constants for n, p and q, and the verdict on whether Decrypt may use the
// Chinese remainder theorem. Every entry remembers the numbers it was made
// from and is rebuilt when they differ, so loading a blob or assigning a
// number never leaves a stale entry behind.
#pragma once

#include <memory>

#include "rsa/bigint.h"
#include "rsa/montgomery.h"
#include "rsa/rsa_key.h"

struct XRSAKey::Cache {
  std::unique_ptr<orvo::MontgomeryModulus> modN;
  std::unique_ptr<orvo::MontgomeryModulus> modP;
  std::unique_ptr<orvo::MontgomeryModulus> modQ;

  // Copies of n, d, p, q, dP, dQ, qInv when the CRT verdict was reached.
  bool crtChecked = false;
  bool crtUsable = false;
  XBigInt crtNumbers[7];
};
