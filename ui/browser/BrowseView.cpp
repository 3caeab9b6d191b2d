#include "ui/browser/BrowseView.h"

#include "BinaryData.h"
#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"
#include "ui/LookAndFeel.h"
#include "ui/Settings.h"
#include "plugin/SafeInput.h"
#include "ui/Themes.h"

#include <algorithm>
#include <cmath>

namespace quillon::ui::views
{

using quillon::presets::Entry;

namespace
{
juce::Colour colourOf (int slot) { return palette::get (slot); }

constexpr int rowPitch = 96;
constexpr int listTop = 84;
constexpr int sidebarRowPitch = 44;
constexpr int listBottomMargin = 44;
// One notch of a mouse wheel (50/256 in JUCE's units) scrolls about half a row.
constexpr float pixelsPerWheelUnit = 256.0f;

// The browser's own keys. Escape closes with any modifier; the others only when pressed alone.
bool isBrowserKey (const juce::KeyPress& key)
{
    if (key.isKeyCode (juce::KeyPress::escapeKey))
        return true;

    const auto mods = key.getModifiers();
    if (mods.isShiftDown() || mods.isCtrlDown() || mods.isAltDown())
        return false;

    return key.isKeyCode (juce::KeyPress::upKey) || key.isKeyCode (juce::KeyPress::downKey)
        || key.isKeyCode (juce::KeyPress::returnKey);
}

void drawText (juce::Graphics& g, int style, const juce::String& text, juce::Rectangle<int> area,
               juce::Colour colour, juce::Justification justification)
{
    g.setColour (colour);
    drawTextWithSymbols (g, text, getEditorFont (style), area.toFloat(), justification);
}

juce::String sortText (bool alphabetical)
{
    return juce::String::fromUTF8 (alphabetical ? "SORT \xc2\xb7 A\xe2\x86\x92Z" : "SORT \xc2\xb7 RECENT");
}

// Previews are looked for in presets/previews below the working folder or the program's folder,
// or any of their parents.
juce::File findPreview (const juce::String& previewSrc)
{
    const auto relative = juce::String ("presets/previews/") + previewSrc;

    const auto search = [&relative] (juce::File start, int steps) -> juce::File
    {
        for (int i = 0; i < steps && start.exists(); ++i)
        {
            const auto candidate = start.getChildFile (relative);
            if (candidate.existsAsFile())
                return candidate;

            const auto parent = start.getParentDirectory();
            if (parent == start)
                break;
            start = parent;
        }
        return {};
    };

    if (auto hit = search (juce::File::getCurrentWorkingDirectory(), 6); hit != juce::File())
        return hit;
    return search (juce::File::getSpecialLocation (juce::File::currentExecutableFile), 8);
}
} // namespace

//==============================================================================
class BrowserButton : public juce::Button
{
public:
    enum Kind { sort = 0, load = 1, favourite = 2 };

    BrowserButton (int k, const juce::String& text)
        : juce::Button (k == favourite ? juce::String ("favourite") : text), kind (k)
    {
        setButtonText (text);
        setClickingTogglesState (kind == favourite);
        setWantsKeyboardFocus (true);
        setMouseCursor (juce::MouseCursor::PointingHandCursor);
        setTitle (kind == favourite ? juce::String ("Favourite preset") : text);
    }

    // Return belongs to the browser (it loads the selection), as do the arrows and Escape.
    bool keyPressed (const juce::KeyPress& key) override
    {
        return isBrowserKey (key) ? false : juce::Button::keyPressed (key);
    }

    void paintButton (juce::Graphics& g, bool highlighted, bool down) override
    {
        const auto bounds = getLocalBounds().toFloat();
        const bool focused = hasKeyboardFocus (false);

        if (kind == sort)
        {
            paintSurface (g, bounds, highlighted, down, false, focused, isEnabled(), 0);
            const auto colour = ! isEnabled() ? colourOf (palette::textDisabled)
                                              : colourOf (highlighted ? palette::textPrimary : palette::textSecondary);
            // Kept clear of the outline, so a squeezed "SORT · RECENT" never touches it.
            drawText (g, 6, getButtonText().toUpperCase(), getLocalBounds().reduced (6, 0), colour,
                      juce::Justification::centred);
        }
        else if (kind == load)
        {
            auto fill = colourOf (palette::accentPrimary);
            if (down)
                fill = fill.darker (0.15f);
            else if (highlighted)
                fill = fill.brighter (0.05f);

            g.setColour (fill);
            g.fillRoundedRectangle (bounds, 2.0f);

            const juce::Rectangle<float> outline (bounds.getX() + 0.5f, bounds.getY() + 0.5f,
                                                  juce::jmax (0.0f, bounds.getWidth() - 1.0f),
                                                  juce::jmax (0.0f, bounds.getHeight() - 1.0f));
            g.setColour (colourOf (focused ? palette::borderFocus : palette::accentPrimary));
            g.drawRoundedRectangle (outline, 2.0f, focused ? 2.0f : 1.5f);

            drawText (g, 2, getButtonText().toUpperCase(), getLocalBounds(),
                      colourOf (isEnabled() ? palette::bgGround : palette::textDisabled), juce::Justification::centred);
        }
        else
        {
            const bool on = getToggleState();
            paintSurface (g, bounds, highlighted, down, on, focused, isEnabled(), 0);

            juce::Path star;
            const auto c = bounds.getCentre();
            for (int k = 0; k < 10; ++k)
            {
                const float radius = (k % 2 == 0) ? 10.0f : 4.0f;
                const float angle = (0.2f * (float) k - 0.5f) * juce::MathConstants<float>::pi;
                const juce::Point<float> p (c.x + radius * std::cos (angle), c.y + radius * std::sin (angle));
                if (k == 0)
                    star.startNewSubPath (p);
                else
                    star.lineTo (p);
            }
            star.closeSubPath();

            auto colour = on ? colourOf (palette::accentPrimary)
                             : colourOf (highlighted ? palette::textPrimary : palette::textSecondary);
            if (! isEnabled())
                colour = colourOf (palette::textDisabled);

            g.setColour (colour);
            if (on)
                g.fillPath (star);
            else
                g.strokePath (star, juce::PathStrokeType (1.0f));
        }
    }

private:
    int kind;
};

//==============================================================================
struct SidebarRow
{
    juce::String id, label;
    int count = 0;
    std::vector<const Entry*> entries;
};

class BrowseView::Impl::Sidebar : public juce::Component
{
public:
    std::function<void (int)> onCategorySelected;
    std::vector<SidebarRow> rows;
    int selectedRow = 0;
    int hoveredRow = -1;

    int rowAt (juce::Point<int> p) const
    {
        if (p.x < 24 || p.x > 179)
            return -1;
        for (int i = 0; i < (int) rows.size(); ++i)
            if (p.y >= listTop + sidebarRowPitch * i && p.y <= 127 + sidebarRowPitch * i)
                return i;
        return -1;
    }

    void mouseMove (const juce::MouseEvent& e) override
    {
        const int row = rowAt (e.getPosition());
        if (row != hoveredRow)
        {
            hoveredRow = row;
            repaint();
        }
    }

    void mouseExit (const juce::MouseEvent&) override
    {
        if (hoveredRow != -1)
        {
            hoveredRow = -1;
            repaint();
        }
    }

    void mouseDown (const juce::MouseEvent& e) override
    {
        const int row = rowAt (e.getPosition());
        if (row >= 0 && row != selectedRow)
        {
            selectedRow = row;
            repaint();
            if (onCategorySelected)
                onCategorySelected (row);
        }
    }

    juce::MouseCursor getMouseCursor() override
    {
        return rowAt (getMouseXYRelative()) >= 0 ? juce::MouseCursor::PointingHandCursor : juce::MouseCursor::NormalCursor;
    }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (colourOf (palette::bgGround));
        drawText (g, 6, "CATEGORY", { 24, 35, 156, 22 }, colourOf (palette::textTertiary), juce::Justification::centredLeft);
        g.setColour (colourOf (palette::borderHair));
        g.fillRect (0, 68, getWidth(), 1);

        for (int i = 0; i < (int) rows.size(); ++i)
        {
            const int y = listTop + sidebarRowPitch * i;
            const juce::Rectangle<int> rowArea (24, y, 156, 44);
            const bool selected = i == selectedRow;
            auto labelColour = colourOf (palette::textSecondary);

            if (selected)
            {
                g.setColour (colourOf (palette::bgSurface));
                g.fillRect (rowArea);
                g.setColour (colourOf (palette::accentSelection));
                g.fillRect (24, y, 4, 44);
                labelColour = colourOf (palette::textPrimary);
            }
            else if (i == hoveredRow)
            {
                g.setColour (colourOf (palette::overlayHover));
                g.fillRect (rowArea);
                labelColour = colourOf (palette::textPrimary);
            }

            // Category names such as "BASS · RESONANT" need more than a fixed 68 px: the count sits at
            // the row's right end and the label takes the rest, squeezed a little before it is cut.
            const auto count = juce::String (rows[(size_t) i].count);
            const auto countFont = getEditorFont (5);
            const int countRight = 167;
            const int labelRight = countRight - (int) std::ceil (countFont.getStringWidthFloat (count)) - 8;
            g.setColour (labelColour);
            g.setFont (getEditorFont (6));
            larkspur::widgets::drawFittedLine (g, rows[(size_t) i].label, juce::Rectangle<int> (36, y, labelRight - 36, 44).toFloat(),
                                               juce::Justification::centredLeft);
            drawText (g, 5, count, { countRight - 44, y, 44, 44 },
                      colourOf (selected ? palette::textSecondary : palette::textTertiary), juce::Justification::centredRight);
        }
    }
};

//==============================================================================
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
        const auto [row, onAudition] = hitTest (position);
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
    std::pair<int, bool> hitTest (juce::Point<int> p) const
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
        const auto [row, onAudition] = hitTest (e.getPosition());
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
        const auto [row, onAudition] = hitTest (e.getPosition());
        if (row >= 0 && ! onAudition && onRowActivated)
            onRowActivated (row);
    }

    juce::MouseCursor getMouseCursor() override
    {
        return hitTest (getMouseXYRelative()).first >= 0 ? juce::MouseCursor::PointingHandCursor
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

//==============================================================================
class BrowseView::Impl::DetailPanel : public juce::Component
{
public:
    DetailPanel()
    {
        loadButton.onClick = [this] { if (onLoadClicked) onLoadClicked(); };
        favouriteButton.onClick = [this] { if (onFavouriteClicked) onFavouriteClicked(); };
        addAndMakeVisible (loadButton);
        addAndMakeVisible (favouriteButton);
    }

    std::function<void()> onLoadClicked, onFavouriteClicked;
    const Entry* entry = nullptr;
    juce::String categoryLabel;
    juce::Image previewImage;
    BrowserButton loadButton { BrowserButton::load, "LOAD" };
    BrowserButton favouriteButton { BrowserButton::favourite, {} };

    void setEntry (const Entry* newEntry, const juce::String& label)
    {
        entry = newEntry;
        categoryLabel = label;
        previewImage = {};

        if (entry != nullptr && entry->previewSrc.isNotEmpty())
            if (const auto file = findPreview (entry->previewSrc); file != juce::File())
                previewImage = juce::ImageFileFormat::loadFrom (file);

        repaint();
    }

    void resized() override
    {
        loadButton.setBounds (24, 436, 320, 44);
        favouriteButton.setBounds (352, 436, 44, 44);
    }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (colourOf (palette::bgGround));

        if (entry == nullptr)
        {
            drawText (g, 6, "NO SELECTION", getLocalBounds(), colourOf (palette::textTertiary), juce::Justification::centred);
            return;
        }

        const auto header = (entry->flagship ? juce::String::fromUTF8 ("FLAGSHIP \xc2\xb7 ") : juce::String()) + categoryLabel;
        drawText (g, 6, header.toUpperCase(), { 24, 24, 232, 22 },
                  colourOf (entry->flagship ? palette::accentPrimary : palette::textSecondary), juce::Justification::centredLeft);
        drawText (g, 9, entry->displayName, { 24, 62, 232, 44 }, colourOf (palette::textPrimary), juce::Justification::centredLeft);

        g.setFont (getEditorFont (3));
        g.setColour (colourOf (palette::textSecondary));
        g.drawFittedText (entry->description, { 24, 122, 372, 66 }, juce::Justification::topLeft, 3, 1.0f);

        g.setColour (colourOf (palette::bgPanel));
        g.fillRoundedRectangle (24.0f, 204.0f, 372.0f, 96.0f, 4.0f);
        g.setColour (colourOf (palette::borderHair));
        g.drawRoundedRectangle (24.5f, 204.5f, 371.0f, 95.0f, 4.0f, 1.0f);
        drawText (g, 6, "SIGNAL PREVIEW", { 36, 212, 200, 22 }, colourOf (palette::textTertiary), juce::Justification::centredLeft);

        const juce::Rectangle<int> previewArea (36, 228, 348, 88);
        if (previewImage.isValid())
            g.drawImage (previewImage, previewArea.toFloat(),
                         juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize);
        else
            drawText (g, 6, "NO PREVIEW", previewArea, colourOf (palette::textTertiary), juce::Justification::centred);

        const int pairs = (int) entry->signature.size();
        if (pairs > 0)
        {
            const int rows = (pairs + 1) / 2;
            const int rowHeight = juce::jmax (44, 96 / juce::jmax (1, rows));

            for (int k = 0; k < pairs; ++k)
            {
                const int x = 24 + 186 * (k % 2);
                const int row = k / 2;
                const auto& pair = entry->signature[(size_t) k];
                drawText (g, 6, pair.label.toUpperCase(), { x, 316 + rowHeight * row, 186, 22 },
                          colourOf (palette::textTertiary), juce::Justification::topLeft);
                drawText (g, 5, pair.value, { x, 338 + rowHeight * row, 186, rowHeight - 22 },
                          colourOf (palette::textPrimary), juce::Justification::topLeft);
            }
        }
    }
};

//==============================================================================
BrowseView::Impl::Impl (BrowseView& o, QuillonAudioProcessor& p, const quillon::presets::Catalogue& c)
    : owner (o), processor (p), catalogue (c)
{
    favourites = openSettingsFile();

    sidebar = std::make_unique<Sidebar>();
    list = std::make_unique<PresetList>();
    detail = std::make_unique<DetailPanel>();
    addAndMakeVisible (*sidebar);
    addAndMakeVisible (*list);
    addAndMakeVisible (*detail);

    sidebar->rows.push_back ({ "__all__", "ALL", catalogue.totalEntries(), catalogue.allEntries() });
    for (const auto& category : catalogue.categories)
    {
        SidebarRow row { category.id, category.name, (int) category.entries.size(), {} };
        for (const auto& entry : category.entries)
            row.entries.push_back (&entry);
        sidebar->rows.push_back (std::move (row));
    }

    sidebar->selectedRow = 0;
    for (int i = 0; i < (int) sidebar->rows.size(); ++i)
        if (sidebar->rows[(size_t) i].id == "reese-jungle-dnb")
        {
            sidebar->selectedRow = i;
            break;
        }

    sidebar->onCategorySelected = [this] (int i) { selectCategory (i); };
    list->onRowSelected = [this] (int i)
    {
        list->selectedIndex = i;
        updateDetail();
    };
    list->onRowActivated = [this] (int i) { loadAt (i); };
    list->onAuditionClicked = [this] (int i) { toggleAudition (i); };
    list->onSearchChanged = [this] (const juce::String& text) { setSearchText (text); };
    list->onSortToggled = [this] { toggleSort(); };
    detail->onLoadClicked = [this]
    {
        if (list->selectedIndex >= 0)
            loadAt (list->selectedIndex);
    };
    detail->onFavouriteClicked = [this] { toggleFavourite(); };

    list->sortButton.setButtonText (sortText (true));
    refreshList();
}

BrowseView::Impl::~Impl()
{
    // An editor closed during an audition leaves the user's own sound playing.
    endAudition (false);
    favourites.reset();
    detail.reset();
    list.reset();
    sidebar.reset();
}

void BrowseView::Impl::selectCategory (int row)
{
    if (row < 0 || row >= (int) sidebar->rows.size())
        return;
    sidebar->selectedRow = row;
    sidebar->repaint();
    refreshList();
}

void BrowseView::Impl::setSearchText (const juce::String& text)
{
    searchText = text;
    refreshList();
}

void BrowseView::Impl::toggleSort()
{
    sortAlphabetical = ! sortAlphabetical;
    list->sortButton.setButtonText (sortText (sortAlphabetical));
    list->sortButton.repaint();
    refreshList();
}

void BrowseView::Impl::refreshList()
{
    std::vector<const Entry*> kept;

    if (sidebar->selectedRow >= 0 && sidebar->selectedRow < (int) sidebar->rows.size())
    {
        const auto query = searchText.trim().toLowerCase();

        for (const auto* entry : sidebar->rows[(size_t) sidebar->selectedRow].entries)
            if (entry != nullptr
                && (query.isEmpty() || entry->displayName.toLowerCase().contains (query)
                    || entry->description.toLowerCase().contains (query)))
                kept.push_back (entry);
    }

    if (sortAlphabetical)
        std::sort (kept.begin(), kept.end(), [] (const Entry* a, const Entry* b)
                   { return a->displayName.compareNatural (b->displayName) < 0; });

    list->filtered = std::move (kept);
    list->selectedIndex = list->filtered.empty() ? -1 : 0;
    // The audition goes on through a search or category change; its button lights where it is shown.
    const auto shown = std::find (list->filtered.begin(), list->filtered.end(), auditionedEntry);
    list->auditionIndex = shown != list->filtered.end() ? (int) (shown - list->filtered.begin()) : -1;
    // Fewer rows than before must not leave the list scrolled past its end, showing nothing.
    list->setScrollOffset (list->scrollOffset);
    list->repaint();
    updateDetail();
}

void BrowseView::Impl::updateDetail()
{
    const int index = list->selectedIndex;

    if (index >= 0 && index < (int) list->filtered.size())
    {
        selectedEntry = list->filtered[(size_t) index];
        juce::String label;

        for (const auto& category : catalogue.categories)
            if (std::any_of (category.entries.begin(), category.entries.end(),
                             [this] (const Entry& e) { return &e == selectedEntry; }))
            {
                label = category.name;
                break;
            }

        detail->setEntry (selectedEntry, label);
        detail->favouriteButton.setToggleState (isFavourite (*selectedEntry), juce::dontSendNotification);
    }
    else
    {
        selectedEntry = nullptr;
        detail->setEntry (nullptr, {});
    }
}

void BrowseView::Impl::moveSelection (int delta)
{
    const int size = (int) list->filtered.size();
    if (size == 0)
        return;

    const int next = juce::jlimit (0, size - 1, list->selectedIndex + delta);
    if (next == list->selectedIndex)
        return;

    list->selectedIndex = next;

    const int rowTop = next * rowPitch, rowBottom = rowTop + rowPitch;
    const int visible = list->visibleHeight();
    auto offset = list->scrollOffset;
    if (rowTop < offset)
        offset = rowTop;
    else if (rowBottom > offset + visible)
        offset = rowBottom - visible;
    list->setScrollOffset (offset);

    list->repaint();
    updateDetail();
}

const Entry* BrowseView::Impl::loadableEntryAt (int index) const
{
    if (index < 0 || index >= (int) list->filtered.size())
        return nullptr;

    const auto* entry = list->filtered[(size_t) index];
    return entry != nullptr && entry->available ? entry : nullptr;
}

void BrowseView::Impl::loadAt (int index)
{
    const auto* entry = loadableEntryAt (index);
    if (entry == nullptr)
        return;

    // A preset that did not load is not reported as loaded: the title would name a sound that is not playing.
    if (! loadPresetIntoProcessor (*entry))
        return;

    // LOAD commits: the sound kept for an audition is let go before the browser closes.
    processor.dropKeptSound();
    auditionedEntry = nullptr;
    list->auditionIndex = -1;
    list->repaint();

    if (owner.onLoadPreset)
        owner.onLoadPreset (entry->xml);
    if (owner.onClose)
        owner.onClose();
}

bool BrowseView::Impl::loadPresetIntoProcessor (const Entry& entry)
{
    int size = 0;
    const auto* data = BinaryData::getNamedResource (entry.xml.replaceCharacter ('.', '_').toRawUTF8(), size);

    if (data == nullptr || size <= 0)
        return false;

    const auto xml = quillon::input::readXml (data, (size_t) size);
    return xml != nullptr && processor.loadStateTree (*xml);
}

void BrowseView::Impl::toggleAudition (int index)
{
    const auto* entry = loadableEntryAt (index);
    if (entry == nullptr)
        return;

    if (entry == auditionedEntry && isAuditioning())
    {
        endAudition();
        return;
    }

    // The user's sound is kept once, before the first audition; later ones only change what plays.
    const bool keptNow = ! processor.hasKeptSound();
    if (keptNow)
        processor.keepSoundForAudition();

    if (! loadPresetIntoProcessor (*entry))
    {
        if (keptNow)
            processor.dropKeptSound();
        return;
    }

    // The title names what is playing: the auditioned preset, not modified.
    processor.setPresetInfo (entry->displayName, "factory:" + entry->xml);
    auditionedEntry = entry;
    list->auditionIndex = index;
    list->repaint();

    if (owner.onSoundChanged)
        owner.onSoundChanged();
}

void BrowseView::Impl::endAudition (bool tellOwner)
{
    const bool restored = processor.restoreKeptSound();
    const bool wasOn = auditionedEntry != nullptr;
    auditionedEntry = nullptr;

    if (list != nullptr && list->auditionIndex != -1)
    {
        list->auditionIndex = -1;
        list->repaint();
    }

    if (tellOwner && (restored || wasOn) && owner.onSoundChanged)
        owner.onSoundChanged();
}

bool BrowseView::Impl::isAuditioning() const
{
    return auditionedEntry != nullptr && processor.hasKeptSound();
}

void BrowseView::Impl::scrollListBy (int pixels)
{
    list->setScrollOffset (list->scrollOffset + pixels);
}

int BrowseView::Impl::getMaxScrollOffset() const
{
    return list->maxScrollOffset();
}

bool BrowseView::Impl::isFavourite (const Entry& entry) const
{
    return favourites != nullptr && favourites->getBoolValue (favouriteKeyFor (entry.xml), false);
}

void BrowseView::Impl::toggleFavourite()
{
    if (selectedEntry == nullptr)
        return;

    const bool now = ! isFavourite (*selectedEntry);

    if (favourites != nullptr)
    {
        favourites->setValue (favouriteKeyFor (selectedEntry->xml), now);
        favourites->saveIfNeeded();
    }

    detail->favouriteButton.setToggleState (now, juce::dontSendNotification);
}

const std::vector<const Entry*>& BrowseView::Impl::getFiltered() const { return list->filtered; }
int BrowseView::Impl::getSelectedIndex() const { return list->selectedIndex; }
int BrowseView::Impl::getAuditionIndex() const { return list->auditionIndex; }
int BrowseView::Impl::getScrollOffset() const { return list->scrollOffset; }
int BrowseView::Impl::getSelectedCategoryRow() const { return sidebar->selectedRow; }
int BrowseView::Impl::getCategoryRowCount() const { return (int) sidebar->rows.size(); }
juce::String BrowseView::Impl::getCategoryLabel (int row) const { return sidebar->rows.at ((size_t) row).label; }
int BrowseView::Impl::getCategoryCount (int row) const { return sidebar->rows.at ((size_t) row).count; }
juce::String BrowseView::Impl::getSortButtonText() const { return list->sortButton.getButtonText(); }
bool BrowseView::Impl::getFavouriteButtonState() const { return detail->favouriteButton.getToggleState(); }
juce::Component& BrowseView::Impl::getList() const { return *list; }
juce::Component& BrowseView::Impl::getSidebar() const { return *sidebar; }
juce::Component& BrowseView::Impl::getDetail() const { return *detail; }
juce::TextEditor& BrowseView::Impl::getSearchField() const { return list->searchField; }
juce::Button& BrowseView::Impl::getLoadButton() const { return detail->loadButton; }
juce::Button& BrowseView::Impl::getFavouriteButton() const { return detail->favouriteButton; }

void BrowseView::Impl::paint (juce::Graphics& g)
{
    g.fillAll (colourOf (palette::bgGround));
}

void BrowseView::Impl::resized()
{
    const int h = getHeight();
    sidebar->setBounds (0, 0, 204, h);
    list->setBounds (204, 0, 660, h);
    detail->setBounds (864, 0, 420, h);
}

//==============================================================================
BrowseView::BrowseView (QuillonAudioProcessor& processor, const quillon::presets::Catalogue& catalogue)
{
    impl = std::make_unique<Impl> (*this, processor, catalogue);
    addAndMakeVisible (*impl);
    setWantsKeyboardFocus (true);
}

BrowseView::~BrowseView() = default;

bool BrowseView::keyPressed (const juce::KeyPress& key)
{
    if (! isBrowserKey (key))
        return false;

    if (key.isKeyCode (juce::KeyPress::escapeKey))
    {
        if (onClose)
        {
            onClose();
            return true;
        }
        return false;
    }
    if (key.isKeyCode (juce::KeyPress::upKey))
    {
        impl->moveSelection (-1);
        return true;
    }
    if (key.isKeyCode (juce::KeyPress::downKey))
    {
        impl->moveSelection (1);
        return true;
    }
    if (key.isKeyCode (juce::KeyPress::returnKey))
    {
        if (impl->getSelectedIndex() >= 0)
            impl->loadAt (impl->getSelectedIndex());
        return true;
    }
    return false;
}

void BrowseView::visibilityChanged()
{
    if (! isVisible())
        impl->endAudition();
}

void BrowseView::paint (juce::Graphics& g)
{
    g.fillAll (colourOf (palette::bgGround));
}

void BrowseView::resized()
{
    impl->setBounds (getLocalBounds());
}

} // namespace quillon::ui::views
