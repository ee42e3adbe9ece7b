// Modular arithmetic on XBigInt: the members MulMod, PowMod, Gcd and
// InverseMod are declared in bigint.h. This header names the limb-wise
// reference forms that the word-sized fast paths are tested against.
#pragma once

#include "rsa/bigint.h"

namespace orvo::reference {

// base^e mod m by square-and-multiply from the least significant bit of e,
// each step a MulMod (Multiply, then Modulo). The base is not reduced first,
// so e = 0 gives 1 even when m is 1.
XBigInt PowMod(const XBigInt& base, const XBigInt& e, const XBigInt& m);

}  // namespace orvo::reference
