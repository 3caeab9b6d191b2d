// The window's size: four scale steps, snapping a dragged size to them, and keeping the window on
// its display.

#include "ui/Editor.h"

#include "ui/EditorLayout.h"

#include <cmath>

namespace quillon::ui
{

using namespace editorLayout;

//==============================================================================
float Editor::nearestScaleStep (double requested)
{
    float best = scaleSteps[0];
    double bestDistance = std::abs (requested - (double) scaleSteps[0]);

    for (size_t i = 1; i < scaleSteps.size(); ++i)
    {
        const double distance = std::abs (requested - (double) scaleSteps[i]);
        if (distance < bestDistance)
        {
            best = scaleSteps[i];
            bestDistance = distance;
        }
    }

    return best;
}

float Editor::snapToScaleStep (int width, int height)
{
    return nearestScaleStep (((double) width / designWidth + (double) height / designHeight) / 2.0);
}

bool Editor::stepFits (float step, juce::Rectangle<int> area, juce::Point<int> frame)
{
    return scaledWidth (step) + frame.x <= area.getWidth() && scaledHeight (step) + frame.y <= area.getHeight();
}

float Editor::largestFittingStep (float wanted, juce::Rectangle<int> area, juce::Point<int> frame)
{
    for (auto it = scaleSteps.rbegin(); it != scaleSteps.rend(); ++it)
        if (*it <= wanted + 1.0e-4f && stepFits (*it, area, frame))
            return *it;

    return scaleSteps.front();
}

void Editor::SnapScaleConstrainer::checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>& previous,
                                                const juce::Rectangle<int>& limits, bool isStretchingTop,
                                                bool isStretchingLeft, bool isStretchingBottom, bool isStretchingRight)
{
    juce::ComponentBoundsConstrainer::checkBounds (bounds, previous, limits, isStretchingTop, isStretchingLeft,
                                                   isStretchingBottom, isStretchingRight);

    const auto s = juce::jmin (snapToScaleStep (bounds.getWidth(), bounds.getHeight()), nearestScaleStep (maxScale));
    bounds.setSize (scaledWidth (s), scaledHeight (s));

    if (isStretchingLeft && ! isStretchingRight)
        bounds.setX (previous.getRight() - bounds.getWidth());
    if (isStretchingTop && ! isStretchingBottom)
        bounds.setY (previous.getBottom() - bounds.getHeight());
}


//==============================================================================
void Editor::setDisplayScale (double wanted)
{
    requestedScale = nearestScaleStep (wanted);
    displayScale = fittedScale (requestedScale);
    storeDisplayScale();
    setSize (scaledWidth (displayScale), scaledHeight (displayScale));
    layOutDesignCanvas();
    settingsPanel.setDisplayScale (displayScale);
    keepWindowOnDisplay();
}


std::optional<juce::Rectangle<int>> Editor::getDisplayUserArea() const
{
    if (displayAreaOverride.has_value())
        return displayAreaOverride;

    const auto& displays = juce::Desktop::getInstance().getDisplays();
    const juce::Displays::Display* display = nullptr;

    if (auto* top = getTopLevelComponent(); top != nullptr && top->isOnDesktop())
        display = displays.getDisplayForRect (top->getScreenBounds());

    if (display == nullptr)
        display = displays.getPrimaryDisplay();

    if (display == nullptr || display->userArea.isEmpty())
        return std::nullopt;

    return display->userArea;
}

juce::Point<int> Editor::windowFrame() const
{
    // Only a window of our own has a known frame (the standalone's title bar and borders);
    // a host's window around the editor is the host's to place.
    auto* window = dynamic_cast<juce::ResizableWindow*> (getTopLevelComponent());

    if (window == nullptr)
        return {};

    juce::Point<int> frame (window->getWidth() - getWidth(), window->getHeight() - getHeight());

    if (auto* peer = window->getPeer())
        if (const auto border = peer->getFrameSizeIfPresent())
            frame += { border->getLeftAndRight(), border->getTopAndBottom() };

    return { juce::jmax (0, frame.x), juce::jmax (0, frame.y) };
}

float Editor::fittedScale (float wanted)
{
    auto scale = nearestScaleStep (wanted);
    juce::String note;

    if (const auto area = getDisplayUserArea())
    {
        const auto frame = windowFrame();
        const auto largest = largestFittingStep (scaleSteps.back(), *area, frame);
        constrainer.maxScale = largest;
        constrainer.setSizeLimits (scaledWidth (scaleSteps.front()), scaledHeight (scaleSteps.front()),
                                   scaledWidth (largest), scaledHeight (largest));

        const auto percent = [] (float s) { return juce::String (juce::roundToInt (s * 100.0f)) + "%"; };

        if (! stepFits (scale, *area, frame))
        {
            const auto fitting = largestFittingStep (scale, *area, frame);
            note = stepFits (fitting, *area, frame)
                       ? percent (scale) + " does not fit this display: showing " + percent (fitting)
                       : "No scale fits this display: showing " + percent (fitting);
            scale = fitting;
        }
    }

    settingsPanel.setScaleNote (note);
    return scale;
}

void Editor::keepWindowOnDisplay()
{
    auto* window = dynamic_cast<juce::ResizableWindow*> (getTopLevelComponent());
    const auto area = getDisplayUserArea();

    if (window == nullptr || ! area.has_value())
        return;

    juce::BorderSize<int> border;
    if (auto* peer = window->getPeer())
        if (const auto b = peer->getFrameSizeIfPresent())
            border = *b;

    const auto outer = border.addedTo (window->getBounds());
    auto placed = outer;

    if (outer.getWidth() <= area->getWidth() && outer.getHeight() <= area->getHeight())
        placed = outer.constrainedWithin (*area);
    else
        placed.setPosition (area->getPosition()); // too big anyway: keep the title bar and close button reachable

    if (placed.getPosition() != outer.getPosition())
        window->setTopLeftPosition (window->getPosition() + (placed.getPosition() - outer.getPosition()));
}

void Editor::parentHierarchyChanged()
{
    // Placed into a window: fit that window's display and frame once it is settled.
    if (refitPending || getParentComponent() == nullptr)
        return;

    refitPending = true;
    juce::Component::SafePointer<Editor> safe (this);
    juce::MessageManager::callAsync ([safe]
    {
        if (safe == nullptr)
            return;

        safe->refitPending = false;
        const auto wanted = safe->requestedScale;
        const auto fitted = safe->fittedScale (wanted);

        if (! juce::approximatelyEqual (fitted, safe->displayScale))
        {
            safe->displayScale = fitted;
            safe->setSize (scaledWidth (fitted), scaledHeight (fitted));
            safe->layOutDesignCanvas();
            safe->settingsPanel.setDisplayScale (fitted);
        }

        safe->keepWindowOnDisplay();
    });
}


//==============================================================================
void Editor::layOutDesignCanvas()
{
    designCanvas.setBounds (0, 0, designWidth, designHeight);
    designCanvas.setTransform (juce::AffineTransform::scale (displayScale));

    header.setBounds (headerBounds);
    footer.setBounds (footerBounds);
    canvasView->setBounds (canvasBounds);
    browseView->setBounds (browserBounds);
    settingsPanel.setBounds (settingsBounds);
    matrixSlideOut.setBounds (matrixBounds);
}

void Editor::resized()
{
    const auto snapped = snapToScaleStep (getWidth(), getHeight());

    if (! nearlyEqual (snapped, displayScale))
    {
        // A host or a corner drag asked for this size: it becomes the choice, within the display.
        requestedScale = snapped;
        displayScale = fittedScale (snapped);
        storeDisplayScale();
        settingsPanel.setDisplayScale (displayScale);
    }

    if (getWidth() != scaledWidth (displayScale) || getHeight() != scaledHeight (displayScale))
    {
        juce::Component::SafePointer<Editor> safe (this);
        juce::MessageManager::callAsync ([safe]
                                         {
                                             if (safe != nullptr)
                                                 safe->setDisplayScale (safe->requestedScale);
                                         });
    }

    layOutDesignCanvas();
}

} // namespace quillon::ui
