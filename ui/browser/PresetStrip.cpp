#include "ui/browser/PresetStrip.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"

namespace quillon::ui::widgets
{

namespace
{
juce::Colour colourOf (int slot) { return quillon::palette::get (slot); }

juce::Rectangle<float> insetOutline (juce::Rectangle<float> r)
{
    return { r.getX() + 0.5f, r.getY() + 0.5f, juce::jmax (0.0f, r.getWidth() - 1.0f), juce::jmax (0.0f, r.getHeight() - 1.0f) };
}
} // namespace

//==============================================================================
PresetNavStrip::ArrowButton::ArrowButton (int dir)
    : juce::Button (dir == 0 ? "prev" : "next"), direction (dir)
{
    // Return on a focused arrow would throw the current sound away: the arrows are for the mouse.
    setWantsKeyboardFocus (false);
    setMouseClickGrabsKeyboardFocus (false);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setTitle (dir == 0 ? "Previous preset" : "Next preset");
}

void PresetNavStrip::ArrowButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const auto bounds = getLocalBounds().toFloat();

    if (highlighted || down || hasKeyboardFocus (false))
    {
        paintSurface (g, bounds, highlighted, down, false, hasKeyboardFocus (false), isEnabled(), 0);
    }
    else
    {
        g.setColour (colourOf (palette::bgSurface2).withAlpha (0.1f));
        g.fillRoundedRectangle (bounds, 2.0f);
        g.setColour (colourOf (palette::borderHair).withAlpha (0.35f));
        g.drawRoundedRectangle (insetOutline (bounds), 2.0f, 1.0f);
    }

    const auto centre = bounds.getCentre();
    const float outer = direction == 0 ? centre.x + 9.0f : centre.x - 9.0f;
    const float inner = direction == 0 ? centre.x - 9.0f : centre.x + 9.0f;

    juce::Path chevron;
    chevron.startNewSubPath (outer, centre.y - 11.0f);
    chevron.lineTo (inner, centre.y);
    chevron.lineTo (outer, centre.y + 11.0f);

    auto colour = highlighted ? colourOf (palette::textPrimary) : colourOf (palette::textSecondary);
    if (! isEnabled())
        colour = colourOf (palette::textDisabled);

    g.setColour (colour);
    g.strokePath (chevron, juce::PathStrokeType (highlighted ? 1.5f : 1.25f));
}

PresetNavStrip::BrowseButton::BrowseButton()
    : juce::Button ("browse")
{
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setTitle ("Browse presets");
}

void PresetNavStrip::BrowseButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    paintSurface (g, getLocalBounds().toFloat(), highlighted, down, false, hasKeyboardFocus (false), isEnabled(), 0);
    g.setFont (getEditorFont (6));
    g.setColour (colourOf (palette::textPrimary));
    larkspur::widgets::drawFittedLine (g, "BROWSE", getLocalBounds().toFloat(), juce::Justification::centred);
}

//==============================================================================
PresetNavStrip::PresetNavStrip()
{
    for (auto* b : { static_cast<juce::Button*> (&previousButton), static_cast<juce::Button*> (&nextButton),
                     static_cast<juce::Button*> (&browseButton) })
        addAndMakeVisible (b);

    previousButton.onClick = [this] { if (onPrevious) onPrevious(); };
    nextButton.onClick = [this] { if (onNext) onNext(); };
    browseButton.onClick = [this] { if (onBrowse) onBrowse(); };

    setTooltip (juce::String::fromUTF8 ("Click name to rename \xc2\xb7 right-click for Save / Load / Reveal folder"));
    setSize (312, 44);
}

PresetNavStrip::~PresetNavStrip()
{
    if (renameEditor != nullptr)
        renameEditor->removeListener (this);
}

void PresetNavStrip::setPresetName (const juce::String& name, bool modified)
{
    presetName = modified ? name + " *" : name;
    editableName = name;
    repaint();
}

juce::String PresetNavStrip::getPositionText() const
{
    return juce::String::formatted ("PRESET %02d / %02d", presetIndex, presetCount).toUpperCase();
}

int PresetNavStrip::rowTop() const noexcept { return juce::jmin (getHeight(), 22); }
int PresetNavStrip::rowHeight() const noexcept { return juce::jmin (getHeight() - 22, 44); }

juce::Rectangle<int> PresetNavStrip::getNameCell() const
{
    return { 52, rowTop(), getWidth() - 200, rowHeight() };
}

juce::Rectangle<int> PresetNavStrip::getPositionLineArea() const
{
    return { 52, 0, getWidth() - 200, juce::jmin (getHeight(), 22) };
}

void PresetNavStrip::resized()
{
    const int w = getWidth();
    const int y = rowTop(), h = rowHeight();

    previousButton.setBounds (0, y, 44, h);
    nextButton.setBounds (w - 148, y, 44, h);
    browseButton.setBounds (w - 96, y, 96, h);

    if (renameEditor != nullptr)
        renameEditor->setBounds (getNameCell());
}

juce::PopupMenu PresetNavStrip::buildUserPresetMenu()
{
    juce::PopupMenu menu;
    menu.addItem (saveItem, "Save preset");
    menu.addItem (saveAsItem, juce::String::fromUTF8 ("Save preset as\xe2\x80\xa6"));
    menu.addSeparator();
    menu.addItem (loadItem, juce::String::fromUTF8 ("Load preset from file\xe2\x80\xa6"));
    menu.addSeparator();
    menu.addItem (revealItem, "Reveal user preset folder");
    return menu;
}

void PresetNavStrip::handleMenuResult (int result)
{
    const auto call = [] (const std::function<void()>& f) { if (f) f(); };

    switch (result)
    {
        case saveItem:   call (onSavePreset); break;
        case saveAsItem: call (onSavePresetAs); break;
        case loadItem:   call (onLoadPresetFromFile); break;
        case revealItem: call (onRevealUserPresetFolder); break;
        default: break;
    }
}

void PresetNavStrip::mouseDown (const juce::MouseEvent& e)
{
    const auto cell = getNameCell();

    // The name cell ends one pixel before the next arrow's column.
    const bool inCell = cell.getWidth() > 0 && cell.getHeight() > 0
                     && e.x >= 52 && e.x <= getWidth() - 149
                     && e.y >= cell.getY() && e.y < cell.getBottom();
    if (! inCell)
        return;

    if (e.mods.isRightButtonDown())
    {
        juce::Component::SafePointer<PresetNavStrip> safe (this);
        buildUserPresetMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (this),
                                             [safe] (int result)
                                             {
                                                 if (safe != nullptr)
                                                     safe->handleMenuResult (result);
                                             });
        return;
    }

    beginRename();
}

void PresetNavStrip::beginRename()
{
    if (renameEditor != nullptr)
        renameEditor->removeListener (this);

    renameEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *renameEditor;
    // Font and colours first: a TextEditor gives them only to text added after them.
    ed.setFont (getEditorFont (2));
    ed.setColour (juce::TextEditor::backgroundColourId, colourOf (palette::bgSurface));
    ed.setColour (juce::TextEditor::textColourId, colourOf (palette::textPrimary));
    ed.setColour (juce::TextEditor::outlineColourId, colourOf (palette::accentPrimary));
    ed.setColour (juce::TextEditor::focusedOutlineColourId, colourOf (palette::accentPrimary));
    ed.setColour (juce::TextEditor::highlightColourId, colourOf (palette::accentPrimary).withAlpha (0.3f));
    ed.setColour (juce::TextEditor::highlightedTextColourId, colourOf (palette::textPrimary));
    ed.setColour (juce::CaretComponent::caretColourId, colourOf (palette::accentPrimary));
    ed.setIndents (2, 0);
    ed.setJustification (juce::Justification::centredLeft);
    // Selecting all on focus would leave the caret at the end and scroll the name's start out of view.
    ed.setSelectAllWhenFocused (false);
    ed.setText (editableName, false);
    ed.addListener (this);

    addAndMakeVisible (ed);
    resized();
    if (ed.isShowing())
        ed.grabKeyboardFocus();

    // The whole name selected, so typing replaces it, with the caret and the view at its start.
    ed.moveCaretToEnd();
    ed.moveCaretToTop (true);
    repaint();
}

void PresetNavStrip::commitRename()
{
    if (renameEditor == nullptr)
        return;

    const auto text = renameEditor->getText().trim();
    renameEditor->removeListener (this);
    renameEditor.reset();

    if (text.isNotEmpty())
    {
        presetName = editableName = text;
        if (onRename)
            onRename (text);
    }

    resized();
    repaint();
}

void PresetNavStrip::cancelRename()
{
    if (renameEditor == nullptr)
        return;

    renameEditor->removeListener (this);
    renameEditor.reset();
    resized();
    repaint();
}

void PresetNavStrip::paint (juce::Graphics& g)
{
    const auto line = getPositionLineArea();

    if (line.getWidth() > 0 && line.getHeight() > 0)
    {
        g.setFont (getEditorFont (7));
        g.setColour (colourOf (palette::textTertiary));
        g.drawText (getPositionText(), line, juce::Justification::centredLeft, false);
    }

    const auto cell = getNameCell();

    if (renameEditor == nullptr && cell.getWidth() > 0 && cell.getHeight() > 0)
    {
        g.setFont (getEditorFont (2));
        g.setColour (colourOf (palette::textPrimary));
        larkspur::widgets::drawFittedLine (g, presetName, cell.toFloat(), juce::Justification::centredLeft);
    }
}

} // namespace quillon::ui::widgets
