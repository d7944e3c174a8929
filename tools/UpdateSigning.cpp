#include "UpdateSigning.h"

#include <sodium.h>

#include <cstdio>
#include <stdexcept>

namespace venturo::signing {

namespace {

// The key pair of a seed: the secret key is the seed followed by the public key.
struct TKeyPair {
    std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> Public{};
    std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> Secret{};
    TKeyPair() = default;
    TKeyPair(const TKeyPair&) = delete;
    TKeyPair& operator=(const TKeyPair&) = delete;
    ~TKeyPair() { sodium_memzero(Secret.data(), Secret.size()); }
};

void Initialise() {
    if (sodium_init() < 0) {
        throw std::runtime_error("the cryptography library cannot start");
    }
}

void MakeKeyPair(const TSeed& seed, TKeyPair& pair) {
    static_assert(sizeof(TSeed) == crypto_sign_SEEDBYTES);
    Initialise();
    if (crypto_sign_seed_keypair(pair.Public.data(), pair.Secret.data(), seed.data()) != 0) {
        throw std::runtime_error("cannot make an Ed25519 key");
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string_view Trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

} // namespace

TSeed NewSeed() {
    Initialise();
    TSeed seed{};
    randombytes_buf(seed.data(), seed.size());
    return seed;
}

TSeed SeedFromHex(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
    TSeed seed{};
    if (text.size() != 2 * seed.size()) {
        throw std::runtime_error("a secret key is 64 hexadecimal digits");
    }
    for (size_t i = 0; i < seed.size(); ++i) {
        int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            throw std::runtime_error("a secret key is 64 hexadecimal digits");
        }
        seed[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return seed;
}

std::string ToHex(const std::uint8_t* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::string PublicKeyHex(const TSeed& seed) {
    TKeyPair pair;
    MakeKeyPair(seed, pair);
    return ToHex(pair.Public.data(), pair.Public.size());
}

std::string SignHex(std::string_view message, const TSeed& seed) {
    TKeyPair pair;
    MakeKeyPair(seed, pair);
    std::array<std::uint8_t, crypto_sign_BYTES> signature{};
    if (crypto_sign_detached(signature.data(), nullptr,
                             reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                             pair.Secret.data()) != 0) {
        throw std::runtime_error("cannot sign");
    }
    return ToHex(signature.data(), signature.size());
}

std::string ExpiryText(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const sys_seconds seconds = floor<std::chrono::seconds>(when);
    const sys_days day = floor<days>(seconds);
    const year_month_day date(day);
    const hh_mm_ss time(seconds - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string WithExpiry(std::string_view manifest, std::chrono::system_clock::time_point expires) {
    const std::string lineEnd = manifest.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string out;
    bool placed = false;
    size_t start = 0;
    while (start < manifest.size()) {
        size_t end = manifest.find('\n', start);
        size_t next = end == std::string_view::npos ? manifest.size() : end + 1;
        std::string_view line = manifest.substr(start, next - start);
        start = next;
        std::string key = Lower(Trimmed(line.substr(0, line.find('='))));
        if (line.find('=') != std::string_view::npos && key == "expires") {
            continue;
        }
        out += line;
        if (!placed && Lower(Trimmed(line)) == "[webupdate]") {
            if (!out.ends_with('\n')) {
                out += lineEnd;
            }
            out += "Expires=" + ExpiryText(expires) + lineEnd;
            placed = true;
        }
    }
    if (!placed) {
        throw std::runtime_error("the manifest has no [WebUpdate] section");
    }
    return out;
}

} // namespace venturo::signing
