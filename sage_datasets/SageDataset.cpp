#include "sage_datasets/SageDataset.h"

#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageSetupDTA.h"

#include "rtl/Currency.h"
#include "rtl/Exceptions.h"
#include "rtl/FileStream.h"
#include "rtl/Files.h"
#include "rtl/RegularExpression.h"
#include "rtl/XmlDocument.h"

#include "utils/ORVI.CoreUtils.h"

#include <algorithm>
#include <memory>
#include <string>

namespace sage {

namespace {

// The patterns are compiled once per process; matching is thread-safe.
const rtl::TRegEx& SlashDatePattern() {
    static const rtl::TRegEx re(u"(\\d\\d)/(\\d\\d)/(\\d\\d\\d\\d)");
    return re;
}

const rtl::TRegEx& DigitsDatePattern() {
    static const rtl::TRegEx re(u"(\\d\\d)(\\d\\d)(\\d\\d\\d\\d)");
    return re;
}

const rtl::TRegEx& ReturnFileNamePattern() {
    static const rtl::TRegEx re(
        u"VAT Return (\\d\\d)-?(\\d\\d)-?(\\d\\d\\d\\d) - (\\d\\d)-?(\\d\\d)-?(\\d\\d\\d\\d)\\.xml$");
    return re;
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

// The groups hold ASCII digits only, so their value is read straight from the subject.
int GroupNumber(rtl::UnicodeStringView subject, const rtl::TRegExMatch& m, int group) {
    int value = 0;
    const long offset = m.Offset(group);
    for (long i = 0; i < m.Length(group); ++i) {
        value = value * 10 + (subject[static_cast<std::size_t>(offset + i)] - u'0');
    }
    return value;
}

rtl::TDateTime EncodeGroups(rtl::UnicodeStringView subject, const rtl::TRegExMatch& m, int dayGroup) {
    return rtl::EncodeDate(GroupNumber(subject, m, dayGroup + 2), GroupNumber(subject, m, dayGroup + 1),
                           GroupNumber(subject, m, dayGroup));
}

// An element's text as UTF-16. Short ASCII texts (amounts and dates) are widened into a buffer of
// its own, so that reading thousands of returns allocates little.
class TElementText {
public:
    explicit TElementText(const rtl::TXmlNode& node) {
        std::string_view utf8;
        if (node.TryGetSingleTextUtf8(utf8) && utf8.size() <= std::size(_buffer) &&
            std::all_of(utf8.begin(), utf8.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            std::copy(utf8.begin(), utf8.end(), _buffer);
            _view = rtl::UnicodeStringView(_buffer, utf8.size());
        } else {
            _text = node.Text(); // raises for nested elements
            _view = _text;
        }
    }
    TElementText(const TElementText&) = delete;
    TElementText& operator=(const TElementText&) = delete;

    rtl::UnicodeStringView View() const noexcept { return _view; }
    /// A table element other than a BOX must hold text; an empty one makes the file unreadable.
    rtl::UnicodeStringView Required() const {
        if (_view.empty()) {
            throw rtl::EConvertError(u"Empty element in VAT return");
        }
        return _view;
    }
    bool Blank() const noexcept {
        return std::all_of(_view.begin(), _view.end(), [](char16_t c) { return c <= u' '; });
    }

private:
    char16_t _buffer[48];
    rtl::UnicodeString _text;
    rtl::UnicodeStringView _view;
};

rtl::UnicodeString RequiredText(const rtl::TXmlNode& node) {
    return rtl::UnicodeString(TElementText(node).Required());
}

rtl::Currency Amount(rtl::UnicodeStringView text) {
    return rtl::StrToCurr(text);
}

rtl::Currency RequiredAmount(const rtl::TXmlNode& node) {
    return Amount(TElementText(node).Required());
}

// A BOX element without text, or with blanks only, holds 0.
rtl::Currency BoxAmount(const rtl::TXmlNode& node) {
    const TElementText text(node);
    return text.Blank() ? rtl::Currency() : Amount(text.View());
}

rtl::TXmlNode FindChild(const rtl::TXmlNode& parent, rtl::UnicodeStringView localName) {
    for (rtl::TXmlNode node = parent.FirstChildElement(); node; node = node.NextSiblingElement()) {
        if (node.LocalName() == localName) {
            return node;
        }
    }
    throw rtl::EConvertError(u"Missing element " + rtl::UnicodeString(localName));
}

int CompareDescending(rtl::TStringList* list, int index1, int index2) {
    return rtl::CompareStr(list->Strings(index2), list->Strings(index1));
}

// The first line of a file read as 8-bit text, without opening it for anything but reading.
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
    _BeforeLoad();
    try {
        TSageSetupDTA setup;
        setup.SetDatasetFolder(_szDatasetFolder);
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
    _blVATReturnsRead = false;
}

void TSageDataset::_LoadWatermark() {
    _szVersion = rtl::IntToStr(_nMajorVersion);
    const rtl::UnicodeString fileName = rtl::FindChildIgnoreCase(_szDatasetFolder, u"Watermark.xml");
    if (!rtl::FileExists(fileName)) {
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

void TSageDataset::_LoadAllVATReturns() {
    const rtl::UnicodeString vatReturnsFolder = rtl::FindChildIgnoreCase(_szDatasetFolder, u"VATRTNS");
    if (!rtl::DirectoryExists(vatReturnsFolder)) {
        return;
    }
    std::vector<rtl::UnicodeString> yearFolders;
    try {
        yearFolders = rtl::ListDirectories(vatReturnsFolder);
    } catch (const rtl::Exception&) {
        yearFolders.clear(); // an unreadable folder holds no returns
    }
    _ResetAdjustmentsCache();
    for (const rtl::UnicodeString& name : yearFolders) {
        int year = 0;
        if (name.size() == 4 && rtl::TryStrToInt(name, year)) {
            _LoadVatReturns(vatReturnsFolder + rtl::PathDelim + name);
        }
    }
    _ResetAdjustmentsCache();
    // Fixed-width dates make the text order the date order: newest first.
    _slVatReturns->CustomSort(CompareDescending);
    _blVATReturnsRead = true;
}

void TSageDataset::_LoadVatReturns(const rtl::UnicodeString& szYearFolder) {
    std::vector<rtl::UnicodeString> files;
    try {
        files = rtl::ListFiles(szYearFolder);
    } catch (const rtl::Exception&) {
        return;
    }
    for (const rtl::UnicodeString& name : files) {
        std::unique_ptr<TSageDatasetVatReturn> pReturn(_LoadVatReturn(szYearFolder + rtl::PathDelim + name));
        if (pReturn) {
            _slVatReturns->AddObject(rtl::FormatDateTime(u"yyyy/mm/dd", pReturn->DateFrom()), pReturn.get());
            pReturn.release();
        }
    }
}

TSageDatasetVatReturn* TSageDataset::_LoadVatReturn(const rtl::UnicodeString& szFileName) {
    auto pReturn = std::make_unique<TSageDatasetVatReturn>();
    pReturn->SetVatNumber(_GetVatNumberForUrl());
    try {
        if (!_ReadVatReturnFile(szFileName, *pReturn)) {
            return nullptr;
        }
        _ApplyFileNameDates(szFileName, *pReturn);
        _ApplyAdjustments(szFileName, *pReturn);
    } catch (...) {
        // Any failure leaves this file out of the dataset's returns; nothing is reported.
        return nullptr;
    }
    return pReturn.release();
}

bool TSageDataset::_ReadVatReturnFile(const rtl::UnicodeString& szFileName, TSageDatasetVatReturn& pReturn) {
    rtl::TXmlDocument document;
    document.LoadFromFile(szFileName);
    const rtl::TXmlNode root = document.DocumentElement();
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

void TSageDataset::_ApplyFileNameDates(const rtl::UnicodeString& szFileName, TSageDatasetVatReturn& pReturn) {
    const rtl::TRegExMatch m = ReturnFileNamePattern().Match(szFileName);
    if (!m.Success) {
        return;
    }
    const rtl::TDateTime nameFrom = EncodeGroups(szFileName, m, 1);
    const rtl::TDateTime nameTo = EncodeGroups(szFileName, m, 4);
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

rtl::TDateTime TSageDataset::_ParseDate(rtl::UnicodeStringView szText) {
    rtl::TRegExMatch m = SlashDatePattern().Match(szText);
    if (!m.Success) {
        m = DigitsDatePattern().Match(szText);
    }
    if (!m.Success || GroupNumber(szText, m, 1) == 0) {
        return 0;
    }
    return EncodeGroups(szText, m, 1);
}

void TSageDataset::_ApplyAdjustments(const rtl::UnicodeString& szFileName, TSageDatasetVatReturn& pReturn) {
    const rtl::UnicodeString adjustmentsFile = _FindAdjustmentsFile(szFileName);
    if (adjustmentsFile.empty()) {
        return;
    }
    rtl::TXmlDocument document;
    document.LoadFromFile(adjustmentsFile);
    const rtl::TXmlNode root = document.DocumentElement();
    if (!rtl::SameText(root.LocalName(), u"VatReturn")) {
        return;
    }
    std::int32_t nAdjustments = 0;
    for (rtl::TXmlNode box = root.FirstChildElement(); box; box = box.NextSiblingElement()) {
        if (!rtl::SameText(box.LocalName(), u"Box")) {
            continue;
        }
        const int type = rtl::StrToInt(box.Attribute("type"));
        // A type naming a box outside the record is ignored; the other boxes still apply.
        if (type < 0 || type >= TSageDatasetVatReturn::BoxCount) {
            continue;
        }
        for (rtl::TXmlNode adjustment = box.FirstChildElement(); adjustment;
             adjustment = adjustment.NextSiblingElement()) {
            if (!rtl::SameText(adjustment.LocalName(), u"Adjustment")) {
                continue;
            }
            const rtl::Currency value = RequiredAmount(FindChild(adjustment, u"Value"));
            const int enteredInBox = rtl::StrToInt(RequiredText(FindChild(adjustment, u"EnteredInBox")));
            if (enteredInBox == type) {
                pReturn.SetBox(type + 1, pReturn.GetBox(type + 1) + value);
                PostInc(nAdjustments);
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
    _szAdjustmentsBase = szBase;
    const rtl::UnicodeString dataFolder = rtl::FindChildIgnoreCase(
        szBase.empty() ? rtl::UnicodeString(u".") : szBase.substr(0, szBase.size() - 1), u"_Data");
    if (!rtl::DirectoryExists(dataFolder)) {
        return;
    }
    _szAdjustmentsDataFolder = dataFolder;
    try {
        for (rtl::UnicodeString& folder : rtl::ListDirectories(dataFolder)) {
            rtl::UnicodeString key = rtl::UpperCase(folder);
            _vAdjustmentsFolders.emplace_back(std::move(key), std::move(folder));
        }
    } catch (const rtl::Exception&) {
        _vAdjustmentsFolders.clear();
    }
    std::sort(_vAdjustmentsFolders.begin(), _vAdjustmentsFolders.end());
}

void TSageDataset::_ResetAdjustmentsCache() {
    _szAdjustmentsBase.clear();
    _szAdjustmentsDataFolder.clear();
    _vAdjustmentsFolders.clear();
}

rtl::UnicodeString TSageDataset::_FindAdjustmentsFile(const rtl::UnicodeString& szFileName) {
    // <base>/<year>/<name>.xml has its adjustments in <base>/_Data/<year>-<name>/Adjustments.xml.
    const std::size_t nameStart = szFileName.rfind(rtl::PathDelim);
    if (nameStart == rtl::UnicodeString::npos || nameStart == 0) {
        return {};
    }
    const std::size_t yearStart = szFileName.rfind(rtl::PathDelim, nameStart - 1);
    const std::size_t baseLength = yearStart == rtl::UnicodeString::npos ? 0 : yearStart + 1;
    const rtl::UnicodeStringView base = rtl::UnicodeStringView(szFileName).substr(0, baseLength);
    const rtl::UnicodeStringView year =
        rtl::UnicodeStringView(szFileName).substr(baseLength, nameStart - baseLength);
    rtl::UnicodeStringView name = rtl::UnicodeStringView(szFileName).substr(nameStart + 1);
    name.remove_suffix(std::min<std::size_t>(4, name.size()));

    if (base != _szAdjustmentsBase || _szAdjustmentsBase.empty()) {
        _LoadAdjustmentsFolders(rtl::UnicodeString(base));
    }
    if (_szAdjustmentsDataFolder.empty()) {
        return {};
    }
    rtl::UnicodeString folderName(year);
    folderName += u'-';
    folderName += name;
    // The folder keeps the letter case Sage gave it; an exact match is preferred.
    const rtl::UnicodeString key = rtl::UpperCase(folderName);
    auto [first, last] = std::equal_range(_vAdjustmentsFolders.begin(), _vAdjustmentsFolders.end(),
                                          std::make_pair(key, rtl::UnicodeString()),
                                          [](const auto& a, const auto& b) { return a.first < b.first; });
    if (first == last) {
        return {};
    }
    const auto exact =
        std::find_if(first, last, [&](const auto& entry) { return entry.second == folderName; });
    const rtl::UnicodeString& actual = exact != last ? exact->second : first->second;
    const rtl::UnicodeString folder = _szAdjustmentsDataFolder + rtl::PathDelim + actual;
    const rtl::UnicodeString fileName = folder + rtl::PathDelim + u"Adjustments.xml";
    if (rtl::FileExists(fileName)) {
        return fileName;
    }
    const rtl::UnicodeString otherCase = rtl::FindChildIgnoreCase(folder, u"Adjustments.xml");
    return otherCase != fileName && rtl::FileExists(otherCase) ? otherCase : rtl::UnicodeString();
}

void TSageDataset::_RaiseException(const rtl::UnicodeString& szMessage) {
    // Reports are dropped on purpose: reading goes on with the quiet empty result.
    (void)szMessage;
}

} // namespace sage
