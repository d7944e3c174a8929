#pragma once
// User text: names such as Customer.Name resolved against objects that can supply text, and
// placeholders in a template text filled with the values found.
#include "utils/UtilsApi.h"

#include "rtl/ObjectHooks.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <memory>
#include <span>
#include <vector>

namespace orvi {

/// Implemented by objects that can supply text for a key.
class UTILS_API IORVIStringProvider {
public:
    /// The interface's identity.
    static constexpr const char16_t* IID = u"{D62A86ED-AC39-4913-A79E-F83A77100AD0}";
    virtual ~IORVIStringProvider() = default;
    /// The object that implements the interface.
    virtual rtl::TObject* GetImplementor() = 0;
    /// True, with the text in szOutput, when the provider knows szInput.
    virtual bool GetUserTextString(const rtl::UnicodeString& szInput, rtl::UnicodeString& szOutput) = 0;
};

/// Asks each object that implements IORVIStringProvider, in order, for szPath (szValue cleared before
/// each call); true at the first that answers.
UTILS_API bool ORVILookupUserText(const rtl::UnicodeString& szPath, rtl::UnicodeString& szValue,
                                  std::span<rtl::TObject* const> providers);
UTILS_API bool ORVILookupUserText(const rtl::UnicodeString& szPath, rtl::UnicodeString& szValue,
                                  const std::vector<rtl::TObject*>& providers);
UTILS_API bool ORVILookupUserText(const rtl::UnicodeString& szPath, rtl::UnicodeString& szValue,
                                  const std::vector<std::unique_ptr<rtl::TObject>>& providers);
/// Providers by name: "Name.Key", "Name.'Key'", "Name[Key]" or "Name(Key)" ask the provider of that name
/// for Key; a lone key that names no provider asks the provider listed under the empty name. Only the
/// first key after the name counts; every other form answers false.
UTILS_API bool ORVILookupUserText(const rtl::UnicodeString& szPath, rtl::UnicodeString& szValue,
                                  const rtl::TStringList* pProviders);

/// Repeatedly replaces the first placeholder of szText - szStartMarker, text holding neither marker,
/// szEndMarker - by the value ORVILookupUserText finds for its inner text, or removes it when none is
/// found. True, with the final text in szResult, when at least one placeholder was resolved; otherwise
/// false with szResult unchanged. A value may hold placeholders of its own; after 10,000 replacements
/// the text is taken to expand without end: false, szResult unchanged. Empty markers match nothing.
UTILS_API bool ORVILookupEmbeddedUserText(const rtl::UnicodeString& szStartMarker,
                                          const rtl::UnicodeString& szEndMarker, const rtl::UnicodeString& szText,
                                          rtl::UnicodeString& szResult, std::span<rtl::TObject* const> providers);
UTILS_API bool ORVILookupEmbeddedUserText(const rtl::UnicodeString& szStartMarker,
                                          const rtl::UnicodeString& szEndMarker, const rtl::UnicodeString& szText,
                                          rtl::UnicodeString& szResult, const std::vector<rtl::TObject*>& providers);
UTILS_API bool ORVILookupEmbeddedUserText(const rtl::UnicodeString& szStartMarker,
                                          const rtl::UnicodeString& szEndMarker, const rtl::UnicodeString& szText,
                                          rtl::UnicodeString& szResult,
                                          const std::vector<std::unique_ptr<rtl::TObject>>& providers);
UTILS_API bool ORVILookupEmbeddedUserText(const rtl::UnicodeString& szStartMarker,
                                          const rtl::UnicodeString& szEndMarker, const rtl::UnicodeString& szText,
                                          rtl::UnicodeString& szResult, const rtl::TStringList* pProviders);

/// The most placeholders one ORVILookupEmbeddedUserText call replaces.
inline constexpr int ORVIMaxEmbeddedSubstitutions = 10000;

} // namespace orvi
