#pragma once
// Shared pieces of the fuzz targets: a private scratch folder, file helpers and a full read of a dataset.
#include "rtl/UnicodeString.h"
#include "sage_datasets/SageDataset.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace venturo::fuzz {

/// This process's scratch folder (RAM-backed when /dev/shm exists), made on first use and removed at exit.
const std::filesystem::path& ScratchRoot();
/// Writes the bytes to the file, creating its parent folders.
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
/// The whole file; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& file);
/// Every regular file under root with its bytes, keyed by path.
std::map<std::filesystem::path, std::string> SnapshotTree(const std::filesystem::path& root);
/// Aborts (a finding) when any file under root differs from the snapshot or was added.
void CheckTreeUnchanged(const std::filesystem::path& root,
                        const std::map<std::filesystem::path, std::string>& before);
/// The path as the runtime's text.
rtl::UnicodeString ToRtl(const std::filesystem::path& path);
/// Reads every property, every return and all of each return's figures and texts.
void ReadEverything(sage::TSageDataset& dataset);

} // namespace venturo::fuzz
