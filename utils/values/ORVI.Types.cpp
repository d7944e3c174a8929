#include "utils/values/ORVI.Types.h"

#include "rtl/Exceptions.h"
#include "rtl/Filer.h"
#include "rtl/FloatText.h"


namespace orvi {

namespace types_detail {

TRectD SnapToPixel(const TRectD& r, double scale, bool placeBetweenPixels) {
    const double s = scale > 0 ? scale : 1;
    const double left = std::trunc(r.Left * s) / s;
    const double top = std::trunc(r.Top * s) / s;
    TRectD out(left, top, left + RoundEven(r.Width() * s) / s, top + RoundEven(r.Height() * s) / s);
    if (placeBetweenPixels)
        out.Offset(1 / (2 * s), 1 / (2 * s));
    return out;
}

TRectD CenterAt(const TRectD& r, const TRectD& bounds) {
    TRectD out = r;
    out.SetLocation({bounds.Left + (bounds.Width() - r.Width()) / 2, bounds.Top + (bounds.Height() - r.Height()) / 2});
    return out;
}

double Fit(TRectD& r, const TRectD& bounds) {
    if (!(bounds.Width() > 0 && bounds.Height() > 0))
        return 1;
    const double ratio = std::max(r.Width() / bounds.Width(), r.Height() / bounds.Height());
    if (ratio >= 1)
        r.SetSize({r.Width() / ratio, r.Height() / ratio});
    r = CenterAt(r, bounds);
    return ratio;
}

TRectD FitInto(const TRectD& r, const TRectD& bounds, double& ratio) {
    if (!(bounds.Width() > 0 && bounds.Height() > 0)) {
        ratio = 1;
        return r;
    }
    ratio = std::max(r.Width() / bounds.Width(), r.Height() / bounds.Height());
    if (ratio == 0)
        return r;
    return CenterAt(TRectD(0, 0, r.Width() / ratio, r.Height() / ratio), bounds);
}

TRectD PlaceInto(const TRectD& r, const TRectD& bounds, rtl::THorzRectAlign h, rtl::TVertRectAlign v) {
    TRectD out = r;
    if (r.Width() > bounds.Width() || r.Height() > bounds.Height())
        out = r.FitInto(bounds);
    const double w = out.Width(), ht = out.Height();
    double left = (bounds.Left + bounds.Right - w) / 2;
    if (h == rtl::THorzRectAlign::Left)
        left = bounds.Left;
    else if (h == rtl::THorzRectAlign::Right)
        left = bounds.Right - w;
    double top = (bounds.Top + bounds.Bottom - ht) / 2;
    if (v == rtl::TVertRectAlign::Top)
        top = bounds.Top;
    else if (v == rtl::TVertRectAlign::Bottom)
        top = bounds.Bottom - ht;
    out.SetLocation({left, top});
    return out;
}

} // namespace types_detail

void RectCenter(TRectD& r, const TRectD& bounds) {
    r = r.CenterAt(bounds);
}

// --- Text form ---------------------------------------------------------------------------------------------
namespace {

const rtl::TFormatSettings kPointSettings{}; // "." as decimal point

} // namespace

rtl::UnicodeString RectToString(const TRectD& r) {
    return u"(" + rtl::FloatToStr(r.Left, kPointSettings) + u"," + rtl::FloatToStr(r.Top, kPointSettings) + u"," +
           rtl::FloatToStr(r.Right, kPointSettings) + u"," + rtl::FloatToStr(r.Bottom, kPointSettings) + u")";
}

TRectD StringToRect(const rtl::UnicodeString& szText, const rtl::TFormatSettings& settings) {
    double sides[4];
    int found = 0;
    std::size_t start = 0;
    bool first = true;
    for (std::size_t i = 0; i <= szText.size() && found < 4; ++i) {
        if (i < szText.size() && szText[i] != u',' && szText[i] != u'(' && szText[i] != u')')
            continue;
        const rtl::UnicodeString part = szText.substr(start, i - start);
        start = i + 1;
        // The text before "(" is no side.
        if (std::exchange(first, false) && i < szText.size() && szText[i] == u'(' && rtl::Trim(part).empty())
            continue;
        sides[found++] = rtl::StrToFloat(part, settings);
    }
    if (found < 4)
        throw rtl::EConvertError(u"'" + szText + u"' is not a valid rectangle");
    return {sides[0], sides[1], sides[2], sides[3]};
}

// --- TBoundsD ----------------------------------------------------------------------------------------------
TBoundsD::TBoundsD(const TRectD& defaultValue) : _rect(defaultValue), _defaultValue(defaultValue) {}

void TBoundsD::SetSide(double& side, double value) {
    if (side == value)
        return;
    side = value;
    DoChange();
}

void TBoundsD::SetRect(const TRectD& value) {
    if (_rect == value)
        return;
    _rect = value;
    DoChange();
}

void TBoundsD::DoChange() {
    if (OnChange)
        OnChange(this);
}

TRectD TBoundsD::MarginRect(const TRectD& r) const {
    return {r.Left - _rect.Left, r.Top - _rect.Top, r.Right + _rect.Right, r.Bottom + _rect.Bottom};
}

TRectD TBoundsD::PaddingRect(const TRectD& r) const {
    return {r.Left + _rect.Left, r.Top + _rect.Top, r.Right - _rect.Right, r.Bottom - _rect.Bottom};
}

bool TBoundsD::MarginEmpty() const {
    return std::abs(_rect.Left) <= rtl::Epsilon && std::abs(_rect.Top) <= rtl::Epsilon &&
           std::abs(_rect.Right) <= rtl::Epsilon && std::abs(_rect.Bottom) <= rtl::Epsilon;
}

rtl::UnicodeString TBoundsD::ToString() const {
    const auto side = [](double v) { return rtl::FloatToStrFixed(v, 2, 4, kPointSettings); };
    return rtl::Utf8ToString(ClassName()) + u" (" + side(_rect.Left) + u"," + side(_rect.Top) + u")-(" +
           side(_rect.Right) + u"," + side(_rect.Bottom) + u")";
}

void TBoundsD::Assign(const rtl::TPersistent* source) {
    if (const auto* other = dynamic_cast<const TBoundsD*>(source)) {
        SetRect(other->_rect);
        return;
    }
    rtl::TPersistent::Assign(source);
}

bool TBoundsD::SideStored(double side, double defaultSide) const {
    return std::abs(side - defaultSide) > rtl::Epsilon;
}

void TBoundsD::DefineProperties(rtl::TFiler* filer) {
    using R = rtl::TReaderProc;
    using W = rtl::TWriterProc;
    filer->DefineProperty(u"Left", R(this, &TBoundsD::ReadLeft), W(this, &TBoundsD::WriteLeft),
                          SideStored(_rect.Left, _defaultValue.Left));
    filer->DefineProperty(u"Top", R(this, &TBoundsD::ReadTop), W(this, &TBoundsD::WriteTop),
                          SideStored(_rect.Top, _defaultValue.Top));
    filer->DefineProperty(u"Right", R(this, &TBoundsD::ReadRight), W(this, &TBoundsD::WriteRight),
                          SideStored(_rect.Right, _defaultValue.Right));
    filer->DefineProperty(u"Bottom", R(this, &TBoundsD::ReadBottom), W(this, &TBoundsD::WriteBottom),
                          SideStored(_rect.Bottom, _defaultValue.Bottom));
    // Read only: older data kept the rectangle whole, or its sides as whole numbers.
    filer->DefineProperty(u"Rect", R(this, &TBoundsD::ReadRect), W(this, &TBoundsD::WriteRect), false);
    filer->DefineProperty(u"RectI", R(this, &TBoundsD::ReadRectI), W(), false);
    filer->DefineProperty(u"LeftI", R(this, &TBoundsD::ReadLeftI), W(), false);
    filer->DefineProperty(u"TopI", R(this, &TBoundsD::ReadTopI), W(), false);
    filer->DefineProperty(u"RightI", R(this, &TBoundsD::ReadRightI), W(), false);
    filer->DefineProperty(u"BottomI", R(this, &TBoundsD::ReadBottomI), W(), false);
}

void TBoundsD::ReadLeft(rtl::TReader* r) { SetLeft(r->ReadFloat()); }
void TBoundsD::ReadTop(rtl::TReader* r) { SetTop(r->ReadFloat()); }
void TBoundsD::ReadRight(rtl::TReader* r) { SetRight(r->ReadFloat()); }
void TBoundsD::ReadBottom(rtl::TReader* r) { SetBottom(r->ReadFloat()); }
void TBoundsD::ReadLeftI(rtl::TReader* r) { SetLeft(static_cast<double>(r->ReadInteger())); }
void TBoundsD::ReadTopI(rtl::TReader* r) { SetTop(static_cast<double>(r->ReadInteger())); }
void TBoundsD::ReadRightI(rtl::TReader* r) { SetRight(static_cast<double>(r->ReadInteger())); }
void TBoundsD::ReadBottomI(rtl::TReader* r) { SetBottom(static_cast<double>(r->ReadInteger())); }
void TBoundsD::WriteLeft(rtl::TWriter* w) { w->WriteFloat(_rect.Left); }
void TBoundsD::WriteTop(rtl::TWriter* w) { w->WriteFloat(_rect.Top); }
void TBoundsD::WriteRight(rtl::TWriter* w) { w->WriteFloat(_rect.Right); }
void TBoundsD::WriteBottom(rtl::TWriter* w) { w->WriteFloat(_rect.Bottom); }

void TBoundsD::ReadRect(rtl::TReader* r) {
    r->ReadListBegin();
    TRectD value;
    for (double* side : {&value.Left, &value.Top, &value.Right, &value.Bottom})
        *side = r->ReadFloat();
    r->ReadListEnd();
    SetRect(value);
}

void TBoundsD::ReadRectI(rtl::TReader* r) {
    r->ReadListBegin();
    TRectD value;
    for (double* side : {&value.Left, &value.Top, &value.Right, &value.Bottom})
        *side = static_cast<double>(r->ReadInteger());
    r->ReadListEnd();
    SetRect(value);
}

void TBoundsD::WriteRect(rtl::TWriter* w) {
    w->WriteListBegin();
    for (double side : {_rect.Left, _rect.Top, _rect.Right, _rect.Bottom})
        w->WriteFloat(side);
    w->WriteListEnd();
}

} // namespace orvi
