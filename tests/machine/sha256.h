// SHA-256 (FIPS 180-4) of its own: Windows' CryptoAPI has it only from XP
// SP3 on, and the check kit gives digests on NT 4.0 and 2000 too.
#ifndef MACHINE_SHA256_H
#define MACHINE_SHA256_H

#include <string>

// The digest of the bytes, as 64 lower-case hexadecimal digits.
std::string Sha256(const std::string &bytes);

#endif
