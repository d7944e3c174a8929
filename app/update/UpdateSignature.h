#pragma once
// The update manifest's signature: an Ed25519 signature over the manifest's exact bytes, served
// beside it as "<manifest>.sig" and checked against the release key built into the program.
// Key and signature travel as hexadecimal text (64 and 128 digits).
#include "rtl/UnicodeString.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ven {

/// The signature file's name suffix, appended to the manifest's address.
inline constexpr char16_t kSignatureSuffix[] = u".sig";

using TEd25519PublicKey = std::array<std::uint8_t, 32>;
using TEd25519Signature = std::array<std::uint8_t, 64>;

/// Reads exactly 2 * N hexadecimal digits (surrounding blanks and line ends ignored); none for
/// anything else.
std::optional<TEd25519PublicKey> ParsePublicKeyHex(std::string_view text);
std::optional<TEd25519Signature> ParseSignatureHex(std::string_view text);

/// True only when signature is a valid Ed25519 signature of message by key.
bool VerifyEd25519(std::string_view message, const TEd25519Signature& signature,
                   const TEd25519PublicKey& key);

/// Checks a manifest against the text of its signature file and the release key (hex text);
/// returns the reason it is not trusted, empty when it is.
rtl::UnicodeString CheckManifestSignature(std::string_view manifest, std::string_view signatureText,
                                          rtl::UnicodeStringView publicKeyHex);

} // namespace ven
