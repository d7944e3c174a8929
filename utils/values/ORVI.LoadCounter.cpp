#include "utils/values/ORVI.LoadCounter.h"

namespace orvi {

TORVILoadCounter::TORVILoadCounter(int& nCount, TRoutine fnRegister, TRoutine fnRelease)
    : _nCount(nCount), _fnRelease(fnRelease) {
    if (_nCount++ == 0 && fnRegister)
        fnRegister();
}

TORVILoadCounter::~TORVILoadCounter() {
    if (--_nCount == 0 && _fnRelease)
        _fnRelease();
}

} // namespace orvi
