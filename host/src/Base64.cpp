#include "Base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::string EncodeBase64(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 |
                           (unsigned char)bytes[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = (unsigned char)bytes[i] << 16;
        if (rest == 2)
            v |= (unsigned char)bytes[i + 1] << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool DecodeBase64(const std::string& text, std::string& bytes) {
    bytes.clear();
    unsigned buffer = 0;
    int bits = 0;
    size_t padding = 0;
    size_t symbols = 0;
    for (char c : text) {
        if (IsSpace(c))
            continue;
        if (c == '=') {
            ++padding;
            ++symbols;
            continue;
        }
        const int v = ValueOf(c);
        if (v < 0 || padding > 0) {
            bytes.clear();
            return false;
        }
        ++symbols;
        buffer = (buffer << 6) | unsigned(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += char((buffer >> bits) & 0xFF);
        }
    }
    if (symbols % 4 != 0 || padding > 2) {
        bytes.clear();
        return false;
    }
    return true;
}
