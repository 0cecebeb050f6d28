#pragma once

#include <QComboBox>
#include <QTimer>

#include <utility>

// A toolbar box that tells a pick from its list, after which the writer goes on in the page, from a change made
// by the keys inside it (the arrows, Enter on a typed name), after which the next keys are still the box's.
template <class Box> class ToolbarBox : public Box
{
public:
    using Box::Box;

    // Whether the change being handled now came from the list; asked once per change.
    bool TakePicked() { return std::exchange(m_picked, false); }

    void showPopup() override
    {
        m_picked = true;
        Box::showPopup();
    }

    void hidePopup() override
    {
        Box::hidePopup();
        // A pick is told right after the list closes; a list closed by Escape tells nothing.
        QTimer::singleShot(0, this, [this] { m_picked = false; });
    }

private:
    bool m_picked = false;
};
