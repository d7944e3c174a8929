#include "app/update/UpdateSignature.h"

#include <sodium.h>

namespace ven {

using rtl::UnicodeString;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

template <size_t N> std::optional<std::array<std::uint8_t, N>> ParseHex(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() != 2 * N) {
        return std::nullopt;
    }
    std::array<std::uint8_t, N> bytes{};
    for (size_t i = 0; i < N; ++i) {
        int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return bytes;
}

} // namespace

std::optional<TEd25519PublicKey> ParsePublicKeyHex(std::string_view text) {
    return ParseHex<32>(text);
}

std::optional<TEd25519Signature> ParseSignatureHex(std::string_view text) {
    return ParseHex<64>(text);
}

bool VerifyEd25519(std::string_view message, const TEd25519Signature& signature,
                   const TEd25519PublicKey& key) {
    static_assert(sizeof(TEd25519PublicKey) == crypto_sign_PUBLICKEYBYTES &&
                  sizeof(TEd25519Signature) == crypto_sign_BYTES);
    // Picks the library's implementations once; safe to call from any thread, any number of times.
    if (sodium_init() < 0) {
        return false;
    }
    return crypto_sign_verify_detached(signature.data(),
                                       reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                       key.data()) == 0;
}

UnicodeString CheckManifestSignature(std::string_view manifest, std::string_view signatureText,
                                     rtl::UnicodeStringView publicKeyHex) {
    std::optional<TEd25519PublicKey> key = ParsePublicKeyHex(rtl::StringToUtf8(publicKeyHex));
    if (!key) {
        return u"this program holds no valid release key";
    }
    std::optional<TEd25519Signature> signature = ParseSignatureHex(signatureText);
    if (!signature) {
        return u"the signature file holds no Ed25519 signature";
    }
    if (!VerifyEd25519(manifest, *signature, *key)) {
        return u"the signature does not match the manifest and the release key";
    }
    return UnicodeString();
}

} // namespace ven
