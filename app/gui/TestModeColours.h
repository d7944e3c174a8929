#pragma once
// The test-mode look of the return windows: dark red panels with white header labels, so that a
// return about to go to the portal's test site is never mistaken for a live one.
#include <QColor>

#include <initializer_list>

class QWidget;

namespace ven {

/// Panel colour while the portal's test site is chosen.
inline const QColor kTestModePanelColour(160, 32, 32);

/// Test mode: panels dark red and labels white; otherwise both get the system's colours back.
void ApplyTestModeColours(bool testMode, std::initializer_list<QWidget*> panels,
                          std::initializer_list<QWidget*> labels);

/// The widget keeps the system's colours whatever its panel takes (every role set, none inherited).
void KeepOrdinaryColours(QWidget* widget);

} // namespace ven
