#pragma once

// The browser's searchable, scrolling preset list with its AUDITION buttons.

#include "ui/browser/BrowseView.h"
#include "ui/browser/BrowserButton.h"

#include <utility>
#include <vector>

namespace quillon::ui::views
{

// Typing goes into the field; the browser's keys go on to the browser.
class SearchField : public juce::TextEditor
{
public:
    bool keyPressed (const juce::KeyPress& key) override
    {
        return isBrowserKey (key) ? false : juce::TextEditor::keyPressed (key);
    }
};

//==============================================================================
class BrowseView::Impl::PresetList : public juce::Component
{
public:
    PresetList()
    {
        searchField.setTextToShowWhenEmpty (juce::String::fromUTF8 ("search presets\xe2\x80\xa6"), colourOf (palette::textTertiary));
        searchField.setFont (getEditorFont (3));
        setPaletteColour (searchField, emptyTextColourId, palette::textTertiary);
        setPaletteColour (searchField, juce::TextEditor::backgroundColourId, palette::bgSurface);
        setPaletteColour (searchField, juce::TextEditor::textColourId, palette::textPrimary);
        setPaletteColour (searchField, juce::TextEditor::highlightColourId, palette::accentPrimary, 0.3f);
        setPaletteColour (searchField, juce::TextEditor::highlightedTextColourId, palette::textPrimary);
        setPaletteColour (searchField, juce::CaretComponent::caretColourId, palette::accentPrimary);
        setPaletteColour (searchField, juce::TextEditor::outlineColourId, palette::borderHair);
        setPaletteColour (searchField, juce::TextEditor::focusedOutlineColourId, palette::accentPrimary);
        searchField.setIndents (12, 8);
        searchField.onTextChange = [this] { if (onSearchChanged) onSearchChanged (searchField.getText()); };
        addAndMakeVisible (searchField);

        sortButton.onClick = [this] { if (onSortToggled) onSortToggled(); };
        addAndMakeVisible (sortButton);
    }

    std::function<void (int)> onRowSelected, onRowActivated, onAuditionClicked;
    std::vector<const Entry*> filtered;
    int selectedIndex = -1, auditionIndex = -1, hoveredAudition = -1, hoveredRow = -1, scrollOffset = 0;
    std::function<void (const juce::String&)> onSearchChanged;
    std::function<void()> onSortToggled;
    SearchField searchField;
    BrowserButton sortButton { BrowserButton::sort, sortText (true) };

    int rowTop (int i) const { return i * rowPitch - scrollOffset; }

    // Rows show between the search bar and the bottom margin; nothing outside takes a click.
    int visibleHeight() const { return juce::jmax (0, getHeight() - listTop - listBottomMargin); }
    int maxScrollOffset() const { return juce::jmax (0, (int) filtered.size() * rowPitch - visibleHeight()); }

    void setScrollOffset (int offset)
    {
        offset = juce::jlimit (0, maxScrollOffset(), offset);
        if (offset == scrollOffset)
            return;

        scrollOffset = offset;
        if (isMouseOver())
            updateHover (getMouseXYRelative());
        repaint();
    }

    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel) override
    {
        // A trackpad sends many small steps: keep the fraction so slow swipes still move.
        const float delta = wheel.isReversed ? -wheel.deltaY : wheel.deltaY;
        wheelRemainder -= delta * pixelsPerWheelUnit;
        const int whole = (int) wheelRemainder;
        wheelRemainder -= (float) whole;

        if (whole != 0)
            setScrollOffset (scrollOffset + whole);
    }

    void updateHover (juce::Point<int> position)
    {
        const auto [row, onAudition] = rowAt (position);
        const int audition = onAudition ? row : -1;
        if (row != hoveredRow || audition != hoveredAudition)
        {
            hoveredRow = row;
            hoveredAudition = audition;
            repaint();
        }
    }

    float wheelRemainder = 0.0f;

    // Row index under a point and whether it is on that row's AUDITION button.
    std::pair<int, bool> rowAt (juce::Point<int> p) const
    {
        if (p.x < 24 || p.x > 635 || p.y < listTop || p.y >= listTop + visibleHeight())
            return { -1, false };

        for (int i = 0; i < (int) filtered.size(); ++i)
        {
            const int top = rowTop (i);
            if (p.y >= top + 84 && p.y <= top + 179)
            {
                const bool onAudition = p.x >= 482 && p.x <= 577 && p.y >= top + 110 && p.y <= top + 153;
                return { i, onAudition };
            }
        }
        return { -1, false };
    }

    void mouseMove (const juce::MouseEvent& e) override
    {
        updateHover (e.getPosition());
    }

    void mouseExit (const juce::MouseEvent&) override
    {
        if (hoveredRow != -1 || hoveredAudition != -1)
        {
            hoveredRow = hoveredAudition = -1;
            repaint();
        }
    }

    void mouseDown (const juce::MouseEvent& e) override
    {
        const auto [row, onAudition] = rowAt (e.getPosition());
        if (row < 0)
            return;

        if (onAudition)
        {
            if (onAuditionClicked)
                onAuditionClicked (row);
        }
        else if (row != selectedIndex)
        {
            selectedIndex = row;
            repaint();
            if (onRowSelected)
                onRowSelected (row);
        }
    }

    void mouseDoubleClick (const juce::MouseEvent& e) override
    {
        const auto [row, onAudition] = rowAt (e.getPosition());
        if (row >= 0 && ! onAudition && onRowActivated)
            onRowActivated (row);
    }

    juce::MouseCursor getMouseCursor() override
    {
        return rowAt (getMouseXYRelative()).first >= 0 ? juce::MouseCursor::PointingHandCursor
                                                         : juce::MouseCursor::NormalCursor;
    }

    void resized() override
    {
        searchField.setBounds (24, 24, 508, 44);
        sortButton.setBounds (540, 24, 96, 44);
        setScrollOffset (scrollOffset);
    }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (colourOf (palette::bgGround));
        g.setColour (colourOf (palette::borderHair));
        g.fillRect (0, 68, getWidth(), 1);

        if (filtered.empty())
        {
            drawText (g, 3, "No presets match the search.", { 0, 112, getWidth(), 22 },
                      colourOf (palette::textTertiary), juce::Justification::centredTop);
            return;
        }

        // Rows are clipped to the band that takes their clicks.
        juce::Graphics::ScopedSaveState saved (g);
        g.reduceClipRegion (0, listTop, getWidth(), visibleHeight());

        for (int i = 0; i < (int) filtered.size(); ++i)
        {
            const int rowY = rowTop (i) + listTop;
            if (rowY + rowPitch <= listTop || rowY >= listTop + visibleHeight())
                continue;

            const auto& entry = *filtered[(size_t) i];
            const juce::Rectangle<int> rowArea (24, rowY, 612, 96);

            if (i == selectedIndex)
            {
                g.setColour (colourOf (palette::overlaySelected));
                g.fillRect (rowArea);
                g.setColour (colourOf (palette::accentSelection));
                g.drawRect (rowArea, 1);
            }
            else if (i == hoveredRow)
            {
                g.setColour (colourOf (palette::overlayHover));
                g.fillRect (rowArea);
            }

            drawText (g, 6, juce::String::formatted ("%02d", i + 1), { 40, rowY + 33, 44, 22 },
                      colourOf (palette::textTertiary), juce::Justification::centredLeft);
            drawText (g, 3, entry.displayName, { 92, rowY + 18, 302, 22 },
                      colourOf (entry.available ? palette::textPrimary : palette::textSecondary), juce::Justification::centredLeft);
            // A flagship's description stops short of its badge rather than running under it.
            drawText (g, 4, entry.description, { 92, rowY + 40, entry.flagship ? 278 : 302, 22 },
                      colourOf (palette::textTertiary), juce::Justification::centredLeft);

            if (entry.flagship)
            {
                g.setColour (colourOf (palette::accentPrimary));
                g.drawRoundedRectangle (378.5f, (float) rowY + 33.5f, 87.0f, 21.0f, 2.0f, 1.0f);
                drawText (g, 6, "FLAGSHIP", { 378, rowY + 33, 88, 22 }, colourOf (palette::accentPrimary), juce::Justification::centred);
            }

            juce::Colour fill, outline, text;
            if (i == auditionIndex)
            {
                fill = colourOf (palette::accentPrimary).withAlpha (0.18f);
                outline = text = colourOf (palette::accentPrimary);
            }
            else if (i == hoveredAudition)
            {
                fill = colourOf (palette::bgSurface2).brighter (0.1f);
                outline = colourOf (palette::accentPrimary).withAlpha (0.4f);
                text = colourOf (palette::textPrimary);
            }
            else
            {
                fill = colourOf (palette::bgSurface2);
                outline = colourOf (palette::borderHair);
                text = colourOf (palette::textSecondary);
            }

            const juce::Rectangle<float> button (482.0f, (float) rowY + 26.0f, 96.0f, 44.0f);
            g.setColour (fill);
            g.fillRoundedRectangle (button, 2.0f);
            g.setColour (outline);
            g.drawRoundedRectangle (button.reduced (0.5f), 2.0f, 1.0f);
            drawText (g, 6, "AUDITION", button.toNearestInt(), text, juce::Justification::centred);
        }
    }
};

} // namespace quillon::ui::views
