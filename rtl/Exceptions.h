#pragma once
// The runtime's exception classes: a message and an optional inner exception.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <exception>
#include <memory>
#include <string>

namespace rtl {

class RTL_API Exception : public std::exception {
public:
    explicit Exception(UnicodeString message);
    Exception(UnicodeString message, std::shared_ptr<const Exception> inner);
    ~Exception() override;

    const UnicodeString& Message() const noexcept { return _szMessage; }
    /// The exception this one wraps, or null.
    const Exception* InnerException() const noexcept { return _pInner.get(); }
    /// UTF-8 copy of the message.
    const char* what() const noexcept override;
    /// A heap copy of the same dynamic type, for use as an inner exception.
    virtual std::shared_ptr<const Exception> Clone() const;

private:
    UnicodeString _szMessage;
    std::shared_ptr<const Exception> _pInner;
    std::string _szUtf8;
};

#define RTL_DECLARE_EXCEPTION(Name, Base)                                                                    \
    class RTL_API Name : public Base {                                                                       \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        std::shared_ptr<const Exception> Clone() const override { return std::make_shared<Name>(*this); }    \
    }

RTL_DECLARE_EXCEPTION(EConvertError, Exception);
RTL_DECLARE_EXCEPTION(EArgumentException, Exception);
RTL_DECLARE_EXCEPTION(EArgumentOutOfRangeException, EArgumentException);
RTL_DECLARE_EXCEPTION(EInOutError, Exception);
RTL_DECLARE_EXCEPTION(EFOpenError, EInOutError);
RTL_DECLARE_EXCEPTION(EFCreateError, EInOutError);
RTL_DECLARE_EXCEPTION(EReadError, EInOutError);
RTL_DECLARE_EXCEPTION(EWriteError, EInOutError);
RTL_DECLARE_EXCEPTION(EDivByZero, Exception);
RTL_DECLARE_EXCEPTION(EOverflow, Exception);
RTL_DECLARE_EXCEPTION(EDuplicateKey, Exception);
RTL_DECLARE_EXCEPTION(EXmlError, Exception);
RTL_DECLARE_EXCEPTION(EThreadError, Exception);
RTL_DECLARE_EXCEPTION(ERegistryError, Exception);
RTL_DECLARE_EXCEPTION(EVariantTypeCastError, Exception);
RTL_DECLARE_EXCEPTION(EBcdOverflowException, Exception);

/// A list index outside the list; carries the index.
class RTL_API EListError : public Exception {
public:
    EListError(UnicodeString message, std::int64_t index);
    std::int64_t Index() const noexcept { return _nIndex; }
    std::shared_ptr<const Exception> Clone() const override { return std::make_shared<EListError>(*this); }

private:
    std::int64_t _nIndex;
};

} // namespace rtl
