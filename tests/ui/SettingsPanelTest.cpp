#include "UiTestSupport.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/SettingsPanel.h"
#include "ui/Themes.h"

using quillon::ui::widgets::SettingsPanel;
namespace pal = quillon::palette;

namespace
{
struct SettingsPanelTest : ::testing::Test
{
    quillon::ui::LookAndFeel lookAndFeel;
    SettingsPanel panel;

    SettingsPanelTest()
    {
        panel.setLookAndFeel (&lookAndFeel);
        panel.setBounds (0, 0, 420, 636);
    }
    ~SettingsPanelTest() override
    {
        panel.setLookAndFeel (nullptr);
        pal::resetToDefaults();
    }

    int tabsOn() const
    {
        int n = 0;
        for (const auto& tab : panel.scaleTabs)
            n += tab.getToggleState() ? 1 : 0;
        return n;
    }
};
} // namespace

TEST_F (SettingsPanelTest, ScaleTabsShowOnlyAnExactStep)
{
    panel.setDisplayScale (1.0f);
    EXPECT_EQ (tabsOn(), 1);
    EXPECT_TRUE (panel.scaleTabs[1].getToggleState());
    EXPECT_EQ (panel.scaleTabs[1].getButtonText(), "100%");

    panel.setDisplayScale (1.1f);
    EXPECT_EQ (tabsOn(), 0);
    panel.setDisplayScale (std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ (tabsOn(), 0);

    // A click reports the step; only the editor's answer turns the tab on.
    float chosen = 0.0f;
    panel.onScaleSelected = [&] (float s) { chosen = s; };
    panel.scaleTabs[2].triggerClick();
    widget_tests::pumpMessages();
    EXPECT_FLOAT_EQ (chosen, 1.25f);
    EXPECT_FALSE (panel.scaleTabs[2].getToggleState());
    EXPECT_EQ (panel.scaleTabs[0].getTitle(), "75% editor scale");
}

TEST_F (SettingsPanelTest, TooltipTabs)
{
    panel.setShowTooltips (false);
    EXPECT_FALSE (panel.tooltipsOnTab.getToggleState());
    EXPECT_TRUE (panel.tooltipsOffTab.getToggleState());
    panel.setShowTooltips (true);
    EXPECT_TRUE (panel.tooltipsOnTab.getToggleState());
    EXPECT_FALSE (panel.tooltipsOffTab.getToggleState());

    std::vector<bool> reported;
    panel.onTooltipsChanged = [&] (bool show) { reported.push_back (show); };
    panel.tooltipsOffTab.triggerClick();
    widget_tests::pumpMessages();
    EXPECT_EQ (reported, std::vector<bool> { false });
    EXPECT_TRUE (panel.tooltipsOnTab.getToggleState()); // unchanged until the editor answers
    EXPECT_EQ (panel.tooltipsOnTab.getButtonText(), "On");
    EXPECT_EQ (panel.tooltipsOnTab.getName(), "ON");
}

TEST_F (SettingsPanelTest, ThemeBoxSelection)
{
    EXPECT_EQ (panel.themeBox.getNumItems(), 18);

    panel.setSelectedTheme ("untitled");
    EXPECT_EQ (panel.themeBox.getText(), "Velvet Reactor");

    panel.setSelectedTheme ("noSuchTheme");
    EXPECT_EQ (panel.themeBox.getSelectedId(), 0);
    EXPECT_EQ (panel.themeBox.getTextWhenNothingSelected(), "Theme");

    panel.setSelectedTheme ("custom");
    EXPECT_EQ (panel.themeBox.getText(), "Custom");

    juce::StringArray chosen;
    panel.onThemeSelected = [&] (const juce::String& id) { chosen.add (id); };
    panel.setSelectedTheme ("halogenMint"); // no notification
    panel.themeBox.setSelectedId (1, juce::sendNotificationSync);
    panel.themeBox.setSelectedId (18, juce::sendNotificationSync);
    EXPECT_EQ (chosen, juce::StringArray ({ "dark", "vaporDaydream" }));
}

TEST_F (SettingsPanelTest, OnlyJsonDropsReachTheEditor)
{
    juce::StringArray delivered;
    panel.onThemeFileDropped = [&] (const juce::String& path) { delivered.add (path); };

    const juce::StringArray mixed { "/tmp/a.txt", "/tmp/theme.json", "/tmp/other.json" };
    EXPECT_TRUE (panel.isInterestedInFileDrag (mixed));
    panel.filesDropped (mixed, 10, 10);
    EXPECT_EQ (delivered, juce::StringArray ({ "/tmp/theme.json" }));

    const juce::StringArray none { "/tmp/a.txt", "/tmp/json" };
    EXPECT_FALSE (panel.isInterestedInFileDrag (none));
    panel.filesDropped (none, 10, 10);
    EXPECT_EQ (delivered.size(), 1);

    panel.onThemeFileDropped = nullptr;
    panel.filesDropped (mixed, 0, 0); // no callback: nothing happens
}

TEST_F (SettingsPanelTest, LayoutAtFullSize)
{
    EXPECT_EQ (panel.closeButton.getBounds(), juce::Rectangle<int> (360, 16, 44, 44));
    EXPECT_EQ (panel.titleHeader.getBounds(), juce::Rectangle<int> (16, 16, 344, 44));
    EXPECT_EQ (panel.subtitleLabel.getBounds(), juce::Rectangle<int> (16, 60, 388, 22));
    EXPECT_EQ (panel.displayHeader.getBounds(), juce::Rectangle<int> (16, 98, 388, 22));
    EXPECT_EQ (panel.scaleTabs[0].getBounds(), juce::Rectangle<int> (16, 150, 94, 44));
    EXPECT_EQ (panel.scaleTabs[3].getBounds(), juce::Rectangle<int> (310, 150, 94, 44));
    EXPECT_EQ (panel.tooltipsOffTab.getBounds(), juce::Rectangle<int> (212, 224, 192, 44));
    EXPECT_EQ (panel.themeBox.getBounds(), juce::Rectangle<int> (16, 344, 388, 44));
    EXPECT_EQ (panel.importThemeButton.getBounds(), juce::Rectangle<int> (16, 396, 256, 44));
    EXPECT_EQ (panel.themesFolderButton.getBounds(), juce::Rectangle<int> (276, 396, 128, 44));
    EXPECT_EQ (panel.revealUserPresetsButton.getBounds(), juce::Rectangle<int> (16, 508, 388, 44));
    EXPECT_EQ (panel.versionLabel.getBounds(), juce::Rectangle<int> (16, 598, 190, 22));
    EXPECT_EQ (panel.frameworkLabel.getBounds(), juce::Rectangle<int> (214, 598, 190, 22));
    EXPECT_TRUE (panel.taglineLabel.getBounds().isEmpty());

    ASSERT_EQ (panel.getDividerCount(), 4);
    EXPECT_EQ (panel.getDividerY (0), 90);
    EXPECT_EQ (panel.getDividerY (3), 560);
}

TEST_F (SettingsPanelTest, ShortPanelSqueezesRowsAboveTheBottomMargin)
{
    panel.setBounds (0, 0, 420, 266);
    for (auto* child : panel.getChildren())
    {
        if (child->getHeight() > 0)
        {
            EXPECT_LE (child->getBottom(), 266 - 16) << child->getTitle() << " " << child->getName();
        }
    }
    EXPECT_EQ (panel.tooltipsOnTab.getBounds(), juce::Rectangle<int> (16, 224, 192, 26)); // cut short
    EXPECT_EQ (panel.revealUserPresetsButton.getHeight(), 0);

    panel.setBounds (0, 0, 20, 20); // nothing negative, nothing asserts
    for (auto* child : panel.getChildren())
        EXPECT_GE (child->getWidth(), 0);
}

TEST_F (SettingsPanelTest, CloseAndButtonsReport)
{
    juce::StringArray calls;
    panel.onClose = [&] { calls.add ("close"); };
    panel.onImportTheme = [&] { calls.add ("import"); };
    panel.onRevealThemesFolder = [&] { calls.add ("folder"); };
    panel.onRevealUserPresets = [&] { calls.add ("presets"); };
    for (auto* b : { &panel.closeButton, &panel.importThemeButton, &panel.themesFolderButton, &panel.revealUserPresetsButton })
        b->triggerClick();
    widget_tests::pumpMessages();
    EXPECT_EQ (calls, juce::StringArray ({ "close", "import", "folder", "presets" }));
    EXPECT_EQ (panel.closeButton.getButtonText(), juce::String::fromUTF8 ("\xe2\x9c\x95"));
    EXPECT_TRUE (panel.versionLabel.getText().startsWith ("Quillon 0.2.41"));
}

TEST_F (SettingsPanelTest, Snapshot)
{
    panel.setDisplayScale (1.0f);
    panel.setShowTooltips (true);

    juce::Image sheet (juce::Image::ARGB, 3 * 460, 676, true);
    {
        juce::Graphics g (sheet);
        int column = 0;
        for (const auto* theme : { "dark", "velvetReactor", "mossEraDay" })
        {
            quillon::ui::applyBuiltInTheme (theme);
            quillon::ui::applyPaletteToTree (panel);
            panel.setSelectedTheme (theme);
            g.setColour (pal::get (pal::bgGround));
            g.fillRect (column * 460, 0, 460, 676);
            g.drawImageAt (widget_tests::paintToImage (panel), column * 460 + 20, 20);
            ++column;
        }
    }
    const auto file = ui_tests::writeSnapshot (sheet, "settings-panel.png");
    EXPECT_GT (file.getSize(), 10000);
    std::cout << "settings panel: " << file.getFullPathName() << std::endl;
}
