#include "sage_datasets/SageSetupDTA.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <algorithm>
#include <limits>

namespace sage {

namespace {

// Either separator: Windows takes '/' as well as its own.
bool IsSeparator(char16_t c) {
    return c == rtl::PathDelim || c == u'/';
}

const rtl::UnicodeString kAccData = u"ACCDATA";
const rtl::UnicodeString kSetupDta = u"SETUP.DTA";

// A file opened for reading up to this size is read whole at once; a larger one field by field.
constexpr std::int64_t kMaxSnapshotSize = 1 << 20;

// Field widths are small constants; the clamp keeps hostile values from asking for absurd buffers
// and keeps the value length within its 32-bit result.
std::int64_t ClampLength(std::int64_t nLength) {
    return std::clamp<std::int64_t>(nLength, 0, std::numeric_limits<std::int32_t>::max() - 1);
}

void RemoveTrailing(rtl::UnicodeString& s, bool alsoSlash) {
    while (!s.empty() && (s.back() == rtl::PathDelim || (alsoSlash && s.back() == u'/'))) {
        s.pop_back();
    }
}

} // namespace

TSageSetupDTA::~TSageSetupDTA() {
    Close();
}

void TSageSetupDTA::_SetDatasetFolder(const rtl::UnicodeString& szDatasetFolder) {
    rtl::UnicodeString folder = szDatasetFolder;
    RemoveTrailing(folder, false);
    // A final AccData level, after either separator that a Windows path may use.
    const rtl::UnicodeString accData = u"AccData";
    if (folder.size() > accData.size() && rtl::EndsText(accData, folder) &&
        IsSeparator(folder[folder.size() - accData.size() - 1])) {
        folder.resize(folder.size() - accData.size() - 1);
    }
    if (!folder.empty() && rtl::DirectoryExists(folder)) {
        _szDatasetFolder = folder;
    }
}

rtl::UnicodeString TSageSetupDTA::_GetSetupFilename() {
    if (_szDatasetFolder.empty()) {
        _RaiseException(u"Please set the DatasetFolder property");
        return {};
    }
    RemoveTrailing(_szDatasetFolder, true);
    if (_szDatasetFolder.empty() || !rtl::DirectoryExists(_szDatasetFolder)) {
        _RaiseException(u"Dataset folder does not exist: " + _szDatasetFolder);
        return {};
    }
    return rtl::FindChildIgnoreCase(rtl::FindChildIgnoreCase(_szDatasetFolder, kAccData), kSetupDta);
}

void TSageSetupDTA::Open() {
    const rtl::UnicodeString fileName = _GetSetupFilename();
    if (fileName.empty()) {
        _RaiseException(u"Dataset setup file does not exist: " + fileName);
        return;
    }
    // The fields are read together and the file is small: one read replaces a seek and a read for
    // each field, and every field comes from the same moment of the file.
    bool whole = false;
    try {
        whole = rtl::ReadFileUpTo(fileName, kMaxSnapshotSize, _sSnapshot);
    } catch (const rtl::EFOpenError&) {
        if (!rtl::FileExists(fileName)) {
            _RaiseException(u"Dataset setup file does not exist: " + fileName);
            return;
        }
        throw;
    }
    _blWriteMode = false;
    _blSnapshot = whole;
    if (!whole) {
        _fsFile = new rtl::TFileStream(fileName, rtl::TFileOpenMode::fmOpenRead,
                                       rtl::TFileShareMode::fmShareDenyNone);
    }
}

void TSageSetupDTA::OpenForWrite() {
    const rtl::UnicodeString fileName = _GetSetupFilename();
    if (fileName.empty() || !rtl::FileExists(fileName)) {
        _RaiseException(u"Dataset setup file does not exist: " + fileName);
        return;
    }
    _fsFile = new rtl::TFileStream(fileName, rtl::TFileOpenMode::fmOpenReadWrite,
                                   rtl::TFileShareMode::fmShareDenyWrite);
    _blWriteMode = true;
}

void TSageSetupDTA::Close() {
    delete _fsFile;
    _fsFile = nullptr;
    _blWriteMode = false;
    _blSnapshot = false;
    _sSnapshot.clear();
}

bool TSageSetupDTA::_CheckOpen() {
    if (_fsFile == nullptr && !_blSnapshot) {
        Open();
    }
    return _fsFile != nullptr || _blSnapshot;
}

bool TSageSetupDTA::_CheckOpenForWrite() {
    if (!_blWriteMode) {
        Close();
        OpenForWrite();
    }
    if (_fsFile == nullptr) {
        OpenForWrite();
    }
    return _fsFile != nullptr && _blWriteMode;
}

void TSageSetupDTA::SeekTo(std::int64_t nOffset) {
    if (_CheckOpen() && _fsFile != nullptr) {
        _fsFile->Seek(nOffset, rtl::TSeekOrigin::soBeginning);
    }
}

std::int32_t TSageSetupDTA::ReadSpacePaddedBytes(std::int64_t nOffset, std::int64_t nLength, void* Buffer) {
    if (!_CheckOpen()) {
        return 0;
    }
    nLength = ClampLength(nLength);
    auto* bytes = static_cast<std::uint8_t*>(Buffer);
    const std::int64_t nRead = _ReadAt(nOffset, nLength, bytes);
    std::fill(bytes + nRead, bytes + nLength, std::uint8_t(0));
    std::int64_t nValue = std::find(bytes, bytes + nLength, std::uint8_t(0)) - bytes;
    while (nValue > 0 && bytes[nValue - 1] == ' ') {
        bytes[--nValue] = 0;
    }
    return static_cast<std::int32_t>(nValue);
}

std::int64_t TSageSetupDTA::_ReadAt(std::int64_t nOffset, std::int64_t nLength, std::uint8_t* bytes) {
    // A negative offset reads nothing, like a field beyond the end of the file.
    if (nLength <= 0 || nOffset < 0) {
        return 0;
    }
    if (_blSnapshot) {
        const auto size = static_cast<std::int64_t>(_sSnapshot.size());
        const std::int64_t n = nOffset < size ? std::min(nLength, size - nOffset) : 0;
        std::copy_n(_sSnapshot.data() + nOffset, n, bytes);
        return n;
    }
    std::int64_t nRead = 0;
    if (_fsFile->Seek(nOffset, rtl::TSeekOrigin::soBeginning) == nOffset) {
        while (nRead < nLength) {
            const std::int64_t n = _fsFile->Read(bytes + nRead, nLength - nRead);
            if (n <= 0) {
                break;
            }
            nRead += n;
        }
    }
    return nRead;
}

rtl::UnicodeString TSageSetupDTA::ReadSpacePaddedString(std::int64_t nOffset, std::int64_t nLength) {
    TByteArray buffer(static_cast<std::size_t>(ClampLength(nLength) + 1), 0);
    const std::int32_t nValue = ReadSpacePaddedBytes(nOffset, nLength, buffer.data());
    return rtl::Latin1ToString(
        std::string_view(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(nValue)));
}

std::int64_t TSageSetupDTA::WriteBytes(std::int64_t nOffset, std::int64_t nLength, const void* Buffer) {
    if (!_CheckOpenForWrite() || nLength <= 0) {
        return 0;
    }
    if (_fsFile->Seek(nOffset, rtl::TSeekOrigin::soBeginning) != nOffset) {
        return 0;
    }
    return _fsFile->Write(Buffer, nLength);
}

std::int64_t TSageSetupDTA::_WritePaddedString(std::int64_t nOffset, std::int64_t nLength,
                                               const rtl::UnicodeString& szData, TPadding padding) {
    if (!_CheckOpenForWrite()) {
        return 0;
    }
    nLength = ClampLength(nLength);
    const std::int64_t nRoom = padding == TPadding::SpaceNullTerminated ? nLength - 1 : nLength;
    const std::size_t nText = static_cast<std::size_t>(std::clamp<std::int64_t>(
        std::min<std::int64_t>(nRoom, static_cast<std::int64_t>(szData.size())), 0, nLength));
    TByteArray buffer(static_cast<std::size_t>(nLength), padding == TPadding::Null ? 0 : ' ');
    for (std::size_t i = 0; i < nText; ++i) {
        buffer[i] = static_cast<std::uint8_t>(szData[i] & 0xFF);
    }
    if (padding == TPadding::SpaceNullTerminated && nLength > 0) {
        buffer.back() = 0;
    }
    if (nLength == 0 || _fsFile->Seek(nOffset, rtl::TSeekOrigin::soBeginning) != nOffset) {
        return 0;
    }
    return _fsFile->Write(buffer.data(), nLength);
}

std::int64_t TSageSetupDTA::WriteNullPaddedString(std::int64_t nOffset, std::int64_t nLength,
                                                  const rtl::UnicodeString& szData) {
    return _WritePaddedString(nOffset, nLength, szData, TPadding::Null);
}

std::int64_t TSageSetupDTA::WriteSpacePaddedString(std::int64_t nOffset, std::int64_t nLength,
                                                   const rtl::UnicodeString& szData) {
    return _WritePaddedString(nOffset, nLength, szData, TPadding::Space);
}

std::int64_t TSageSetupDTA::WriteSpacePaddedNullTerminatedString(std::int64_t nOffset, std::int64_t nLength,
                                                                 const rtl::UnicodeString& szData) {
    return _WritePaddedString(nOffset, nLength, szData, TPadding::SpaceNullTerminated);
}

void TSageSetupDTA::_RaiseException(const rtl::UnicodeString& szMessage) {
    // Reports are dropped on purpose: callers rely on the empty name and closed file that follow.
    (void)szMessage;
}

} // namespace sage
