#pragma once

#include <QPushButton>

namespace pixelcast {

// A push button whose caption wraps onto further lines at word breaks when it does not
// fit its width, as the window's narrow buttons need at 12-point type.
class CaptionButton : public QPushButton {
    Q_OBJECT

public:
    explicit CaptionButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace pixelcast
