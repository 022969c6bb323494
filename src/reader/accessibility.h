#pragma once
// What assistive technology is told about the reader window's Flash controls: each has an
// accessible name and description, the action buttons the role of a push button with a press
// action that runs the button as a click does, the two decorative movies the role of a picture.
// The page view is left alone: it offers the page's own accessibility.
#include <array>
#include <string_view>

class QWidget;

namespace reader {

struct AccessibleText {
    std::string_view control;
    std::string_view name;
    std::string_view description;
    bool decorative = false;
};

extern const std::array<AccessibleText, 22> kAccessibleTexts;

// Gives `flashControl` (named ShockwaveFlash<number>) its name, description and role.
void describeFlashControl(QWidget* flashControl);

}  // namespace reader
