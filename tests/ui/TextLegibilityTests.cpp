// Every line of text the editor draws, read back from the renderer: big enough to read, not
// squeezed out of shape, and standing out from what is behind it in every built-in theme.
#include "TextAudit.h"
#include "WindowTestSupport.h"

#include "ui/Editor.h"
#include "ui/Header.h"
#include "ui/SettingsPanel.h"
#include "ui/Themes.h"
#include "ui/browser/BrowseView.h"

using namespace window_tests;
using quillon::ui::Editor;
using text_audit::DrawnText;

namespace
{
// At 100 % a design pixel is a screen pixel.
constexpr float smallestHeight = 8.0f;
constexpr float mostSqueeze = 0.8f;
constexpr float leastContrast = 3.0f;

constexpr int views[] = { 0, 3, 2, 1 };

juce::StringArray illegible (const std::vector<DrawnText>& lines)
{
    juce::StringArray found;
    for (const auto& line : lines)
        if (line.height < smallestHeight - 0.01f || line.squeeze < mostSqueeze - 0.001f)
            found.addIfNotAlreadyThere (line.describe());
    return found;
}

juce::StringArray faint (const std::vector<DrawnText>& lines)
{
    juce::StringArray found;
    for (const auto& line : lines)
        if (! line.insideLayer && line.contrast < leastContrast)
            found.addIfNotAlreadyThere (line.describe());
    return found;
}

class TextLegibilityTest : public EditorFixture
{
protected:
    ~TextLegibilityTest() override { quillon::ui::applyBuiltInTheme ("dark"); }

    // A state that shows the most texts: a modulation in the matrix, osc 2 at its floor.
    std::unique_ptr<Editor> openBusy()
    {
        auto editor = open();
        setParam (processor, "mod1Source", 5.0f);
        setParam (processor, "mod1Dest", 1.0f);
        setParam (processor, "osc2Level", -60.0f);
        pumpMessages();
        editor->getBrowseView().getImpl().getSearchField().setText ("bass");
        pumpMessages();
        return editor;
    }
};
} // namespace

TEST_F (TextLegibilityTest, EveryTextIsReadableSizeAndShapeInEveryViewAndScale)
{
    auto editor = openBusy();
    size_t lines = 0;
    float smallest = 100.0f, squeeze = 1.0f;

    for (int view : views)
    {
        editor->showView (view);
        pumpMessages();

        for (auto scale : Editor::scaleSteps)
        {
            const auto drawn = text_audit::auditPaint (*editor, scale);
            lines += drawn.size();
            EXPECT_EQ (illegible (drawn).joinIntoString ("\n"), "") << "view " << view << " at " << scale;

            for (const auto& line : drawn)
            {
                smallest = juce::jmin (smallest, line.height);
                squeeze = juce::jmin (squeeze, line.squeeze);
            }
        }
    }

    EXPECT_GT (lines, 400u); // the audit saw the editor's texts
    std::cout << "smallest text " << smallest << " px, most squeezed to " << squeeze << std::endl;
}

TEST_F (TextLegibilityTest, EveryPresetNameFitsTheHeaderReadably)
{
    auto editor = openBusy();
    auto& browser = editor->getBrowseView().getImpl();
    browser.getSearchField().setText ({});
    pumpMessages();
    auto& strip = editor->getHeader().presetStrip;

    juce::StringArray names;
    for (int i = 0; i < (int) browser.getFiltered().size(); ++i)
    {
        browser.moveSelection (i - browser.getSelectedIndex());
        names.add (browser.getSelectedEntry()->displayName);
    }
    ASSERT_GT (names.size(), 60);
    names.add ("Thirty-six characters of a user name");

    for (const auto& name : names)
    {
        strip.setPresetName (name, true);
        const auto drawn = text_audit::auditPaint (strip);
        EXPECT_EQ (illegible (drawn).joinIntoString ("\n"), "") << name;

        bool whole = false;
        for (const auto& line : drawn)
            whole = whole || line.text == name + " *";
        EXPECT_TRUE (whole) << name << " is not drawn whole";
    }
}

TEST_F (TextLegibilityTest, EveryTextStandsOutFromItsBackgroundInEveryBuiltInTheme)
{
    auto editor = openBusy();
    float worst = 21.0f;
    juce::String worstLine;

    for (const auto& theme : quillon::ui::builtInThemes)
    {
        editor->getSettingsPanel().onThemeSelected (theme.id);
        pumpMessages();

        for (int view : views)
        {
            editor->showView (view);
            pumpMessages();
            const auto drawn = text_audit::auditPaint (*editor);
            EXPECT_EQ (faint (drawn).joinIntoString ("\n"), "") << theme.id << ", view " << view;

            for (const auto& line : drawn)
                if (! line.insideLayer && line.contrast < worst)
                {
                    worst = line.contrast;
                    worstLine = juce::String (theme.id) + ": " + line.describe();
                }
        }
    }

    std::cout << "lowest contrast: " << worstLine << std::endl;
}

TEST (TextAudit, ReadsBackTextSizeSqueezeAndContrast)
{
    // Grey on white is faint; white on black is the most there is.
    juce::Image image (juce::Image::ARGB, 200, 40, true);
    text_audit::Renderer renderer (image);
    {
        juce::Graphics g (renderer);
        g.fillAll (juce::Colours::white);
        g.setColour (juce::Colour (0xffaaaaaa));
        g.setFont (juce::Font (12.0f));
        g.drawText ("Faint", 0, 0, 100, 20, juce::Justification::centredLeft);
        g.setColour (juce::Colours::black);
        g.fillRect (100, 0, 100, 40);
        g.setColour (juce::Colours::white);
        g.drawFittedText ("Squeezed text here", 100, 0, 60, 20, juce::Justification::centredLeft, 1, 0.5f);
    }

    const auto& lines = renderer.lines();
    ASSERT_EQ (lines.size(), 2u);
    EXPECT_EQ (lines[0].text, "Faint");
    EXPECT_FLOAT_EQ (lines[0].height, 12.0f);
    EXPECT_NEAR (lines[0].contrast, text_audit::contrastRatio (juce::Colour (0xffaaaaaa), juce::Colours::white), 0.01f);
    EXPECT_LT (lines[0].contrast, 3.0f);
    EXPECT_EQ (lines[1].text, "Squeezed text here");
    EXPECT_LT (lines[1].squeeze, 0.9f);
    EXPECT_NEAR (lines[1].contrast, 21.0f, 0.01f);
}
