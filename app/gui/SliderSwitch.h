#pragma once
// TSliderSwitch: a two-state slider switch with a caption for each state.
#include <QAbstractButton>

namespace ven {

class TSliderSwitch : public QAbstractButton {
    Q_OBJECT
public:
    /// Starts in the on state.
    explicit TSliderSwitch(QWidget* parent = nullptr);

    bool On() const { return isChecked(); }
    void SetOn(bool on) { setChecked(on); }
    QString OnCaption() const { return _szOnCaption; }
    void SetOnCaption(const QString& caption);
    QString OffCaption() const { return _szOffCaption; }
    void SetOffCaption(const QString& caption);
    /// The caption of the current state.
    QString StateCaption() const { return On() ? _szOnCaption : _szOffCaption; }

    QSize sizeHint() const override;

signals:
    /// The switch moved to the other state (by the user or by SetOn).
    void StateChanged(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString _szOnCaption;
    QString _szOffCaption;
};

} // namespace ven
