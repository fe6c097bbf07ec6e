// The hive file's text form on its own, for the corpus test and the fuzzer.
#pragma once

#include <string>

// Reads `bytes` as a hive file and writes the hive back: 0 when the bytes are
// no hive the store reads, 1 when the text written reads back to the same
// hive, -1 when it does not (the store would lose what it wrote).
int KVRegHiveRoundTrip(const std::string& bytes);
