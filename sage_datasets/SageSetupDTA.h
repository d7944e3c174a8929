#pragma once
// Reader and writer of a dataset's fixed-layout header file ACCDATA/SETUP.DTA.
#include "SageApi.h"

#include "rtl/FileStream.h"
#include "rtl/ObjectHooks.h"
#include "rtl/UnicodeString.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sage {

/// A growable array of bytes: the transfer buffer of field reads and writes.
using TByteArray = std::vector<std::uint8_t>;

/// Reads and writes the 8-bit text fields of SETUP.DTA. Opens itself on first use: for reading
/// (sharing read and write) on a read, for reading and writing (denying others write) on a write.
class SAGE_API TSageSetupDTA : public rtl::TObject {
public:
    TSageSetupDTA() = default;
    ~TSageSetupDTA() override;

    /// The normalised dataset folder; empty until an existing folder was assigned.
    const rtl::UnicodeString& DatasetFolder() const noexcept { return _szDatasetFolder; }
    /// Accepts the dataset folder or its ACCDATA folder; a folder that does not exist is ignored.
    void SetDatasetFolder(const rtl::UnicodeString& szDatasetFolder) { _SetDatasetFolder(szDatasetFolder); }

    /// Opens SETUP.DTA read-only; stays closed when it does not exist. Raises EFOpenError when the
    /// system refuses an existing file.
    void Open();
    /// Opens SETUP.DTA for reading and writing; stays closed when it does not exist.
    void OpenForWrite();
    /// Closes the file; nothing happens when closed.
    void Close();
    /// Opens the file when needed and moves to offset from its start.
    void SeekTo(std::int64_t nOffset);

    /// Reads the field at nOffset into Buffer (at least nLength bytes), NUL-terminating its value
    /// inside the field; returns the value length: text before the first NUL, trailing spaces dropped.
    /// Bytes beyond the end of the file count as NUL; 0 when the file cannot be opened.
    std::int32_t ReadSpacePaddedBytes(std::int64_t nOffset, std::int64_t nLength, void* Buffer);
    /// The value of the field as text, each byte the character of the same code.
    rtl::UnicodeString ReadSpacePaddedString(std::int64_t nOffset, std::int64_t nLength);

    /// Writes nLength bytes of Buffer at nOffset; returns the count written, 0 when the file cannot be
    /// opened for writing.
    std::int64_t WriteBytes(std::int64_t nOffset, std::int64_t nLength, const void* Buffer);
    /// Writes szData (low 8 bits of each character) padded with NUL bytes to nLength.
    std::int64_t WriteNullPaddedString(std::int64_t nOffset, std::int64_t nLength,
                                       const rtl::UnicodeString& szData);
    /// Writes szData padded with spaces to nLength.
    std::int64_t WriteSpacePaddedString(std::int64_t nOffset, std::int64_t nLength,
                                        const rtl::UnicodeString& szData);
    /// Writes at most nLength - 1 characters of szData, spaces up to the last byte and a NUL in it.
    std::int64_t WriteSpacePaddedNullTerminatedString(std::int64_t nOffset, std::int64_t nLength,
                                                      const rtl::UnicodeString& szData);

protected:
    /// Stores the folder without trailing separators and without a final ACCDATA level, if it exists.
    virtual void _SetDatasetFolder(const rtl::UnicodeString& szDatasetFolder);

private:
    enum class TPadding { Null, Space, SpaceNullTerminated };

    rtl::UnicodeString _GetSetupFilename();
    bool _CheckOpen();
    bool _CheckOpenForWrite();
    /// Reads up to nLength bytes at nOffset of the open file; the count read.
    std::int64_t _ReadAt(std::int64_t nOffset, std::int64_t nLength, std::uint8_t* bytes);
    std::int64_t _WritePaddedString(std::int64_t nOffset, std::int64_t nLength,
                                    const rtl::UnicodeString& szData, TPadding padding);
    /// Takes a report and returns: callers go on with empty names and closed files.
    void _RaiseException(const rtl::UnicodeString& szMessage);

    rtl::UnicodeString _szDatasetFolder;
    rtl::TFileStream* _fsFile = nullptr; // open for writing, or for reading a file too large to hold
    bool _blWriteMode = false;
    bool _blSnapshot = false; // opened for reading: the file's bytes are held in _sSnapshot
    std::string _sSnapshot;
};

} // namespace sage
