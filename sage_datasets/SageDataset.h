#pragma once
// One Sage company dataset: header fields from SETUP.DTA, the version text and the stored VAT returns.
#include "SageApi.h"
#include "SageLeftOut.h"

#include "rtl/DateTime.h"
#include "rtl/Files.h"
#include "rtl/ObjectHooks.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace rtl {
class TXmlDocument;
}

namespace sage {

class TSageSetupDTA;
class TSageDataset;
class TSageDatasetFactory;
class TSageDatasetVatReturn;

/// Class reference through which the factory builds any version class from a dataset folder.
using TSageDatasetClass = rtl::TClassRef<TSageDataset, const rtl::UnicodeString&>;

/// Abstract dataset; objects are always of a version class (TSageDatasetV8 ... TSageDatasetv30), made
/// with rtl::Create (or a TSageDatasetClass) so that _Initialise runs. Reads lazily: the header on the
/// first property that needs it, the returns on the first VatReturns or LatestVatReturn. Not thread-safe.
class SAGE_API TSageDataset : public rtl::TObject {
public:
    /// Stores the folder verbatim and creates the empty return list; reads nothing.
    explicit TSageDataset(const rtl::UnicodeString& szDataSetFolder);
    ~TSageDataset() override;
    /// Runs _Initialise, which fixes the major version.
    void AfterConstruction() override;

    /// Reads the version text and the header fields; a repeated call also drops the returns read so far,
    /// which are read again on the next access. Errors (an unreadable SETUP.DTA) pass to the caller.
    void Load();

    rtl::UnicodeString Address1() { return _GetAddress1(); }
    rtl::UnicodeString Address2() { return _GetAddress2(); }
    rtl::UnicodeString Town() { return _GetTown(); }
    rtl::UnicodeString County() { return _GetCounty(); }
    rtl::UnicodeString PostCode() { return _GetPostCode(); }
    rtl::UnicodeString CompanyName() { return _GetCompanyName(); }
    /// Writes the name into SETUP.DTA, only when AllowUpdates is set.
    void SetCompanyName(const rtl::UnicodeString& value) { _SetCompanyName(value); }
    /// The VAT registration number as the user typed it.
    rtl::UnicodeString VatNumber() { return _GetVatNumber(); }
    /// The first nine digits of the VAT number; never loads (empty before Load).
    rtl::UnicodeString VatNumberForUrl() const { return _GetVatNumberForUrl(); }
    /// The dataset UUID text; empty for versions 8 and 9.
    rtl::UnicodeString UuidString() { return _GetUuidString(); }
    /// Writes a 36-character UUID into SETUP.DTA, only when AllowUpdates is set and the version has one.
    void SetUuidString(const rtl::UnicodeString& value) { _SetUuidString(value); }
    /// The first line of Watermark.xml, or the major version in decimal.
    rtl::UnicodeString Version() { return _GetVersion(); }
    std::int32_t MajorVersion() { return _GetMajorVersion(); }
    /// The folder given at construction; never loads.
    const rtl::UnicodeString& DatasetFolder() const noexcept { return _szDatasetFolder; }
    /// What identifies the dataset folder on disk, noted when the dataset loads (or on the first call):
    /// the same folder reached through another spelling of its path has the same identity.
    const rtl::TFileIdentity& FolderIdentity();
    bool AllowUpdates() const noexcept { return _blAllowUpdates; }
    void SetAllowUpdates(bool value) noexcept { _blAllowUpdates = value; }
    rtl::UnicodeString ODBCDriver() { return _GetODBCDriverName(); }
    rtl::UnicodeString ODBCDriverFileName() { return _GetODBCDriverFileName(); }
    /// The returns, newest first: entry text the start date as "yyyy/mm/dd" (regional date separator),
    /// object the TSageDatasetVatReturn, owned by the dataset. One return per period, except where
    /// files of one period disagree: those are all listed, each Conflicting, and none may be sent.
    const rtl::TStringList& VatReturns();
    /// The return of entry 0, or null when there is none.
    TSageDatasetVatReturn* LatestVatReturn();
    /// What reading the returns left out of VatReturns, and why: return files that could not be read
    /// or parsed (or whose Adjustments.xml could not), return folders that could not be listed, and
    /// return files listed but marked Conflicting (File then names the other file of the period).
    /// Reads the returns first when they have not been read.
    const TSageLeftOutList& LeftOut();

protected:
    virtual void _AfterLoad() {}
    virtual void _BeforeLoad();
    virtual rtl::UnicodeString _GetAddress1();
    virtual std::int32_t _GetAddress1Offset() = 0;
    virtual std::int32_t _GetAddress1ReadLength() = 0;
    virtual std::int32_t _GetAddress1WriteLength() = 0;
    virtual rtl::UnicodeString _GetAddress2();
    virtual std::int32_t _GetAddress2Offset() = 0;
    virtual std::int32_t _GetAddress2ReadLength() = 0;
    virtual std::int32_t _GetAddress2WriteLength() = 0;
    virtual std::int32_t _GetCompanyNameOffset() { return 3; }
    virtual std::int32_t _GetCompanyNameReadLength() { return 60; }
    virtual std::int32_t _GetCompanyNameWriteLength() { return 61; }
    virtual rtl::UnicodeString _GetCounty();
    virtual std::int32_t _GetCountyOffset() = 0;
    virtual std::int32_t _GetCountyReadLength() = 0;
    virtual std::int32_t _GetCountyWriteLength() = 0;
    virtual std::int32_t _GetDatasetVersion() = 0;
    virtual rtl::UnicodeString _GetODBCDriverFileName() = 0;
    virtual rtl::UnicodeString _GetODBCDriverName() = 0;
    virtual rtl::UnicodeString _GetPostCode();
    virtual std::int32_t _GetPostCodeOffset() = 0;
    virtual std::int32_t _GetPostCodeReadLength() = 0;
    virtual std::int32_t _GetPostCodeWriteLength() = 0;
    virtual rtl::UnicodeString _GetTown();
    virtual std::int32_t _GetTownOffset() = 0;
    virtual std::int32_t _GetTownReadLength() = 0;
    virtual std::int32_t _GetTownWriteLength() = 0;
    virtual std::int32_t _GetUuidStringOffset() = 0;
    virtual std::int32_t _GetUuidStringReadLength() = 0;
    virtual std::int32_t _GetUuidStringWriteLength() = 0;
    virtual std::int32_t _GetVatNumberLength() = 0;
    virtual std::int32_t _GetVatNumberOffset() = 0;
    /// Called once right after construction; version classes fix _nMajorVersion here.
    virtual void _Initialise() = 0;
    /// Reads the eight header fields through the reader at this class's offsets.
    virtual void _Load(TSageSetupDTA& pSetup);
    /// Reads every year folder of VATRTNS; does nothing (and reads again next time) without VATRTNS.
    virtual void _LoadAllVATReturns();

    std::int32_t _nMajorVersion = 0;

private:
    friend class TSageDatasetFactory;

    /// Load, with the header fields read through setup: the factory has it open already for the
    /// version byte, so the file is read once. pFolderIdentity, when given, is the dataset folder's
    /// identity as the search took it moments before.
    void _LoadFrom(TSageSetupDTA& setup, const rtl::TFileIdentity* pFolderIdentity = nullptr);

    rtl::UnicodeString _GetCompanyName();
    void _SetCompanyName(const rtl::UnicodeString& value);
    rtl::UnicodeString _GetVatNumber();
    rtl::UnicodeString _GetVatNumberForUrl() const;
    rtl::UnicodeString _GetUuidString();
    void _SetUuidString(const rtl::UnicodeString& value);
    rtl::UnicodeString _GetVersion();
    std::int32_t _GetMajorVersion();

    void _CheckLoad();
    void _ClearVatReturns();
    void _LoadWatermark();
    /// A return read but not yet listed, with its list text "yyyy/mm/dd" (the regional separator
    /// between the parts), kept inline until the return enters the list.
    struct TReadReturn {
        std::array<char16_t, 10> Key{};
        std::unique_ptr<TSageDatasetVatReturn> Return;
        std::size_t Folder = 0;  // index of its year folder among those listed
        rtl::UnicodeString Name; // of its file
    };
    using TReadReturns = std::vector<TReadReturn>;
    /// Reads the returns of year folder nFolder into vReturns; szVatNumber is VatNumberForUrl, given to each.
    void _LoadVatReturns(const rtl::TOpenFolder& pYearFolder, std::size_t nFolder,
                         const rtl::UnicodeString& szVatNumber, TReadReturns& vReturns);
    /// Keeps one return per period: of files that are copies of each other the first by path stays;
    /// files whose figures differ all stay, each marked with another's path and noted in LeftOut.
    void _ResolveSamePeriods(TReadReturns& vReturns, const rtl::UnicodeString& szVatReturnsFolder,
                             const std::vector<rtl::UnicodeString>& vYearFolders);
    /// One return file of the year folder read into a new record, or null when the file cannot be read
    /// as a return.
    TSageDatasetVatReturn* _LoadVatReturn(const rtl::TOpenFolder& pYearFolder,
                                          const rtl::UnicodeString& szFileName,
                                          const rtl::UnicodeString& szVatNumber);
    /// Reads the return file's elements; false when its document element is not VATRETURN.
    bool _ReadVatReturnFile(const rtl::TOpenFolder& pYearFolder, const rtl::UnicodeString& szFileName,
                            TSageDatasetVatReturn& pReturn);
    void _ApplyFileNameDates(rtl::UnicodeStringView szFileName, TSageDatasetVatReturn& pReturn);
    void _ApplyAdjustments(const rtl::UnicodeString& szYearFolder, rtl::UnicodeStringView szFileName,
                           TSageDatasetVatReturn& pReturn);
    /// The adjustments folder of a return file of the year folder, as a name inside the _Data folder,
    /// or empty when _Data has none.
    rtl::UnicodeString _FindAdjustmentsFolder(const rtl::UnicodeString& szYearFolder,
                                              rtl::UnicodeStringView szFileName);
    /// Loads Adjustments.xml of that folder into the document; false when the folder holds none.
    bool _LoadAdjustmentsFile(const rtl::UnicodeString& szFolder);
    /// Lists the _Data folder beside the year folders of szBase once, for the look-ups of its returns.
    void _LoadAdjustmentsFolders(const rtl::UnicodeString& szBase);
    /// What a VATRTNS folder's listing tells of its _Data folder.
    enum class TDataFolder {
        dfLookUp, // a folder named so in another letter case: asked on disk, where the exact name wins
        dfExact,  // a folder of that very name
        dfNone    // nothing named so in any case, or nothing that is a folder
    };
    void _ResetAdjustmentsCache();
    /// What the folders listed in a VATRTNS folder tell of its _Data folder.
    static TDataFolder _DataFolderIn(const std::vector<rtl::UnicodeString>& vFolders);
    /// Notes a return file (or folder) left out of the list.
    void _NoteLeftOut(TSageLeftOut item) { _vLeftOut.push_back(std::move(item)); }
    /// The date in text as day, month, year ("dd/mm/yyyy" or eight digits); 0 for none or a day of 00.
    /// Raises EConvertError for an impossible date.
    rtl::TDateTime _ParseDate(std::string_view szText);
    /// Takes a report and returns: callers carry on with the quiet empty result.
    void _RaiseException(const rtl::UnicodeString& szMessage);

    rtl::UnicodeString _szDatasetFolder;
    rtl::TFileIdentity _FolderIdentity;
    rtl::UnicodeString _szUuidString;
    rtl::UnicodeString _szVatNumber;
    rtl::TStringList* _slVatReturns = nullptr;
    bool _blLoaded = false;
    rtl::UnicodeString _szVersion;
    rtl::UnicodeString _szCompanyName;
    rtl::UnicodeString _szAddress1;
    rtl::UnicodeString _szAddress2;
    rtl::UnicodeString _szTown;
    rtl::UnicodeString _szCounty;
    rtl::UnicodeString _szPostCode;
    bool _blVATReturnsRead = false;
    bool _blAllowUpdates = false;
    [[maybe_unused]] bool _blModifed = false;

    // The _Data folder of the VATRTNS folder being read, resolved once per folder so that looking for
    // each return's Adjustments.xml costs at most one attempt to open it.
    bool _blAdjustmentsListed = false;
    TDataFolder _eDataFolder = TDataFolder::dfLookUp;
    std::unique_ptr<rtl::TOpenFolder> _pAdjustmentsData;
    std::unique_ptr<rtl::TXmlDocument> _pDocument;        // while the returns are read
    std::vector<rtl::UnicodeString> _vAdjustmentsFolders; // sorted without regard to A..Z case
    /// (hash of the name with a..z folded, index in _vAdjustmentsFolders), sorted: most returns have no
    /// adjustments, and a hash tells so without comparing names.
    std::vector<std::pair<std::uint64_t, std::size_t>> _vAdjustmentsHashes;
    rtl::UnicodeString _szAdjustmentsFolderName;
    rtl::UnicodeString _szAdjustmentsFile; // the Adjustments.xml being read, for the record of a failure
    TSageLeftOutList _vLeftOut;
    std::vector<rtl::UnicodeString> _vFileNames; // of the year folder being read; reused between folders
};

} // namespace sage
