#pragma once
// The persistent form of an object: the object names its properties to a filer, each with a reader,
// a writer and whether it has data to store; a small text writer and reader keep them one per line,
// "Name = value", where a value is a number or a parenthesised list of numbers.
#include "Method.h"
#include "Persistent.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <vector>

namespace rtl {

class TReader;
class TWriter;
using TReaderProc = TMethod<void(TReader*)>;
using TWriterProc = TMethod<void(TWriter*)>;

class RTL_API TFiler : public TObject {
public:
    /// Declares a property: readData loads its value, writeData stores it, and it is stored only when
    /// hasData is true. Either method may be unassigned (a property only read, or only written).
    virtual void DefineProperty(const UnicodeString& szName, TReaderProc readData, TWriterProc writeData,
                                bool hasData) = 0;

protected:
    /// Has instance declare its properties to this filer.
    void DefinePropertiesOf(TPersistent* instance) { instance->DefineProperties(this); }
};

class RTL_API TWriter : public TFiler {
public:
    /// Appends a line for every property of instance that has data and a writer.
    void WriteProperties(TPersistent* instance);
    /// The lines written so far, each ending in LF.
    const UnicodeString& Text() const noexcept { return _szText; }

    void WriteFloat(double value);
    void WriteInteger(std::int64_t value);
    void WriteListBegin();
    void WriteListEnd();

    void DefineProperty(const UnicodeString& szName, TReaderProc readData, TWriterProc writeData,
                        bool hasData) override;

private:
    void WriteValue(const UnicodeString& szValue);

    UnicodeString _szText;
    bool _blNeedsSpace = false;
};

class RTL_API TReader : public TFiler {
public:
    explicit TReader(UnicodeString szText) : _szText(std::move(szText)) {}
    /// Reads every non-blank line into instance through the reader of the property it names (letter case
    /// ignored). Raises EReadError "Property <name> does not exist" for a name instance does not declare
    /// or cannot read, and "Invalid property value of <name>" for a value its reader does not take whole.
    void ReadProperties(TPersistent* instance);

    /// A number: an integer or a real with "." as decimal point.
    double ReadFloat();
    /// A whole number.
    std::int64_t ReadInteger();
    void ReadListBegin();
    /// True when the next value is the end of the current list.
    bool EndOfList() const;
    void ReadListEnd();

    void DefineProperty(const UnicodeString& szName, TReaderProc readData, TWriterProc writeData,
                        bool hasData) override;

private:
    struct TProperty {
        UnicodeString szName;
        TReaderProc readData;
    };
    void ReadLine(UnicodeStringView line);
    const UnicodeString& NextToken();

    UnicodeString _szText;
    std::vector<TProperty> _properties;
    std::vector<UnicodeString> _tokens; // of the value being read
    std::size_t _nToken = 0;
};

} // namespace rtl
