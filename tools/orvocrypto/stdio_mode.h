#pragma once

namespace orvo::cli {

// Standard input and output carry raw bytes (Windows opens them in text mode).
void SetBinaryStdio();

}  // namespace orvo::cli
