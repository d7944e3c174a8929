#include "sage_datasets/SageDataset.h"

#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageSetupDTA.h"

#include "rtl/Currency.h"
#include "rtl/Exceptions.h"
#include "rtl/FileStream.h"
#include "rtl/Files.h"
#include "rtl/RegularExpression.h"
#include "rtl/XmlDocument.h"

#include "utils/values/ORVI.CoreUtils.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace sage {

namespace {

// The decimal value of count ASCII digits at text[at].
int DigitsValue(rtl::UnicodeStringView text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        value = value * 10 + (text[i] - u'0');
    }
    return value;
}

// The value of a matched group of ASCII digits.
int GroupValue(rtl::UnicodeStringView text, const rtl::TRegExGroups& match, int group) {
    return DigitsValue(text, static_cast<std::size_t>(match.Offset(group)),
                       static_cast<std::size_t>(match.Length(group)));
}

// The three fixed patterns of return files, compiled once (JIT where available) and shared by every
// dataset; matching is safe from several threads.
const rtl::TRegEx& ReturnFileNamePattern() {
    static const rtl::TRegEx pattern(
        u"VAT Return (\\d\\d)-?(\\d\\d)-?(\\d\\d\\d\\d) - (\\d\\d)-?(\\d\\d)-?(\\d\\d\\d\\d)\\.xml$");
    return pattern;
}

const rtl::TRegEx& SlashDatePattern() {
    static const rtl::TRegEx pattern(u"(\\d\\d)/(\\d\\d)/(\\d\\d\\d\\d)");
    return pattern;
}

const rtl::TRegEx& DigitsDatePattern() {
    static const rtl::TRegEx pattern(u"(\\d\\d)(\\d\\d)(\\d\\d\\d\\d)");
    return pattern;
}

// A date as written in a file name: day, month, year.
using TNameDate = std::array<int, 3>;

// The period of a file named "VAT Return dd-mm-yyyy - dd-mm-yyyy.xml" (the '-' within dates
// optional), the match ending at the end of the name; false for any other name.
bool MatchReturnFileName(rtl::UnicodeStringView name, TNameDate& from, TNameDate& to) {
    rtl::TRegExGroups match;
    if (!ReturnFileNamePattern().Match(name, match)) {
        return false;
    }
    for (int part = 0; part < 3; ++part) {
        from[part] = GroupValue(name, match, 1 + part);
        to[part] = GroupValue(name, match, 4 + part);
    }
    return true;
}

rtl::TDateTime EncodeNameDate(const TNameDate& date) {
    return rtl::EncodeDate(date[2], date[1], date[0]);
}

// The elements of a return file that carry values.
enum class TReturnElement {
    Other,
    Company,
    DateFrom,
    DateTo,
    FlatRateLiability,
    StandardRateLiability,
    StandardRateSales,
    StandardRatePurchase,
    FlatRateBenefitCost,
    Box
};

// Names are compared exactly on the parser's own text, without building strings: thousands of files
// are read at start-up.
TReturnElement ClassifyElement(std::string_view name, int& box) {
    static constexpr std::pair<std::string_view, TReturnElement> kNamed[] = {
        {"COMPANY", TReturnElement::Company},
        {"DATEFROM", TReturnElement::DateFrom},
        {"DATETO", TReturnElement::DateTo},
        {"FLATRATELIABILITY", TReturnElement::FlatRateLiability},
        {"STANDARDRATELIABILITY", TReturnElement::StandardRateLiability},
        {"STANDARDRATESALES", TReturnElement::StandardRateSales},
        {"STANDARDRATEPURCHASE", TReturnElement::StandardRatePurchase},
        {"FLATRATEBENEFITCOST", TReturnElement::FlatRateBenefitCost}};
    if (name.starts_with("BOX")) {
        // BOX1 to BOX13: the box number in decimal without a leading zero.
        const std::string_view digits = name.substr(3);
        if (digits.size() == 1 && digits[0] >= '1' && digits[0] <= '9') {
            box = digits[0] - '0';
            return TReturnElement::Box;
        }
        if (digits.size() == 2 && digits[0] == '1' && digits[1] >= '0' && digits[1] <= '3') {
            box = 10 + (digits[1] - '0');
            return TReturnElement::Box;
        }
        return TReturnElement::Other;
    }
    for (const auto& [text, element] : kNamed) {
        if (name == text) {
            return element;
        }
    }
    return TReturnElement::Other;
}

// An element's text as the document holds it (UTF-8): a view into the document for the usual single
// piece of text, so that reading thousands of returns copies and converts nothing.
class TElementText {
public:
    explicit TElementText(const rtl::TXmlNode& node) {
        if (!node.TryGetSingleTextUtf8(_view)) {
            _joined = node.TextUtf8(); // raises for nested elements
            _view = _joined;
        }
    }
    TElementText(const TElementText&) = delete;
    TElementText& operator=(const TElementText&) = delete;

    std::string_view View() const noexcept { return _view; }
    /// A table element other than a BOX must hold text; an empty one makes the file unreadable.
    std::string_view Required() const {
        if (_view.empty()) {
            throw rtl::EConvertError(u"Empty element in VAT return");
        }
        return _view;
    }
    bool Blank() const noexcept {
        return std::all_of(_view.begin(), _view.end(),
                           [](char c) { return static_cast<unsigned char>(c) <= ' '; });
    }

private:
    std::string _joined;
    std::string_view _view;
};

// UTF-8 text as UTF-16 for the regular expressions: short ASCII text, such as a date, is widened
// in place on the stack; two dates are read from every return.
class TShortText {
public:
    explicit TShortText(std::string_view utf8) {
        const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii && utf8.size() <= std::size(_buffer)) {
            std::copy(utf8.begin(), utf8.end(), _buffer);
            _view = rtl::UnicodeStringView(_buffer, utf8.size());
        } else {
            _heap = rtl::Utf8ToString(utf8);
            _view = _heap;
        }
    }
    TShortText(const TShortText&) = delete;
    TShortText& operator=(const TShortText&) = delete;

    rtl::UnicodeStringView View() const noexcept { return _view; }

private:
    char16_t _buffer[64];
    rtl::UnicodeString _heap;
    rtl::UnicodeStringView _view;
};

rtl::UnicodeString RequiredText(const rtl::TXmlNode& node) {
    return rtl::Utf8ToString(TElementText(node).Required());
}

rtl::Currency Amount(std::string_view text) {
    rtl::Currency value;
    if (!rtl::TryUtf8ToCurr(text, value)) {
        throw rtl::EConvertError(u"'" + rtl::Utf8ToString(text) + u"' is not a valid floating point value");
    }
    return value;
}

rtl::Currency RequiredAmount(const rtl::TXmlNode& node) {
    return Amount(TElementText(node).Required());
}

// A BOX element without text, or with blanks only, holds 0.
rtl::Currency BoxAmount(const rtl::TXmlNode& node) {
    const TElementText text(node);
    return text.Blank() ? rtl::Currency() : Amount(text.View());
}

// SameText against an ASCII name on the document's own bytes: only a..z fold, and a byte of a
// multi-byte character never equals an ASCII one.
bool SameAsciiText(std::string_view utf8, std::string_view ascii) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return utf8.size() == ascii.size() && std::equal(utf8.begin(), utf8.end(), ascii.begin(),
                                                     [&](char a, char b) { return fold(a) == fold(b); });
}

rtl::TXmlNode FindChild(const rtl::TXmlNode& parent, std::string_view localName) {
    for (rtl::TXmlNode node = parent.FirstChildElement(); node; node = node.NextSiblingElement()) {
        if (node.LocalNameUtf8() == localName) {
            return node;
        }
    }
    throw rtl::EConvertError(u"Missing element " + rtl::Utf8ToString(localName));
}

// FNV-1a over UTF-16 code units with a..z folded to A..Z, continued from hash: names equal but for
// the case of those letters hash alike.
std::uint64_t FoldedHash(rtl::UnicodeStringView text, std::uint64_t hash = 14695981039346656037ull) {
    for (const char16_t c : text) {
        hash = (hash ^ (c >= u'a' && c <= u'z' ? c - 32u : c)) * 1099511628211ull;
    }
    return hash;
}

// value in decimal, zero-padded to width, written at out (years are 1..9999, months and days two
// digits, so nothing is cut).
char16_t* PutPadded(char16_t* out, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// FormatDateTime(u"yyyy/mm/dd", date), written directly: one key per return read.
std::array<char16_t, 10> ListKey(rtl::TDateTime date) {
    int year = 0;
    int month = 0;
    int day = 0;
    rtl::DecodeDate(date, year, month, day);
    const char16_t separator = rtl::FormatSettings().DateSeparator;
    std::array<char16_t, 10> key{};
    char16_t* out = PutPadded(key.data(), year, 4);
    *out++ = separator;
    out = PutPadded(out, month, 2);
    *out++ = separator;
    PutPadded(out, day, 2);
    return key;
}

// A version text is a few characters; a first line longer than this is no version text, and reading
// on would let a file of one endless line exhaust memory.
constexpr std::size_t kMaxWatermarkLine = 4096;

// The first line of a file read as 8-bit text, without opening it for anything but reading. Raises
// EReadError when the line runs past kMaxWatermarkLine bytes.
rtl::UnicodeString ReadFirstLine(const rtl::UnicodeString& fileName) {
    rtl::TFileStream stream(fileName, rtl::TFileOpenMode::fmOpenRead, rtl::TFileShareMode::fmShareDenyNone);
    std::string line;
    char chunk[512];
    for (;;) {
        const std::int64_t n = stream.Read(chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        const std::string_view part(chunk, static_cast<std::size_t>(n));
        const std::size_t end = part.find_first_of("\r\n");
        line.append(part.substr(0, end));
        if (line.size() > kMaxWatermarkLine) {
            throw rtl::EReadError(u"\"" + fileName + u"\": the first line is too large (more than " +
                                  rtl::IntToStr(static_cast<std::int64_t>(kMaxWatermarkLine)) + u" bytes)");
        }
        if (end != std::string_view::npos) {
            break;
        }
    }
    // A UTF-8 byte-order mark is not part of the version text.
    if (line.starts_with("\xEF\xBB\xBF")) {
        line.erase(0, 3);
    }
    return rtl::AnsiToString(line);
}

} // namespace

TSageDataset::TSageDataset(const rtl::UnicodeString& szDataSetFolder)
    : _szDatasetFolder(szDataSetFolder), _slVatReturns(new rtl::TStringList(true)) {}

TSageDataset::~TSageDataset() {
    _ClearVatReturns();
    delete _slVatReturns;
}

void TSageDataset::AfterConstruction() {
    _Initialise();
}

void TSageDataset::Load() {
    TSageSetupDTA setup;
    setup.SetDatasetFolder(_szDatasetFolder);
    _LoadFrom(setup);
}

const rtl::TFileIdentity& TSageDataset::FolderIdentity() {
    if (!_FolderIdentity.Known) {
        _FolderIdentity = rtl::FileIdentity(_szDatasetFolder);
    }
    return _FolderIdentity;
}

void TSageDataset::_LoadFrom(TSageSetupDTA& setup, const rtl::TFileIdentity* pFolderIdentity) {
    _FolderIdentity = pFolderIdentity ? *pFolderIdentity : rtl::FileIdentity(_szDatasetFolder);
    _BeforeLoad();
    try {
        _LoadWatermark();
        _Load(setup);
    } catch (...) {
        _AfterLoad();
        _blLoaded = true;
        throw;
    }
    _AfterLoad();
    _blLoaded = true;
}

void TSageDataset::_BeforeLoad() {
    _ClearVatReturns();
}

void TSageDataset::_CheckLoad() {
    if (!_blLoaded && rtl::DirectoryExists(_szDatasetFolder)) {
        Load();
    }
}

void TSageDataset::_ClearVatReturns() {
    // The list owns its returns; emptying it lets a repeated Load read the returns afresh.
    _slVatReturns->Clear();
    _vLeftOut.clear();
    _blVATReturnsRead = false;
}

void TSageDataset::_LoadWatermark() {
    _szVersion = rtl::IntToStr(_nMajorVersion);
    rtl::TPathKind kind = rtl::TPathKind::pkNone;
    const rtl::UnicodeString fileName = rtl::FindChildIgnoreCase(_szDatasetFolder, u"Watermark.xml", kind);
    if (kind != rtl::TPathKind::pkFile) {
        return;
    }
    const rtl::UnicodeString version = rtl::Trim(ReadFirstLine(fileName));
    if (!version.empty()) {
        _szVersion = version;
    }
}

void TSageDataset::_Load(TSageSetupDTA& pSetup) {
    _szAddress1 = pSetup.ReadSpacePaddedString(_GetAddress1Offset(), _GetAddress1ReadLength());
    _szAddress2 = pSetup.ReadSpacePaddedString(_GetAddress2Offset(), _GetAddress2ReadLength());
    _szTown = pSetup.ReadSpacePaddedString(_GetTownOffset(), _GetTownReadLength());
    _szCounty = pSetup.ReadSpacePaddedString(_GetCountyOffset(), _GetCountyReadLength());
    _szPostCode = pSetup.ReadSpacePaddedString(_GetPostCodeOffset(), _GetPostCodeReadLength());
    _szCompanyName = pSetup.ReadSpacePaddedString(_GetCompanyNameOffset(), _GetCompanyNameReadLength());
    _szVatNumber = pSetup.ReadSpacePaddedString(_GetVatNumberOffset(), _GetVatNumberLength());
    _szUuidString = pSetup.ReadSpacePaddedString(_GetUuidStringOffset(), _GetUuidStringReadLength());
}

rtl::UnicodeString TSageDataset::_GetAddress1() {
    _CheckLoad();
    return _szAddress1;
}

rtl::UnicodeString TSageDataset::_GetAddress2() {
    _CheckLoad();
    return _szAddress2;
}

rtl::UnicodeString TSageDataset::_GetTown() {
    _CheckLoad();
    return _szTown;
}

rtl::UnicodeString TSageDataset::_GetCounty() {
    _CheckLoad();
    return _szCounty;
}

rtl::UnicodeString TSageDataset::_GetPostCode() {
    _CheckLoad();
    return _szPostCode;
}

rtl::UnicodeString TSageDataset::_GetCompanyName() {
    _CheckLoad();
    return _szCompanyName;
}

rtl::UnicodeString TSageDataset::_GetVatNumber() {
    _CheckLoad();
    return _szVatNumber;
}

rtl::UnicodeString TSageDataset::_GetUuidString() {
    _CheckLoad();
    return _szUuidString;
}

rtl::UnicodeString TSageDataset::_GetVersion() {
    _CheckLoad();
    return _szVersion;
}

std::int32_t TSageDataset::_GetMajorVersion() {
    _CheckLoad();
    return _nMajorVersion;
}

rtl::UnicodeString TSageDataset::_GetVatNumberForUrl() const {
    rtl::UnicodeString result;
    for (const char16_t c : _szVatNumber) {
        if (result.size() >= 9) {
            break;
        }
        if (c >= u'0' && c <= u'9') {
            result.push_back(c);
        }
    }
    return result;
}

void TSageDataset::_SetCompanyName(const rtl::UnicodeString& value) {
    if (!_blAllowUpdates) {
        return;
    }
    TSageSetupDTA setup;
    setup.SetDatasetFolder(_szDatasetFolder);
    const std::int32_t nLength = _GetCompanyNameWriteLength();
    // The property follows the file only when the whole field was written.
    if (setup.WriteSpacePaddedNullTerminatedString(_GetCompanyNameOffset(), nLength, value) == nLength) {
        _szCompanyName = value;
    }
}

void TSageDataset::_SetUuidString(const rtl::UnicodeString& value) {
    const std::int32_t nLength = _GetUuidStringWriteLength();
    if (!_blAllowUpdates || nLength <= 0 || static_cast<std::int64_t>(value.size()) != nLength) {
        return;
    }
    TSageSetupDTA setup;
    setup.SetDatasetFolder(_szDatasetFolder);
    if (setup.WriteSpacePaddedString(_GetUuidStringOffset(), nLength, value) == nLength) {
        _szUuidString = value;
    }
}

const rtl::TStringList& TSageDataset::VatReturns() {
    _CheckLoad();
    if (!_blVATReturnsRead) {
        _LoadAllVATReturns();
    }
    return *_slVatReturns;
}

TSageDatasetVatReturn* TSageDataset::LatestVatReturn() {
    if (!_blVATReturnsRead) {
        _LoadAllVATReturns();
    }
    if (_slVatReturns->Count() == 0) {
        return nullptr;
    }
    return static_cast<TSageDatasetVatReturn*>(_slVatReturns->Objects(0));
}

const TSageLeftOutList& TSageDataset::LeftOut() {
    if (!_blVATReturnsRead) {
        _LoadAllVATReturns();
    }
    return _vLeftOut;
}

void TSageDataset::_LoadAllVATReturns() {
    rtl::TPathKind kind = rtl::TPathKind::pkNone;
    const rtl::UnicodeString vatReturnsFolder = rtl::FindChildIgnoreCase(_szDatasetFolder, u"VATRTNS", kind);
    if (kind != rtl::TPathKind::pkDirectory) {
        return;
    }
    // Year folders and their files are opened through their open parent: resolving the dataset's
    // whole path again for each costs more than reading them.
    const rtl::TOpenFolder vatReturns(vatReturnsFolder);
    _vLeftOut.clear();
    std::vector<rtl::UnicodeString> yearFolders;
    try {
        if (!vatReturns.IsOpen()) {
            throw rtl::EInOutError(u"The folder cannot be read");
        }
        yearFolders = vatReturns.ListDirectories();
    } catch (const std::exception& e) {
        // An unreadable folder holds no returns, which must not pass for a dataset without any.
        yearFolders.clear();
        _NoteLeftOut(LeftOutOf(e, vatReturnsFolder, vatReturnsFolder));
    }
    _ResetAdjustmentsCache();
    _eDataFolder = _DataFolderIn(yearFolders);
    // One document serves every file of this reading, so its buffers are allocated once.
    _pDocument = std::make_unique<rtl::TXmlDocument>();
    const rtl::UnicodeString vatNumber = _GetVatNumberForUrl();
    TReadReturns returns;
    for (std::size_t i = 0; i < yearFolders.size(); ++i) {
        const rtl::UnicodeString& name = yearFolders[i];
        int year = 0;
        if (name.size() == 4 && rtl::TryStrToInt(name, year)) {
            _LoadVatReturns(rtl::TOpenFolder(vatReturns, name), i, vatNumber, returns);
        }
    }
    _ResetAdjustmentsCache();
    _eDataFolder = TDataFolder::dfLookUp;
    _pDocument.reset();
    _vFileNames.clear();
    _ResolveSamePeriods(returns, vatReturnsFolder, yearFolders);
    // The returns are ordered before they enter the (still empty) list: newest first, as
    // fixed-width dates make the text order (by code unit) the date order; equal dates stay in
    // reading order.
    std::stable_sort(returns.begin(), returns.end(),
                     [](const TReadReturn& a, const TReadReturn& b) { return a.Key > b.Key; });
    rtl::UnicodeString key;
    for (TReadReturn& read : returns) {
        key.assign(read.Key.data(), read.Key.size());
        _slVatReturns->AddObject(key, read.Return.get());
        read.Return.release();
    }
    _blVATReturnsRead = true;
}

void TSageDataset::_LoadVatReturns(const rtl::TOpenFolder& pYearFolder, std::size_t nFolder,
                                   const rtl::UnicodeString& szVatNumber, TReadReturns& vReturns) {
    try {
        if (!pYearFolder.IsOpen()) {
            throw rtl::EInOutError(u"The folder cannot be read");
        }
        pYearFolder.ListFiles(_vFileNames);
    } catch (const std::exception& e) {
        _vFileNames.clear();
        _NoteLeftOut(LeftOutOf(e, pYearFolder.Path(), pYearFolder.Path()));
    }
    for (rtl::UnicodeString& name : _vFileNames) {
        std::unique_ptr<TSageDatasetVatReturn> pReturn(_LoadVatReturn(pYearFolder, name, szVatNumber));
        if (pReturn) {
            vReturns.push_back({ListKey(pReturn->DateFrom()), std::move(pReturn), nFolder, std::move(name)});
        }
    }
}

void TSageDataset::_ResolveSamePeriods(TReadReturns& vReturns, const rtl::UnicodeString& szVatReturnsFolder,
                                       const std::vector<rtl::UnicodeString>& vYearFolders) {
    // A dataset may hold one period in several files ("... (copy).xml" beside the original, or the
    // period filed under two year folders); adding each would count its figures twice. Sorted by
    // period and content, copies of one file lie together, and distinct versions of a period follow
    // one another.
    const auto path = [&](const TReadReturn& r) {
        return rtl::CombinePath(rtl::CombinePath(szVatReturnsFolder, vYearFolders[r.Folder]), r.Name);
    };
    std::vector<std::size_t> order(vReturns.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto pathLess = [&](std::size_t a, std::size_t b) {
        const rtl::UnicodeString& folderA = vYearFolders[vReturns[a].Folder];
        const rtl::UnicodeString& folderB = vYearFolders[vReturns[b].Folder];
        return folderA != folderB ? folderA < folderB : vReturns[a].Name < vReturns[b].Name;
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int content = vReturns[a].Return->CompareContent(*vReturns[b].Return);
        return content != 0 ? content < 0 : pathLess(a, b);
    });
    std::vector<bool> dropped(vReturns.size(), false);
    std::vector<std::size_t> versions; // of the period in hand: the first file of each distinct content
    for (std::size_t start = 0; start < order.size();) {
        const TSageDatasetVatReturn& first = *vReturns[order[start]].Return;
        std::size_t end = start + 1;
        versions.assign(1, order[start]);
        for (; end < order.size(); ++end) {
            const TSageDatasetVatReturn& next = *vReturns[order[end]].Return;
            if (next.DateFrom() != first.DateFrom() || next.DateTo() != first.DateTo()) {
                break;
            }
            if (next.CompareContent(*vReturns[versions.back()].Return) == 0) {
                dropped[order[end]] = true; // a copy counts once
            } else {
                versions.push_back(order[end]);
            }
        }
        // The record names the first file by path, whatever the figures.
        std::sort(versions.begin(), versions.end(), pathLess);
        for (std::size_t v = 1; v < versions.size(); ++v) {
            const rtl::UnicodeString original = path(vReturns[versions[0]]);
            const rtl::UnicodeString other = path(vReturns[versions[v]]);
            vReturns[versions[v]].Return->SetConflictingFile(original);
            if (v == 1) {
                vReturns[versions[0]].Return->SetConflictingFile(other);
            }
            _NoteLeftOut({other, original,
                          u"Another return file holds this period with different figures; neither can be sent"});
        }
        start = end;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < vReturns.size(); ++i) {
        if (!dropped[i]) {
            vReturns[kept++] = std::move(vReturns[i]);
        }
    }
    vReturns.erase(vReturns.begin() + static_cast<std::ptrdiff_t>(kept), vReturns.end());
}

TSageDatasetVatReturn* TSageDataset::_LoadVatReturn(const rtl::TOpenFolder& pYearFolder,
                                                    const rtl::UnicodeString& szFileName,
                                                    const rtl::UnicodeString& szVatNumber) {
    auto pReturn = std::make_unique<TSageDatasetVatReturn>();
    pReturn->SetVatNumber(szVatNumber);
    // Named only for the record of a failure: thousands of files are read at start-up.
    auto path = [&] { return rtl::CombinePath(pYearFolder.Path(), szFileName); };
    _szAdjustmentsFile.clear();
    try {
        if (!_ReadVatReturnFile(pYearFolder, szFileName, *pReturn)) {
            _NoteLeftOut({path(), path(), u"Not a VAT return file"});
            return nullptr;
        }
        _ApplyFileNameDates(szFileName, *pReturn);
        _ApplyAdjustments(pYearFolder.Path(), szFileName, *pReturn);
    } catch (const std::exception& e) {
        // Any failure leaves this file out of the dataset's returns (with Adjustments.xml that cannot
        // be applied its boxes would be wrong); the record says which file failed and why. Other
        // files beside the returns (notes, thumbnails) are no returns to miss.
        if (rtl::EndsText(u".xml", szFileName)) {
            _NoteLeftOut(LeftOutOf(e, path(), _szAdjustmentsFile.empty() ? path() : _szAdjustmentsFile));
        }
        return nullptr;
    } catch (...) {
        _NoteLeftOut({path(), path(), u"It could not be read"});
        return nullptr;
    }
    return pReturn.release();
}

bool TSageDataset::_ReadVatReturnFile(const rtl::TOpenFolder& pYearFolder,
                                      const rtl::UnicodeString& szFileName, TSageDatasetVatReturn& pReturn) {
    _pDocument->LoadFromFile(pYearFolder, szFileName);
    const rtl::TXmlNode root = _pDocument->DocumentElement();
    if (!root.NameIs("VATRETURN")) {
        // A foreign XML file in a year folder must not become a VAT return.
        _RaiseException(u"Invalid XML");
        return false;
    }
    for (rtl::TXmlNode node = root.FirstChildElement(); node; node = node.NextSiblingElement()) {
        int box = 0;
        switch (ClassifyElement(node.NameUtf8(), box)) {
        case TReturnElement::Company:
            pReturn.SetCompanyName(RequiredText(node));
            break;
        case TReturnElement::DateFrom:
            pReturn.SetDateFrom(_ParseDate(TElementText(node).Required()));
            break;
        case TReturnElement::DateTo:
            pReturn.SetDateTo(_ParseDate(TElementText(node).Required()));
            break;
        case TReturnElement::FlatRateLiability:
            pReturn.SetFlatRateLiability(RequiredAmount(node));
            break;
        case TReturnElement::StandardRateLiability:
            pReturn.SetStandardRateLiability(RequiredAmount(node));
            break;
        case TReturnElement::StandardRateSales:
            pReturn.SetStandardRateSales(RequiredAmount(node));
            break;
        case TReturnElement::StandardRatePurchase:
            pReturn.SetStandardRatePurchase(RequiredAmount(node));
            break;
        case TReturnElement::FlatRateBenefitCost:
            pReturn.SetFlatRateBeniftCost(RequiredAmount(node));
            break;
        case TReturnElement::Box:
            pReturn.SetBox(box, BoxAmount(node));
            break;
        case TReturnElement::Other:
            break;
        }
    }
    return true;
}

void TSageDataset::_ApplyFileNameDates(rtl::UnicodeStringView szFileName, TSageDatasetVatReturn& pReturn) {
    TNameDate from{};
    TNameDate to{};
    if (!MatchReturnFileName(szFileName, from, to)) {
        return;
    }
    const rtl::TDateTime nameFrom = EncodeNameDate(from);
    const rtl::TDateTime nameTo = EncodeNameDate(to);
    if (pReturn.DateTo() == 0) {
        pReturn.SetDateTo(nameTo);
    }
    if (pReturn.DateFrom() == 0) {
        pReturn.SetDateFrom(nameFrom);
    }
    if (pReturn.DateFrom() > pReturn.DateTo()) {
        pReturn.SetDateFrom(nameFrom);
        pReturn.SetDateTo(nameTo);
    }
}

rtl::TDateTime TSageDataset::_ParseDate(std::string_view szText) {
    // "dd/mm/yyyy" first; failing that, the first run of eight digits as ddmmyyyy.
    TShortText wide(szText);
    const rtl::UnicodeStringView text = wide.View();
    rtl::TRegExGroups match;
    if (!SlashDatePattern().Match(text, match) && !DigitsDatePattern().Match(text, match)) {
        return 0;
    }
    if (GroupValue(text, match, 1) == 0) {
        return 0;
    }
    return rtl::EncodeDate(GroupValue(text, match, 3), GroupValue(text, match, 2),
                           GroupValue(text, match, 1));
}

void TSageDataset::_ApplyAdjustments(const rtl::UnicodeString& szYearFolder,
                                     rtl::UnicodeStringView szFileName, TSageDatasetVatReturn& pReturn) {
    const rtl::UnicodeString adjustmentsFolder = _FindAdjustmentsFolder(szYearFolder, szFileName);
    // The return's own file is read by now, so the document can take the adjustments.
    if (adjustmentsFolder.empty() || !_LoadAdjustmentsFile(adjustmentsFolder)) {
        return;
    }
    const rtl::TXmlNode root = _pDocument->DocumentElement();
    if (!SameAsciiText(root.LocalNameUtf8(), "VatReturn")) {
        return;
    }
    std::int32_t nAdjustments = 0;
    for (rtl::TXmlNode box = root.FirstChildElement(); box; box = box.NextSiblingElement()) {
        if (!SameAsciiText(box.LocalNameUtf8(), "Box")) {
            continue;
        }
        const int type = rtl::StrToInt(box.Attribute("type"));
        // A type naming a box outside the record is ignored; the other boxes still apply.
        if (type < 0 || type >= TSageDatasetVatReturn::BoxCount) {
            continue;
        }
        for (rtl::TXmlNode adjustment = box.FirstChildElement(); adjustment;
             adjustment = adjustment.NextSiblingElement()) {
            if (!SameAsciiText(adjustment.LocalNameUtf8(), "Adjustment")) {
                continue;
            }
            const rtl::Currency value = RequiredAmount(FindChild(adjustment, "Value"));
            const int enteredInBox = rtl::StrToInt(RequiredText(FindChild(adjustment, "EnteredInBox")));
            if (enteredInBox == type) {
                pReturn.SetBox(type + 1, pReturn.GetBox(type + 1) + value);
                orvi::PostInc(nAdjustments);
            }
        }
    }
    if (nAdjustments > 0) {
        pReturn.SetBox(3, pReturn.GetBox(1) + pReturn.GetBox(2));
        pReturn.SetBox(5, pReturn.GetBox(3) - pReturn.GetBox(4));
    }
}

void TSageDataset::_LoadAdjustmentsFolders(const rtl::UnicodeString& szBase) {
    _ResetAdjustmentsCache();
    _blAdjustmentsListed = true;
    if (_eDataFolder == TDataFolder::dfNone) {
        return;
    }
    const rtl::UnicodeString vatReturnsFolder =
        szBase.empty() ? rtl::UnicodeString(u".") : szBase.substr(0, szBase.size() - 1);
    rtl::TPathKind kind = rtl::TPathKind::pkDirectory;
    const rtl::UnicodeString dataFolder = _eDataFolder == TDataFolder::dfExact
                                              ? rtl::CombinePath(vatReturnsFolder, u"_Data")
                                              : rtl::FindChildIgnoreCase(vatReturnsFolder, u"_Data", kind);
    if (kind != rtl::TPathKind::pkDirectory) {
        return;
    }
    _pAdjustmentsData = std::make_unique<rtl::TOpenFolder>(dataFolder);
    try {
        _vAdjustmentsFolders = _pAdjustmentsData->ListDirectories();
    } catch (const rtl::Exception&) {
        _vAdjustmentsFolders.clear();
    }
    // Case-insensitive order, names differing only in case in code-unit order among themselves.
    std::sort(_vAdjustmentsFolders.begin(), _vAdjustmentsFolders.end(),
              [](const rtl::UnicodeString& a, const rtl::UnicodeString& b) {
                  const int byText = rtl::CompareText(a, b);
                  return byText != 0 ? byText < 0 : a < b;
              });
    _vAdjustmentsHashes.reserve(_vAdjustmentsFolders.size());
    for (std::size_t i = 0; i < _vAdjustmentsFolders.size(); ++i) {
        _vAdjustmentsHashes.emplace_back(FoldedHash(_vAdjustmentsFolders[i]), i);
    }
    std::sort(_vAdjustmentsHashes.begin(), _vAdjustmentsHashes.end());
}

TSageDataset::TDataFolder TSageDataset::_DataFolderIn(const std::vector<rtl::UnicodeString>& vFolders) {
    // The year folders' listing names every folder beside them (links followed), so _Data needs no
    // look-up of its own unless only another spelling of it is there.
    TDataFolder result = TDataFolder::dfNone;
    for (const rtl::UnicodeString& name : vFolders) {
        if (name == u"_Data") {
            return TDataFolder::dfExact;
        }
        if (rtl::SameText(name, u"_Data")) {
            result = TDataFolder::dfLookUp;
        }
    }
    return result;
}

void TSageDataset::_ResetAdjustmentsCache() {
    _blAdjustmentsListed = false;
    _pAdjustmentsData.reset();
    _vAdjustmentsFolders.clear();
    _vAdjustmentsHashes.clear();
}

rtl::UnicodeString TSageDataset::_FindAdjustmentsFolder(const rtl::UnicodeString& szYearFolder,
                                                        rtl::UnicodeStringView szFileName) {
    // <base>/<year>/<name>.xml has its adjustments in <base>/_Data/<year>-<name>/Adjustments.xml.
    const std::size_t yearStart = szYearFolder.rfind(rtl::PathDelim);
    const std::size_t baseLength = yearStart == rtl::UnicodeString::npos ? 0 : yearStart + 1;
    const rtl::UnicodeStringView base = rtl::UnicodeStringView(szYearFolder).substr(0, baseLength);
    const rtl::UnicodeStringView year = rtl::UnicodeStringView(szYearFolder).substr(baseLength);
    rtl::UnicodeStringView name = szFileName;
    name.remove_suffix(std::min<std::size_t>(4, name.size()));

    // The year folders read in one pass share their VATRTNS folder, so _Data is listed once.
    if (!_blAdjustmentsListed) {
        _LoadAdjustmentsFolders(rtl::UnicodeString(base));
    }
    if (!_pAdjustmentsData) {
        return {};
    }
    const std::uint64_t hash = FoldedHash(name, FoldedHash(u"-", FoldedHash(year)));
    const auto [first, last] = std::equal_range(
        _vAdjustmentsHashes.begin(), _vAdjustmentsHashes.end(), std::pair(hash, std::size_t{0}),
        [](const auto& a, const auto& b) { return a.first < b.first; });
    if (first == last) {
        return {};
    }
    // Built in a buffer kept between returns.
    _szAdjustmentsFolderName.assign(year);
    _szAdjustmentsFolderName += u'-';
    _szAdjustmentsFolderName += name;
    // The folder keeps the letter case Sage gave it; an exact match is preferred, else the first of
    // the names that differ from it only in case.
    std::size_t found = _vAdjustmentsFolders.size();
    for (auto it = first; it != last; ++it) {
        const rtl::UnicodeString& folder = _vAdjustmentsFolders[it->second];
        if (folder == _szAdjustmentsFolderName) {
            return folder;
        }
        if (rtl::SameText(folder, _szAdjustmentsFolderName)) {
            found = std::min(found, it->second);
        }
    }
    return found < _vAdjustmentsFolders.size() ? _vAdjustmentsFolders[found] : rtl::UnicodeString();
}

bool TSageDataset::_LoadAdjustmentsFile(const rtl::UnicodeString& szFolder) {
    // Read inside the open _Data folder without asking first; the rare other spelling of the file
    // name by listing the folder.
    const rtl::UnicodeString folder = _pAdjustmentsData->Path() + rtl::PathDelim + szFolder;
    _szAdjustmentsFile = folder + rtl::PathDelim + u"Adjustments.xml";
    if (_pDocument->LoadFromFileIfExists(*_pAdjustmentsData,
                                         szFolder + rtl::PathDelim + u"Adjustments.xml")) {
        return true;
    }
    const rtl::UnicodeString otherCase = rtl::FindChildIgnoreCase(folder, u"Adjustments.xml");
    if (otherCase == _szAdjustmentsFile) {
        _szAdjustmentsFile.clear();
        return false;
    }
    _szAdjustmentsFile = otherCase;
    return _pDocument->LoadFromFileIfExists(*_pAdjustmentsData,
                                            szFolder + rtl::PathDelim + rtl::ExtractFileName(otherCase));
}

void TSageDataset::_RaiseException(const rtl::UnicodeString& szMessage) {
    // Reports are dropped on purpose: reading goes on with the quiet empty result.
    (void)szMessage;
}

} // namespace sage
