#include "rtl/Persistent.h"

#include "rtl/Exceptions.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

namespace rtl {

namespace {

/// "TPersistent" for rtl::TPersistent: the unqualified, demangled name.
std::string UnqualifiedName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    const auto templateStart = name.find('<');
    const auto scope = name.rfind("::", templateStart);
    return scope == std::string::npos ? name : name.substr(scope + 2);
}

} // namespace

void TPersistent::Assign(const TPersistent* source) {
    if (!source)
        AssignError(nullptr);
    source->AssignTo(this);
}

const char* TPersistent::ClassName() const {
    // One text per dynamic type, kept for the life of the process so the pointer stays valid.
    static std::mutex s_csNames;
    static std::unordered_map<std::type_index, std::string> s_names;
    const std::type_index type(typeid(*this));
    std::lock_guard lock(s_csNames);
    auto it = s_names.find(type);
    if (it == s_names.end())
        it = s_names.emplace(type, UnqualifiedName(typeid(*this))).first;
    return it->second.c_str();
}

void TPersistent::AssignTo(TPersistent* dest) const {
    dest->AssignError(this);
}

void TPersistent::DefineProperties(TFiler*) {}

TPersistent* TPersistent::GetOwner() {
    return nullptr;
}

void TPersistent::AssignError(const TPersistent* source) const {
    const std::string from = source ? source->ClassName() : "nil";
    const std::string to = ClassName();
    throw EConvertError(Utf8ToString("Cannot assign a " + from + " to a " + to));
}

} // namespace rtl
