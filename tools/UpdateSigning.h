#pragma once
// Release signing of update manifests: Ed25519 key pairs and detached signatures, as hexadecimal
// text (secret seed and public key 64 digits, signature 128), and the expiry written into the signed
// text. The program checks what this signs.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace venturo::signing {

using TSeed = std::array<std::uint8_t, 32>;

/// A fresh secret seed from the system's random source; raises std::runtime_error when none.
TSeed NewSeed();
/// Reads a seed from 64 hexadecimal digits (surrounding blanks ignored); raises std::runtime_error.
TSeed SeedFromHex(std::string_view text);
/// Lower-case hexadecimal text of bytes.
std::string ToHex(const std::uint8_t* bytes, size_t count);
/// The public key of seed, as hexadecimal text.
std::string PublicKeyHex(const TSeed& seed);
/// The Ed25519 signature of message by seed, as hexadecimal text (the signature file's content).
std::string SignHex(std::string_view message, const TSeed& seed);

/// How long a signed manifest is believed unless the release says otherwise (days).
inline constexpr int kDefaultExpiryDays = 30;
/// The moment as the manifest's Expires= value: "yyyy-mm-ddThh:nn:ssZ" in UTC, whatever the locale.
std::string ExpiryText(std::chrono::system_clock::time_point when);
/// manifest with its Expires= value set to expires: any Expires= lines go, and one is written
/// right after the [WebUpdate] section's header, with the manifest's own line ends. Raises
/// std::runtime_error when there is no such section.
std::string WithExpiry(std::string_view manifest, std::chrono::system_clock::time_point expires);

} // namespace venturo::signing
