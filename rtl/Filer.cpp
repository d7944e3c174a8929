#include "rtl/Filer.h"

#include "rtl/Exceptions.h"
#include "rtl/FloatText.h"

namespace rtl {

namespace {

const TFormatSettings kPointSettings{}; // "." as decimal point, whatever the user's locale

[[noreturn]] void InvalidValue() {
    throw EReadError(u"Invalid property value");
}

/// "(", ")" and every run of other non-blank characters.
std::vector<UnicodeString> SplitValue(UnicodeStringView text) {
    std::vector<UnicodeString> tokens;
    for (std::size_t i = 0; i < text.size();) {
        const char16_t c = text[i];
        if (c <= u' ') {
            ++i;
        } else if (c == u'(' || c == u')') {
            tokens.emplace_back(1, c);
            ++i;
        } else {
            const std::size_t start = i;
            while (i < text.size() && text[i] > u' ' && text[i] != u'(' && text[i] != u')')
                ++i;
            tokens.emplace_back(text.substr(start, i - start));
        }
    }
    return tokens;
}

} // namespace

// --- TWriter -------------------------------------------------------------------------------------------
void TWriter::WriteProperties(TPersistent* instance) {
    DefinePropertiesOf(instance);
}

void TWriter::DefineProperty(const UnicodeString& szName, TReaderProc, TWriterProc writeData, bool hasData) {
    if (!hasData || !writeData)
        return;
    _szText += szName + u" =";
    _blNeedsSpace = true;
    writeData(this);
    _szText += u'\n';
}

void TWriter::WriteValue(const UnicodeString& szValue) {
    if (_blNeedsSpace)
        _szText += u' ';
    _szText += szValue;
    _blNeedsSpace = true;
}

void TWriter::WriteFloat(double value) {
    WriteValue(FloatToStr(value, kPointSettings));
}

void TWriter::WriteInteger(std::int64_t value) {
    WriteValue(IntToStr(value));
}

void TWriter::WriteListBegin() {
    WriteValue(u"(");
    _blNeedsSpace = false;
}

void TWriter::WriteListEnd() {
    _szText += u')';
    _blNeedsSpace = true;
}

// --- TReader -------------------------------------------------------------------------------------------
void TReader::ReadProperties(TPersistent* instance) {
    _properties.clear();
    DefinePropertiesOf(instance);
    std::size_t start = 0;
    while (start <= _szText.size()) {
        std::size_t end = _szText.find(u'\n', start);
        if (end == UnicodeString::npos)
            end = _szText.size();
        ReadLine(UnicodeStringView(_szText).substr(start, end - start));
        start = end + 1;
    }
}

void TReader::ReadLine(UnicodeStringView line) {
    if (Trim(line).empty())
        return;
    const std::size_t eq = line.find(u'=');
    const UnicodeString name = Trim(line.substr(0, eq == UnicodeStringView::npos ? line.size() : eq));
    const TProperty* found = nullptr;
    for (const TProperty& p : _properties)
        if (SameText(p.szName, name))
            found = &p;
    if (!found || !found->readData || eq == UnicodeStringView::npos)
        throw EReadError(u"Property " + name + u" does not exist");
    _tokens = SplitValue(line.substr(eq + 1));
    _nToken = 0;
    try {
        found->readData(this);
    } catch (const EReadError&) {
        throw EReadError(u"Invalid property value of " + name);
    }
    if (_nToken != _tokens.size())
        throw EReadError(u"Invalid property value of " + name);
}

void TReader::DefineProperty(const UnicodeString& szName, TReaderProc readData, TWriterProc, bool) {
    _properties.push_back({szName, readData});
}

const UnicodeString& TReader::NextToken() {
    if (_nToken >= _tokens.size())
        InvalidValue();
    return _tokens[_nToken++];
}

double TReader::ReadFloat() {
    double value = 0;
    if (!TryStrToFloat(NextToken(), value, kPointSettings))
        InvalidValue();
    return value;
}

std::int64_t TReader::ReadInteger() {
    std::int64_t value = 0;
    if (!TryStrToInt64(NextToken(), value))
        InvalidValue();
    return value;
}

void TReader::ReadListBegin() {
    if (NextToken() != u"(")
        InvalidValue();
}

bool TReader::EndOfList() const {
    return _nToken >= _tokens.size() || _tokens[_nToken] == u")";
}

void TReader::ReadListEnd() {
    if (NextToken() != u")")
        InvalidValue();
}

} // namespace rtl
