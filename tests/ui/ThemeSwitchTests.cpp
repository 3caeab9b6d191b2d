// A theme chosen while the editor is open must look exactly like a start with that theme: every view
// of both editors is painted and compared pixel for pixel.
#include "WindowTestSupport.h"

#include <cstring>

#include "plugin/Palette.h"
#include "ui/Editor.h"
#include "ui/SettingsPanel.h"
#include "ui/Themes.h"
#include "ui/browser/BrowseView.h"
#include "ui/matrix/LfoCard.h"
#include "ui/panels/SingleCanvasView.h"

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
/** Lets every timer and posted refresh run, so two editors in the same state paint the same. */
void settle()
{
    const auto end = juce::Time::getMillisecondCounter() + 120;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (2);
}

/** The LFO preview scrolls with time, so its plot is left out of the comparison (its frame stays in). */
juce::Rectangle<int> movingArea (Editor& editor)
{
    auto& preview = editor.getCanvasView().getLfoCard().getPreview();
    return editor.getLocalArea (&preview, preview.getLocalBounds().reduced (2));
}

juce::Image paintEditor (Editor& editor)
{
    juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true);
    juce::Graphics g (image);
    editor.paintEntireComponent (g, false);
    return image;
}

/** The differing pixels' bounding box, empty when the images are equal. */
juce::Rectangle<int> differingArea (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> skip)
{
    int x0 = a.getWidth(), y0 = a.getHeight(), x1 = -1, y1 = -1;

    const juce::Image::BitmapData da (a, juce::Image::BitmapData::readOnly), db (b, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (std::memcmp (da.getPixelPointer (x, y), db.getPixelPointer (x, y), (size_t) da.pixelStride) != 0
                && ! skip.contains (x, y))
            {
                x0 = juce::jmin (x0, x); y0 = juce::jmin (y0, y);
                x1 = juce::jmax (x1, x); y1 = juce::jmax (y1, y);
            }

    return x1 < 0 ? juce::Rectangle<int>() : juce::Rectangle<int> (x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

/** Puts an editor into a state that shows most of what it can draw: text in the search field, a
    routed matrix slot, and then each view in turn. */
std::vector<juce::Image> paintEveryView (Editor& editor)
{
    std::vector<juce::Image> images;

    for (int view : { 0, 1, 2, 3 })
    {
        editor.showView (view);
        pumpMessages();
        images.push_back (paintEditor (editor));
    }

    editor.showView (0);
    return images;
}

void prepareContent (QuillonAudioProcessor& processor)
{
    setParam (processor, "mod1Source", 5.0f);
    setParam (processor, "mod1Dest", 1.0f);
    setParam (processor, "mod1Amount", 0.5f);
}
} // namespace

class ThemeSwitchTest : public ::testing::Test
{
protected:
    ~ThemeSwitchTest() override { quillon::ui::applyBuiltInTheme ("dark"); }

    std::vector<juce::Image> startedWith (const juce::String& themeId) { return paintAfterStart (themeId, {}); }

    std::vector<juce::Image> switchedTo (const juce::String& fromId, const juce::String& themeId)
    {
        return paintAfterStart (fromId, themeId);
    }

    // Starts an editor with one theme and, given a second, switches to it once everything has been
    // drawn in the first one's colours.
    std::vector<juce::Image> paintAfterStart (const juce::String& startId, const juce::String& switchId)
    {
        storeSetting ("themeName", startId);
        QuillonAudioProcessor processor;
        prepareContent (processor);
        Editor editor (processor);
        skip = movingArea (editor);
        typeSearch (editor);
        settle();

        if (switchId.isNotEmpty())
        {
            paintEveryView (editor);
            editor.getSettingsPanel().onThemeSelected (switchId);
            settle();
        }

        return paintEveryView (editor);
    }

    static void typeSearch (Editor& editor)
    {
        editor.getBrowseView().getImpl().getSearchField().setText ("bass");
    }

    void expectSame (const std::vector<juce::Image>& started, const std::vector<juce::Image>& switched,
                            const juce::String& what) const
    {
        ASSERT_EQ (started.size(), switched.size());
        for (size_t v = 0; v < started.size(); ++v)
        {
            const auto area = differingArea (started[v], switched[v], v == 1 ? juce::Rectangle<int>() : skip);
            EXPECT_TRUE (area.isEmpty()) << what << ", view " << v << ": differs in " << area.toString();
            if (! area.isEmpty())
            {
                writePng (started[v], "theme-started-" + juce::String ((int) v) + ".png");
                writePng (switched[v], "theme-switched-" + juce::String ((int) v) + ".png");
            }
        }
    }

    ScopedUserHome home;
    juce::Rectangle<int> skip;
};

TEST_F (ThemeSwitchTest, EveryBuiltInThemeLooksTheSameSwitchedOrStarted)
{
    for (const auto& theme : quillon::ui::builtInThemes)
    {
        const juce::String id (theme.id);
        const auto from = id == "dark" ? juce::String ("mossEraDay") : juce::String ("dark");
        expectSame (startedWith (id), switchedTo (from, id), from + " to " + id);
    }
}

TEST_F (ThemeSwitchTest, AStartTakesTheStoredThemesColoursEverywhere)
{
    // These components are built before the stored theme is applied.
    storeSetting ("themeName", "mossEraDay");
    QuillonAudioProcessor processor;
    Editor editor (processor);
    pumpMessages();
    using namespace quillon::palette;

    auto& search = editor.getBrowseView().getImpl().getSearchField();
    EXPECT_EQ (search.findColour (juce::TextEditor::textColourId), get (textPrimary));
    EXPECT_EQ (search.findColour (juce::TextEditor::backgroundColourId), get (bgSurface));

    auto& mode = editor.getCanvasView().getLfoCard().getModeDropdown().getComboBox();
    EXPECT_EQ (mode.findColour (juce::ComboBox::textColourId), get (controlText));

    EXPECT_EQ (editor.getCanvasView().getLfoCard().getSourceChip().getColour(), get (sourceLfo1));
    EXPECT_EQ (get (sourceLfo1), juce::Colour (0xff6b7300));
}
