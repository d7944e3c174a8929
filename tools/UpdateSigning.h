#pragma once
// Release signing of update manifests: Ed25519 key pairs and detached signatures, as hexadecimal
// text (secret seed and public key 64 digits, signature 128). The program checks what this signs.
#include <array>
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

} // namespace venturo::signing
