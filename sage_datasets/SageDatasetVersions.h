#pragma once
// The version classes: one per major version 8 to 30, differing only in constants (field offsets,
// VAT number width, UUID, version number and ODBC driver names).
#include "SageApi.h"
#include "SageDataset.h"

namespace sage {

/// Version 8: fixes every placement that TSageDataset leaves open; later versions override a few.
class SAGE_API TSageDatasetV8 : public TSageDataset {
public:
    using TSageDataset::TSageDataset;

protected:
    std::int32_t _GetAddress1Offset() override { return 64; }
    std::int32_t _GetAddress1ReadLength() override { return 61; }
    std::int32_t _GetAddress1WriteLength() override { return 60; }
    std::int32_t _GetAddress2Offset() override { return 125; }
    std::int32_t _GetAddress2ReadLength() override { return 61; }
    std::int32_t _GetAddress2WriteLength() override { return 60; }
    std::int32_t _GetTownOffset() override { return 186; }
    std::int32_t _GetTownReadLength() override { return 61; }
    std::int32_t _GetTownWriteLength() override { return 60; }
    std::int32_t _GetCountyOffset() override { return 247; }
    std::int32_t _GetCountyReadLength() override { return 61; }
    std::int32_t _GetCountyWriteLength() override { return 60; }
    std::int32_t _GetPostCodeOffset() override { return 308; }
    std::int32_t _GetPostCodeReadLength() override { return 61; }
    std::int32_t _GetPostCodeWriteLength() override { return 60; }
    std::int32_t _GetUuidStringOffset() override { return 0; }
    std::int32_t _GetUuidStringReadLength() override { return 0; }
    std::int32_t _GetUuidStringWriteLength() override { return 0; }
    std::int32_t _GetVatNumberOffset() override { return 3772; }
    std::int32_t _GetVatNumberLength() override { return 30; }
    std::int32_t _GetDatasetVersion() override { return 8; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"SW8DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v8"; }
    void _Initialise() override { _nMajorVersion = _GetDatasetVersion(); }
};

class SAGE_API TSageDatasetV9 : public TSageDatasetV8 {
public:
    using TSageDatasetV8::TSageDatasetV8;

protected:
    std::int32_t _GetDatasetVersion() override { return 9; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"SW9DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v9"; }
};

class SAGE_API TSageDatasetV10 : public TSageDatasetV9 {
public:
    using TSageDatasetV9::TSageDatasetV9;

protected:
    std::int32_t _GetDatasetVersion() override { return 10; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S10DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v10"; }
    std::int32_t _GetUuidStringOffset() override { return 6169; }
    std::int32_t _GetUuidStringReadLength() override { return 36; }
    std::int32_t _GetUuidStringWriteLength() override { return 36; }
    std::int32_t _GetVatNumberOffset() override { return 3785; }
};

class SAGE_API TSageDatasetV11 : public TSageDatasetV10 {
public:
    using TSageDatasetV10::TSageDatasetV10;

protected:
    std::int32_t _GetDatasetVersion() override { return 11; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S11DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v11"; }
    std::int32_t _GetUuidStringOffset() override { return 6178; }
    std::int32_t _GetVatNumberOffset() override { return 3791; }
};

class SAGE_API TSageDatasetV12 : public TSageDatasetV11 {
public:
    using TSageDatasetV11::TSageDatasetV11;

protected:
    std::int32_t _GetDatasetVersion() override { return 12; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S12DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v12"; }
    std::int32_t _GetUuidStringOffset() override { return 6270; }
    std::int32_t _GetVatNumberOffset() override { return 3883; }
};

class SAGE_API TSageDatasetV13 : public TSageDatasetV12 {
public:
    using TSageDatasetV12::TSageDatasetV12;

protected:
    std::int32_t _GetDatasetVersion() override { return 13; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S13DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v13"; }
    std::int32_t _GetUuidStringOffset() override { return 6271; }
    std::int32_t _GetVatNumberOffset() override { return 3884; }
};

class SAGE_API TSageDatasetV14 : public TSageDatasetV13 {
public:
    using TSageDatasetV13::TSageDatasetV13;

protected:
    std::int32_t _GetDatasetVersion() override { return 14; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S14DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v14"; }
};

class SAGE_API TSageDatasetV15 : public TSageDatasetV14 {
public:
    using TSageDatasetV14::TSageDatasetV14;

protected:
    std::int32_t _GetDatasetVersion() override { return 15; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S15DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v15"; }
    std::int32_t _GetUuidStringOffset() override { return 6285; }
    std::int32_t _GetVatNumberOffset() override { return 3898; }
};

class SAGE_API TSageDatasetV16 : public TSageDatasetV15 {
public:
    using TSageDatasetV15::TSageDatasetV15;

protected:
    std::int32_t _GetDatasetVersion() override { return 16; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S16DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v16"; }
};

class SAGE_API TSageDatasetV17 : public TSageDatasetV16 {
public:
    using TSageDatasetV16::TSageDatasetV16;

protected:
    std::int32_t _GetDatasetVersion() override { return 17; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S17DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v17"; }
    std::int32_t _GetUuidStringOffset() override { return 7713; }
    std::int32_t _GetVatNumberOffset() override { return 5326; }
};

class SAGE_API TSageDatasetV18 : public TSageDatasetV17 {
public:
    using TSageDatasetV17::TSageDatasetV17;

protected:
    std::int32_t _GetDatasetVersion() override { return 18; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S18DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v18"; }
    std::int32_t _GetUuidStringOffset() override { return 9014; }
    std::int32_t _GetVatNumberOffset() override { return 6627; }
};

class SAGE_API TSageDatasetV19 : public TSageDatasetV18 {
public:
    using TSageDatasetV18::TSageDatasetV18;

protected:
    std::int32_t _GetDatasetVersion() override { return 19; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S19DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v19"; }
    std::int32_t _GetUuidStringOffset() override { return 9119; }
    std::int32_t _GetVatNumberOffset() override { return 6732; }
};

class SAGE_API TSageDatasetV20 : public TSageDatasetV19 {
public:
    using TSageDatasetV19::TSageDatasetV19;

protected:
    std::int32_t _GetDatasetVersion() override { return 20; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S20DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v20"; }
    std::int32_t _GetUuidStringOffset() override { return 9115; }
    std::int32_t _GetVatNumberOffset() override { return 6738; }
    std::int32_t _GetVatNumberLength() override { return 20; }
};

class SAGE_API TSageDatasetV21 : public TSageDatasetV20 {
public:
    using TSageDatasetV20::TSageDatasetV20;

protected:
    std::int32_t _GetDatasetVersion() override { return 21; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S21DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v21"; }
    std::int32_t _GetUuidStringOffset() override { return 6337; }
    std::int32_t _GetVatNumberOffset() override { return 3960; }
};

class SAGE_API TSageDatasetV22 : public TSageDatasetV21 {
public:
    using TSageDatasetV21::TSageDatasetV21;

protected:
    std::int32_t _GetDatasetVersion() override { return 22; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S22DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v22"; }
    std::int32_t _GetUuidStringOffset() override { return 6344; }
    std::int32_t _GetVatNumberOffset() override { return 3967; }
};

class SAGE_API TSageDatasetV23 : public TSageDatasetV22 {
public:
    using TSageDatasetV22::TSageDatasetV22;

protected:
    std::int32_t _GetDatasetVersion() override { return 23; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S23DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v23"; }
    std::int32_t _GetUuidStringOffset() override { return 6380; }
    std::int32_t _GetVatNumberOffset() override { return 4004; }
};

class SAGE_API TSageDatasetV24 : public TSageDatasetV23 {
public:
    using TSageDatasetV23::TSageDatasetV23;

protected:
    std::int32_t _GetDatasetVersion() override { return 24; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S24DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v24"; }
};

class SAGE_API TSageDatasetV25 : public TSageDatasetV24 {
public:
    using TSageDatasetV24::TSageDatasetV24;

protected:
    std::int32_t _GetDatasetVersion() override { return 25; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S25DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v25"; }
};

class SAGE_API TSageDatasetV26 : public TSageDatasetV25 {
public:
    using TSageDatasetV25::TSageDatasetV25;

protected:
    std::int32_t _GetDatasetVersion() override { return 26; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S26DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v26"; }
};

class SAGE_API TSageDatasetV27 : public TSageDatasetV26 {
public:
    using TSageDatasetV26::TSageDatasetV26;

protected:
    std::int32_t _GetDatasetVersion() override { return 27; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"S27DBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v27"; }
    std::int32_t _GetUuidStringOffset() override { return 6378; }
    std::int32_t _GetVatNumberOffset() override { return 4002; }
};

class SAGE_API TSageDatasetV28 : public TSageDatasetV27 {
public:
    using TSageDatasetV27::TSageDatasetV27;

protected:
    std::int32_t _GetDatasetVersion() override { return 28; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"SDBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v28"; }
};

class SAGE_API TSageDatasetV29 : public TSageDatasetV28 {
public:
    using TSageDatasetV28::TSageDatasetV28;

protected:
    std::int32_t _GetDatasetVersion() override { return 29; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"SDBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v29"; }
    std::int32_t _GetUuidStringOffset() override { return 6651; }
    std::int32_t _GetVatNumberOffset() override { return 4277; }
};

class SAGE_API TSageDatasetv30 : public TSageDatasetV29 {
public:
    using TSageDatasetV29::TSageDatasetV29;

protected:
    std::int32_t _GetDatasetVersion() override { return 30; }
    rtl::UnicodeString _GetODBCDriverFileName() override { return u"SDBC32.DLL"; }
    rtl::UnicodeString _GetODBCDriverName() override { return u"Sage Line 50 v30"; }
};

/// The class reference of the version class for a SETUP.DTA version byte; null outside 8 to 30.
SAGE_API const TSageDatasetClass* SageDatasetClassForVersion(int nMajorVersion) noexcept;

} // namespace sage
