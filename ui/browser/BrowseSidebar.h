#pragma once

// The browser's category column.

#include "ui/browser/BrowseView.h"
#include "ui/browser/BrowserDrawing.h"

#include <cmath>
#include <vector>

namespace quillon::ui::views
{

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

} // namespace quillon::ui::views
