#pragma once

// The browser's detail column: the selected preset, its preview, favourite and LOAD.

#include "ui/browser/BrowseView.h"
#include "ui/browser/BrowserButton.h"

namespace quillon::ui::views
{

// Previews are looked for in presets/previews below the working folder or the program's folder,
// or any of their parents.
inline juce::File findPreview (const juce::String& previewSrc)
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

} // namespace quillon::ui::views
