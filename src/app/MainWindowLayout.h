#pragma once

namespace hoplark {

class TformMain;

// Builds the main window's controls and menus into the window's named members and wires them to
// its handlers. It holds nothing once the window is built.
class MainWindowLayout {
public:
    // Sizes the window's design size is built from.
    static constexpr int LeftPaneWidth = 184;
    static constexpr int RightPaneDesignWidth = 520;
    static constexpr int RightPaneDesignHeight = 329;

    explicit MainWindowLayout(TformMain& form) : form_(form) {}

    void buildLeftPane();
    void buildRightPane();
    void buildMenus();
    // Names every control that shows no text of its own for screen readers (buttons and labels
    // read their text); the hints (tool tips) serve as descriptions.
    void nameControls();

private:
    TformMain& form_;
};

}  // namespace hoplark
