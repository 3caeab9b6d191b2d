#include "WindowTestSupport.h"

#include "ui/Editor.h"
#include "plugin/Palette.h"
#include "ui/Themes.h"
#include "ui/matrix/ModulationOverview.h"

#include <cstdlib>

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
juce::String storedSetting (const juce::String& key)
{
    juce::PropertiesFile file (ScopedUserHome::settingsFile(), {});
    return file.getValue (key);
}

juce::KeyPress ctrl (juce::juce_wchar c, bool shift = false)
{
    auto mods = juce::ModifierKeys::ctrlModifier | (shift ? juce::ModifierKeys::shiftModifier : 0);
    return juce::KeyPress ((int) c, juce::ModifierKeys (mods), c);
}
} // namespace

class EditorWindowTest : public EditorFixture {};

TEST_F (EditorWindowTest, StoredScaleSnapsToAStep)
{
    for (auto [stored, expected] : { std::pair { 1.1, 1.0f }, { 1.125, 1.0f }, { 2.0, 1.5f }, { 0.1, 0.75f }, { 1.3, 1.25f } })
    {
        storeSetting ("displayScale", stored);
        auto editor = open();
        EXPECT_FLOAT_EQ (editor->getDisplayScale(), expected) << stored;
        EXPECT_EQ (editor->getWidth(), Editor::scaledWidth (expected));
        EXPECT_EQ (editor->getHeight(), Editor::scaledHeight (expected));
        EXPECT_EQ (editor->getDesignCanvas().getBounds(), juce::Rectangle<int> (0, 0, 1332, 900));
    }
}

TEST_F (EditorWindowTest, FirstStartWritesTheTooltipsFlagAndKeepsDefaults)
{
    auto editor = open();
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 1.0f);
    EXPECT_TRUE (editor->getShowTooltips());
    EXPECT_NE (editor->getTooltipWindow(), nullptr);
    EXPECT_EQ (editor->getThemeName(), "dark");
    EXPECT_EQ (storedSetting ("showTooltips"), "1");

    editor->setShowTooltips (false);
    EXPECT_EQ (editor->getTooltipWindow(), nullptr);
    EXPECT_EQ (storedSetting ("showTooltips"), "0");
}

TEST_F (EditorWindowTest, SettingsOfOtherWritersSurviveTheEditorsWrites)
{
    auto editor = open();
    storeSetting ("fav_reese_classic.xml", true);
    storeSetting ("audioSetup", "<DEVICESETUP/>");

    editor->setDisplayScale (1.25);
    EXPECT_EQ (storedSetting ("displayScale"), "1.25");
    EXPECT_EQ (storedSetting ("fav_reese_classic.xml"), "1");
    EXPECT_EQ (storedSetting ("audioSetup"), "<DEVICESETUP/>");
}

TEST_F (EditorWindowTest, ScaleStepsScaleTheWindowAndTheCanvas)
{
    auto editor = open();
    const std::array<std::pair<int, int>, 4> sizes { { { 999, 675 }, { 1332, 900 }, { 1665, 1125 }, { 1998, 1350 } } };

    for (size_t i = 0; i < Editor::scaleSteps.size(); ++i)
    {
        editor->setDisplayScale (Editor::scaleSteps[i]);
        EXPECT_EQ (editor->getWidth(), sizes[i].first);
        EXPECT_EQ (editor->getHeight(), sizes[i].second);
        EXPECT_EQ (editor->getDesignCanvas().getTransform().mat00, Editor::scaleSteps[i]);
        EXPECT_EQ (storedSetting ("displayScale").getFloatValue(), Editor::scaleSteps[i]);
    }

    // A size between steps is put back on the nearest one.
    editor->setSize (1600, 1080);
    pumpMessages();
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 1.25f);
    EXPECT_EQ (editor->getWidth(), 1665);
}

TEST_F (EditorWindowTest, ConstrainerEndsOnAStepAndKeepsTheOppositeEdge)
{
    Editor::SnapScaleConstrainer c;
    c.setSizeLimits (999, 675, 1998, 1350);
    c.setFixedAspectRatio (1.48);
    const juce::Rectangle<int> previous (100, 100, 1332, 900);
    const juce::Rectangle<int> limits (0, 0, 10000, 10000);

    juce::Rectangle<int> r (100, 100, 1600, 1081);
    c.checkBounds (r, previous, limits, false, false, true, true);
    EXPECT_EQ (r, juce::Rectangle<int> (100, 100, 1665, 1125));

    r = { 232, 189, 1200, 811 }; // dragging the top-left corner inwards
    c.checkBounds (r, previous, limits, true, true, false, false);
    EXPECT_EQ (r.getRight(), previous.getRight());
    EXPECT_EQ (r.getBottom(), previous.getBottom());
    EXPECT_EQ (r.getWidth(), 1332);

    r = { 100, 100, 4000, 3000 };
    c.checkBounds (r, previous, limits, false, false, true, true);
    EXPECT_EQ (r.getWidth(), 1998);
    EXPECT_EQ (r.getHeight(), 1350);
}

TEST_F (EditorWindowTest, KeyboardScaleAndGrid)
{
    auto editor = open();
    EXPECT_TRUE (editor->keyPressed (ctrl ('=')));
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 1.25f);
    EXPECT_TRUE (editor->keyPressed (ctrl ('+')));
    EXPECT_TRUE (editor->keyPressed (ctrl ('=')));
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 1.5f);

    EXPECT_TRUE (editor->keyPressed (ctrl ('0')));
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 1.0f);
    EXPECT_TRUE (editor->keyPressed (ctrl ('-')));
    EXPECT_TRUE (editor->keyPressed (ctrl ('_')));
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 0.75f);

    EXPECT_FALSE (editor->isDebugGridOn());
    EXPECT_TRUE (editor->keyPressed (ctrl ('G', true)));
    EXPECT_TRUE (editor->isDebugGridOn());
    EXPECT_FALSE (editor->keyPressed (ctrl ('g')));

    EXPECT_FALSE (editor->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_FALSE (editor->keyPressed (juce::KeyPress ('a')));
}

TEST_F (EditorWindowTest, EscapeReturnsToTheMainView)
{
    auto editor = open();
    editor->getHeader().presetStrip.browseButton.triggerClick();
    pumpMessages();
    EXPECT_EQ (editor->getActiveView(), 1);
    EXPECT_TRUE (editor->getBrowseView().isVisible());

    EXPECT_TRUE (editor->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_EQ (editor->getActiveView(), 0);
    EXPECT_FALSE (editor->getBrowseView().isVisible());
}

TEST_F (EditorWindowTest, DebugGridFlagFromTheEnvironment)
{
    const auto check = [] (const char* value)
    {
        setenv ("QUILLON_DEBUG_GRID", value, 1);
        const bool on = quillon::ui::readEnvFlag ("QUILLON_DEBUG_GRID");
        unsetenv ("QUILLON_DEBUG_GRID");
        return on;
    };

    EXPECT_TRUE (check ("  Yes "));
    EXPECT_TRUE (check ("ON"));
    EXPECT_TRUE (check ("1"));
    EXPECT_TRUE (check ("true"));
    EXPECT_FALSE (check ("2"));
    EXPECT_FALSE (check (""));
    EXPECT_FALSE (quillon::ui::readEnvFlag ("QUILLON_DEBUG_GRID"));

    setenv ("QUILLON_DEBUG_GRID", "on", 1);
    auto editor = open();
    unsetenv ("QUILLON_DEBUG_GRID");
    EXPECT_TRUE (editor->isDebugGridOn());
}

TEST_F (EditorWindowTest, FactoryStepsStopAtBothEnds)
{
    auto editor = open();
    const auto entries = editor->getCatalogue().allEntries();
    const int count = (int) entries.size();
    ASSERT_GT (count, 1);

    // The processor starts on init_clean.xml; the strip starts at its position.
    const auto* init = editor->getCatalogue().findByXml ("init_clean.xml");
    ASSERT_NE (init, nullptr);
    EXPECT_EQ (entries[(size_t) editor->getCurrentPresetIndex() - 1], init);

    editor->loadFactoryPreset (1);
    editor->getHeader().onPreviousPreset();
    EXPECT_EQ (editor->getCurrentPresetIndex(), 1);
    EXPECT_EQ (processor.getPresetSource(), "factory:" + entries[0]->xml);

    editor->loadFactoryPreset (count);
    editor->getHeader().onNextPreset();
    EXPECT_EQ (editor->getCurrentPresetIndex(), count);
    EXPECT_EQ (processor.getPresetName(), entries[(size_t) count - 1]->displayName);
    EXPECT_EQ (editor->getHeader().presetStrip.presetCount, count);
    EXPECT_EQ (editor->getHeader().presetStrip.presetIndex, count);

    editor->loadFactoryPreset (-5);
    EXPECT_EQ (editor->getCurrentPresetIndex(), 1);
}

TEST_F (EditorWindowTest, TitleFallsBackToTheCatalogueAndMarksChanges)
{
    auto editor = open();
    editor->loadFactoryPreset (2);
    const auto name = editor->getCatalogue().allEntries()[1]->displayName;
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), name);

    setParam (processor, "filterCutoff", 432.0f);
    editor->timerCallback();
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), name + " *");

    processor.setPresetInfo ({}, {});
    editor->refreshPresetTitle();
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), name);

    editor->getHeader().presetStrip.onRename ("Renamed");
    EXPECT_EQ (processor.getPresetName(), "Renamed");
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), "Renamed");
}

TEST_F (EditorWindowTest, BrowserLoadNamesThePresetAndMovesTheStrip)
{
    auto editor = open();
    editor->showView (1);
    auto& impl = editor->getBrowseView().getImpl();
    impl.moveSelection (5);
    const auto* entry = impl.getSelectedEntry();
    ASSERT_NE (entry, nullptr);

    impl.loadAt (impl.getSelectedIndex());
    EXPECT_EQ (editor->getActiveView(), 0);
    EXPECT_EQ (processor.getPresetName(), entry->displayName);
    EXPECT_EQ (processor.getPresetSource(), "factory:" + entry->xml);

    const auto entries = editor->getCatalogue().allEntries();
    EXPECT_EQ (entries[(size_t) editor->getCurrentPresetIndex() - 1], entry);
}

TEST_F (EditorWindowTest, TheTitleNamesWhatPlaysDuringAndAfterAnAudition)
{
    auto editor = open();
    processor.setPresetInfo ("my bass", "user:/tmp/my bass.xml");
    setParam (processor, "filterCutoff", 55.0f);
    editor->timerCallback();
    ASSERT_EQ (editor->getHeader().presetStrip.getPresetName(), "my bass *");
    const int position = editor->getCurrentPresetIndex();

    editor->showView (1);
    auto& impl = editor->getBrowseView().getImpl();
    impl.toggleAudition (4);
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), impl.getFiltered()[4]->displayName);

    // Escape closes the browser without LOAD: the user's sound and its title come back.
    EXPECT_TRUE (editor->getBrowseView().keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_EQ (editor->getActiveView(), 0);
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), "my bass *");
    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 55.0f, 0.01f);
    EXPECT_EQ (editor->getCurrentPresetIndex(), position);

    // "Save preset" now writes the user's sound under the user's name, not the auditioned one.
    editor->saveCurrentPreset (false);
    const auto saved = juce::XmlDocument::parse (home.userPresetFolder().getChildFile ("my bass.xml"));
    ASSERT_NE (saved, nullptr);
    EXPECT_NEAR ((float) QuillonAudioProcessor::findParamChild (juce::ValueTree::fromXml (*saved), "filterCutoff")
                     .getProperty ("value"), 55.0f, 0.01f);
}

TEST_F (EditorWindowTest, SaveAndSaveAsAnswers)
{
    auto editor = open();
    processor.setPresetInfo ({}, {});
    editor->saveCurrentPreset (false);
    const auto untitled = home.userPresetFolder().getChildFile ("untitled.xml");
    ASSERT_TRUE (untitled.existsAsFile());
    EXPECT_EQ (juce::XmlDocument::parse (untitled)->getStringAttribute ("displayName"), "untitled");
    EXPECT_EQ (editor->getHeader().presetStrip.getPresetName(), "untitled");

    editor->handleSaveAsResult (1, "   ");
    editor->handleSaveAsResult (0, "Cancelled");
    EXPECT_EQ (home.userPresetFolder().findChildFiles (juce::File::findFiles, false).size(), 1);

    editor->handleSaveAsResult (1, "  Bass: Lead/2 ");
    EXPECT_TRUE (home.userPresetFolder().getChildFile ("Bass_ Lead_2.xml").existsAsFile());
    EXPECT_EQ (processor.getPresetName(), "Bass: Lead/2");
    EXPECT_EQ (editor->getCurrentPresetIndex(), editor->getCurrentPresetIndex());
}

TEST_F (EditorWindowTest, PaintsAtEveryScaleWithTheGrid)
{
    auto editor = open();
    editor->keyPressed (ctrl ('G', true));

    for (auto scale : Editor::scaleSteps)
    {
        editor->setDisplayScale (scale);
        juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
        {
            juce::Graphics g (image);
            editor->paintEntireComponent (g, false);
        }
        EXPECT_EQ (image.getPixelAt (2, 2).getAlpha(), 255);

        if (scale > 0.99f && scale < 1.01f)
            writePng (image, "editor-window-grid.png");
    }
}

//==============================================================================
TEST_F (EditorWindowTest, ViewsFollowTheirButtons)
{
    auto editor = open();
    auto& footer = editor->getFooter();
    auto& panel = editor->getSettingsPanel();
    auto& matrix = editor->getMatrixSlideOut();

    footer.getMatrixButton().triggerClick();
    pumpMessages();
    EXPECT_EQ (editor->getActiveView(), 3);
    EXPECT_TRUE (matrix.isVisible());
    EXPECT_TRUE (footer.isMatrixOpen());
    EXPECT_EQ (matrix.getBounds(), juce::Rectangle<int> (24, 308, 1284, 460));

    footer.getMatrixButton().triggerClick();
    pumpMessages();
    EXPECT_EQ (editor->getActiveView(), 0);
    EXPECT_FALSE (matrix.isVisible());
    EXPECT_FALSE (footer.isMatrixOpen());

    editor->getHeader().settingsButton.triggerClick();
    pumpMessages();
    EXPECT_EQ (editor->getActiveView(), 2);
    EXPECT_TRUE (panel.isVisible());
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (888, 132, 420, 636));
    EXPECT_TRUE (panel.scaleTabs[1].getToggleState());

    panel.onClose();
    EXPECT_EQ (editor->getActiveView(), 0);
    EXPECT_FALSE (panel.isVisible());

    editor->showView (3);
    matrix.onClose();
    EXPECT_EQ (editor->getActiveView(), 0);

    // A knob's "Reveal in matrix" reaches the editor through the process-wide hook.
    ASSERT_TRUE (quillon::ui::matrix::revealInMatrixHook != nullptr);
    quillon::ui::matrix::revealInMatrixHook (1);
    EXPECT_EQ (editor->getActiveView(), 3);

    editor.reset();
    EXPECT_TRUE (quillon::ui::matrix::revealInMatrixHook == nullptr);
    EXPECT_TRUE (quillon::ui::matrix::matrixChangedHook == nullptr);
}

TEST_F (EditorWindowTest, OnlyTheEditorThatOwnsTheHooksEmptiesThem)
{
    auto first = open();
    auto second = open();
    first.reset();
    ASSERT_TRUE (quillon::ui::matrix::revealInMatrixHook != nullptr);
    quillon::ui::matrix::revealInMatrixHook (1);
    EXPECT_EQ (second->getActiveView(), 3);
}

TEST_F (EditorWindowTest, SettingsPanelChoicesReachTheSettingsFile)
{
    auto editor = open();
    auto& panel = editor->getSettingsPanel();

    panel.onScaleSelected (1.5f);
    EXPECT_FLOAT_EQ (editor->getDisplayScale(), 1.5f);
    EXPECT_EQ (editor->getWidth(), 1998);
    EXPECT_TRUE (panel.scaleTabs[3].getToggleState());

    panel.onTooltipsChanged (false);
    EXPECT_FALSE (editor->getShowTooltips());
    EXPECT_TRUE (panel.tooltipsOffTab.getToggleState());

    panel.onThemeSelected ("untitled");
    EXPECT_EQ (storedSetting ("themeName"), "untitled");
    EXPECT_EQ (editor->getThemeName(), "untitled");

    panel.onThemeSelected ("no-such-theme");
    EXPECT_EQ (storedSetting ("themeName"), "dark");
    EXPECT_EQ (quillon::palette::get (quillon::palette::bgGround), juce::Colour (0xff0b0b0a));
}

TEST_F (EditorWindowTest, StoredThemesAreResolvedAtStart)
{
    storeSetting ("themeName", "untitled");
    {
        auto editor = open();
        EXPECT_EQ (editor->getThemeName(), "velvetReactor");
        EXPECT_EQ (quillon::palette::get (quillon::palette::bgGround), juce::Colour (0xff130018));
    }
    EXPECT_EQ (storedSetting ("themeName"), "untitled");

    storeSetting ("themeName", "custom");
    storeSetting ("themeJson", "[1, 2");
    {
        auto editor = open();
        EXPECT_EQ (editor->getThemeName(), "dark");
        EXPECT_EQ (quillon::palette::get (quillon::palette::bgGround), juce::Colour (0xff0b0b0a));
    }

    storeSetting ("themeJson", "{ \"bg\": { \"ground\": \"#102030\" } }");
    auto editor = open();
    EXPECT_EQ (editor->getThemeName(), "custom");
    EXPECT_EQ (quillon::palette::get (quillon::palette::bgGround), juce::Colour (0xff102030));
    quillon::ui::applyBuiltInTheme ("dark");
}

TEST_F (EditorWindowTest, ImportedThemeIsStoredWithItsText)
{
    auto editor = open();
    const auto file = home.root.getChildFile ("mine.json");
    file.replaceWithText ("{ \"accent\": { \"primary\": \"#ff0000\" } }");
    editor->applyImportedTheme (file);
    EXPECT_EQ (editor->getThemeName(), "custom");
    EXPECT_EQ (storedSetting ("themeName"), "custom");
    EXPECT_TRUE (storedSetting ("themeJson").contains ("#ff0000"));

    const auto notJson = home.root.getChildFile ("array.json");
    notJson.replaceWithText ("[1, 2, 3]");
    editor->getSettingsPanel().onThemeSelected ("dark");
    editor->applyImportedTheme (notJson);
    EXPECT_EQ (editor->getThemeName(), "dark");
    EXPECT_TRUE (storedSetting ("themeJson").contains ("#ff0000"));
}

TEST_F (EditorWindowTest, ARefusedThemeSaysWhyInTheSettingsPanel)
{
    auto editor = open();
    editor->showView (2);
    auto& panel = editor->getSettingsPanel();
    const auto ground = quillon::palette::get (quillon::palette::bgGround);

    // The note is painted on the panel, in the error colour, beside the "Theme" caption.
    const auto noteIsPainted = [&panel]
    {
        const auto image = panel.createComponentSnapshot (panel.getLocalBounds(), false);
        const auto area = panel.getThemeNoteArea();
        const auto error = quillon::palette::get (quillon::palette::semanticError);
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (image.getPixelAt (x, y) == error)
                    return true;
        return false;
    };

    // Valid JSON that is not an object, and JSON cut short, which needs a reason of its own.
    const juce::String objectNote ("Theme JSON must be an object.");
    const struct { const char* text; bool isJson; } refused[] = {
        { "[1, 2, 3]", true },
        { "{ \"bg\": { \"ground\": \"#102030\"", false },
        { "[]", true },
    };
    for (const auto& r : refused)
    {
        SCOPED_TRACE (r.text);
        const auto file = home.root.getChildFile ("refused.json");
        ASSERT_TRUE (file.replaceWithText (r.text));
        editor->getSettingsPanel().filesDropped ({ file.getFullPathName() }, 10, 10);
        if (r.isJson)
        {
            EXPECT_EQ (panel.getThemeNote(), objectNote);
        }
        else
        {
            EXPECT_TRUE (panel.getThemeNote().isNotEmpty() && panel.getThemeNote() != objectNote) << panel.getThemeNote();
        }
        EXPECT_TRUE (noteIsPainted());
        EXPECT_EQ (editor->getThemeName(), "dark");
        EXPECT_EQ (quillon::palette::get (quillon::palette::bgGround), ground);
    }

    editor->applyImportedTheme (home.root.getChildFile ("missing.json"));
    EXPECT_TRUE (panel.getThemeNote().isNotEmpty() && panel.getThemeNote() != objectNote) << panel.getThemeNote();

    // A theme that is taken clears the note, imported or chosen.
    const auto good = home.root.getChildFile ("good.json");
    ASSERT_TRUE (good.replaceWithText ("{ \"accent\": { \"primary\": \"#ff0000\" } }"));
    editor->applyImportedTheme (good);
    EXPECT_TRUE (panel.getThemeNote().isEmpty());
    EXPECT_FALSE (noteIsPainted());
    editor->applyImportedTheme (home.root.getChildFile ("missing.json"));
    panel.onThemeSelected ("dark");
    EXPECT_TRUE (panel.getThemeNote().isEmpty());
}

TEST_F (EditorWindowTest, TheProcessorOpensTheEditorAndItPaintsAtEveryScale)
{
    ASSERT_TRUE (processor.hasEditor());
    std::unique_ptr<juce::AudioProcessorEditor> created (processor.createEditorIfNeeded());
    auto* editor = dynamic_cast<Editor*> (created.get());
    ASSERT_NE (editor, nullptr);
    pumpMessages();

    for (auto scale : Editor::scaleSteps)
    {
        editor->setDisplayScale (scale);
        ASSERT_EQ (editor->getWidth(), Editor::scaledWidth (scale));

        juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
        {
            juce::Graphics g (image);
            editor->paintEntireComponent (g, false);
        }

        // The ground is painted edge to edge and the panels draw something other than the ground.
        const auto ground = quillon::palette::get (quillon::palette::bgGround);
        EXPECT_EQ (image.getPixelAt (1, 1), ground);
        EXPECT_EQ (image.getPixelAt (image.getWidth() - 30, image.getHeight() / 2), ground);
        int differing = 0;
        for (int y = 0; y < image.getHeight(); y += 7)
            for (int x = 0; x < image.getWidth(); x += 7)
                differing += image.getPixelAt (x, y) != ground ? 1 : 0;
        EXPECT_GT (differing, 1000);

        writePng (image, "editor-" + juce::String (juce::roundToInt (scale * 100)) + ".png");
    }

    editor->showView (1);
    juce::Image browser (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
    {
        juce::Graphics g (browser);
        editor->paintEntireComponent (g, false);
    }
    writePng (browser, "editor-browser.png");

    // The processor forgets its editor when the editor goes.
    created.reset();
    EXPECT_EQ (processor.getActiveEditor(), nullptr);
}
