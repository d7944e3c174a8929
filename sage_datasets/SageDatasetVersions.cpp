#include "sage_datasets/SageDatasetVersions.h"

#include <array>

namespace sage {

namespace {

template <class T> using TVersionClass = rtl::TClassOf<T, TSageDataset, const rtl::UnicodeString&>;

const TVersionClass<TSageDatasetV8> kTSageDatasetV8Class("TSageDatasetV8");
const TVersionClass<TSageDatasetV9> kTSageDatasetV9Class("TSageDatasetV9");
const TVersionClass<TSageDatasetV10> kTSageDatasetV10Class("TSageDatasetV10");
const TVersionClass<TSageDatasetV11> kTSageDatasetV11Class("TSageDatasetV11");
const TVersionClass<TSageDatasetV12> kTSageDatasetV12Class("TSageDatasetV12");
const TVersionClass<TSageDatasetV13> kTSageDatasetV13Class("TSageDatasetV13");
const TVersionClass<TSageDatasetV14> kTSageDatasetV14Class("TSageDatasetV14");
const TVersionClass<TSageDatasetV15> kTSageDatasetV15Class("TSageDatasetV15");
const TVersionClass<TSageDatasetV16> kTSageDatasetV16Class("TSageDatasetV16");
const TVersionClass<TSageDatasetV17> kTSageDatasetV17Class("TSageDatasetV17");
const TVersionClass<TSageDatasetV18> kTSageDatasetV18Class("TSageDatasetV18");
const TVersionClass<TSageDatasetV19> kTSageDatasetV19Class("TSageDatasetV19");
const TVersionClass<TSageDatasetV20> kTSageDatasetV20Class("TSageDatasetV20");
const TVersionClass<TSageDatasetV21> kTSageDatasetV21Class("TSageDatasetV21");
const TVersionClass<TSageDatasetV22> kTSageDatasetV22Class("TSageDatasetV22");
const TVersionClass<TSageDatasetV23> kTSageDatasetV23Class("TSageDatasetV23");
const TVersionClass<TSageDatasetV24> kTSageDatasetV24Class("TSageDatasetV24");
const TVersionClass<TSageDatasetV25> kTSageDatasetV25Class("TSageDatasetV25");
const TVersionClass<TSageDatasetV26> kTSageDatasetV26Class("TSageDatasetV26");
const TVersionClass<TSageDatasetV27> kTSageDatasetV27Class("TSageDatasetV27");
const TVersionClass<TSageDatasetV28> kTSageDatasetV28Class("TSageDatasetV28");
const TVersionClass<TSageDatasetV29> kTSageDatasetV29Class("TSageDatasetV29");
const TVersionClass<TSageDatasetv30> kTSageDatasetv30Class("TSageDatasetv30");

// Indexed by version byte less 8.
const std::array<const TSageDatasetClass*, 23> kVersionClasses = {
    &kTSageDatasetV8Class,  &kTSageDatasetV9Class,  &kTSageDatasetV10Class, &kTSageDatasetV11Class,
    &kTSageDatasetV12Class, &kTSageDatasetV13Class, &kTSageDatasetV14Class, &kTSageDatasetV15Class,
    &kTSageDatasetV16Class, &kTSageDatasetV17Class, &kTSageDatasetV18Class, &kTSageDatasetV19Class,
    &kTSageDatasetV20Class, &kTSageDatasetV21Class, &kTSageDatasetV22Class, &kTSageDatasetV23Class,
    &kTSageDatasetV24Class, &kTSageDatasetV25Class, &kTSageDatasetV26Class, &kTSageDatasetV27Class,
    &kTSageDatasetV28Class, &kTSageDatasetV29Class, &kTSageDatasetv30Class,
};

} // namespace

const TSageDatasetClass* SageDatasetClassForVersion(int nMajorVersion) noexcept {
    if (nMajorVersion < 8 || nMajorVersion > 30) {
        return nullptr;
    }
    return kVersionClasses[static_cast<std::size_t>(nMajorVersion - 8)];
}

} // namespace sage
