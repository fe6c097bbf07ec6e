// Base64 (RFC 4648, with padding) for binary data kept in XML text.
#pragma once

#include <string>

std::string EncodeBase64(const std::string& bytes);
// False (and `bytes` empty) for text that is not base64; white space is
// skipped.
bool DecodeBase64(const std::string& text, std::string& bytes);
