// venturo_update_sign: makes the release key pair and signs update manifests.
#include "UpdateSigning.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace venturo::signing;

constexpr const char* kUsage =
    "Usage: venturo_update_sign keygen SECRET-KEY-FILE\n"
    "       venturo_update_sign pubkey SECRET-KEY-FILE\n"
    "       venturo_update_sign sign SECRET-KEY-FILE MANIFEST [DAYS]\n"
    "keygen writes a new secret key (readable by its owner only, never overwritten) and prints the\n"
    "public key for VENTURO_UPDATE_PUBLIC_KEY; pubkey prints it again; sign sets MANIFEST's Expires=\n"
    "to DAYS (default 30) days from now and writes MANIFEST.sig.\n";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteSecret(const fs::path& path, const std::string& text) {
    if (fs::exists(fs::symlink_status(path))) {
        throw std::runtime_error(path.string() + " exists; a key is never overwritten");
    }
    { std::ofstream create(path, std::ios::binary); }
    // Private before the secret goes in.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text << "\n";
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

int ExpiryDays(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < 1) {
        throw std::runtime_error("DAYS is a whole number from 1 to 9999");
    }
    return std::stoi(text);
}

int Run(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "keygen" && argc == 3) {
        TSeed seed = NewSeed();
        WriteSecret(argv[2], ToHex(seed.data(), seed.size()));
        std::cout << PublicKeyHex(seed) << "\n";
        return 0;
    }
    if (command == "pubkey" && argc == 3) {
        std::cout << PublicKeyHex(SeedFromHex(ReadFile(argv[2]))) << "\n";
        return 0;
    }
    if (command == "sign" && (argc == 4 || argc == 5)) {
        int days = argc == 5 ? ExpiryDays(argv[4]) : kDefaultExpiryDays;
        TSeed seed = SeedFromHex(ReadFile(argv[2]));
        auto expires = std::chrono::system_clock::now() + std::chrono::days(days);
        // The expiry is part of the signed text, so nobody can serve the manifest longer.
        std::string manifest = WithExpiry(ReadFile(argv[3]), expires);
        std::ofstream(argv[3], std::ios::binary | std::ios::trunc) << manifest;
        std::string signature = SignHex(manifest, seed);
        std::cout << "expires " << ExpiryText(expires) << "\n";
        fs::path out = std::string(argv[3]) + ".sig";
        std::ofstream(out, std::ios::binary | std::ios::trunc) << signature << "\n";
        std::cout << "wrote " << out.string() << "\n";
        return 0;
    }
    std::cerr << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "venturo_update_sign: " << e.what() << "\n";
        return 1;
    }
}
