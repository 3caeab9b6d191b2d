#include "WindowTestSupport.h"

#include "ui/browser/BrowseView.h"

#include <algorithm>

using namespace window_tests;
using quillon::ui::views::BrowseView;

class BrowseViewTest : public ::testing::Test
{
protected:
    BrowseViewTest()
    {
        view = std::make_unique<BrowseView> (processor, catalogue);
        view->setBounds (0, 0, 1284, 900);
        view->onClose = [this] { ++closes; };
        view->onLoadPreset = [this] (const juce::String& id) { loaded.add (id); };
    }

    BrowseView::Impl& impl() { return view->getImpl(); }

    juce::StringArray shownNames()
    {
        juce::StringArray names;
        for (const auto* e : impl().getFiltered())
            names.add (e->displayName);
        return names;
    }

    bool press (int keyCode) { return view->keyPressed (juce::KeyPress (keyCode)); }

    ScopedUserHome home;
    QuillonAudioProcessor processor;
    quillon::presets::Catalogue catalogue = quillon::presets::Catalogue::loadEmbedded();
    std::unique_ptr<BrowseView> view;
    int closes = 0;
    juce::StringArray loaded;
};

TEST_F (BrowseViewTest, OpensOnAllWithEveryPresetSortedAndTheFirstSelected)
{
    ASSERT_EQ (catalogue.totalEntries(), 68);
    EXPECT_EQ (impl().getSelectedCategoryRow(), 0);
    EXPECT_EQ (impl().getCategoryLabel (0), "ALL");
    EXPECT_EQ (impl().getCategoryCount (0), 68);
    EXPECT_EQ (impl().getFiltered().size(), 68u);
    EXPECT_EQ (impl().getSelectedIndex(), 0);
    ASSERT_NE (impl().getSelectedEntry(), nullptr);
    EXPECT_EQ (impl().getSortButtonText(), juce::String::fromUTF8 ("SORT \xc2\xb7 A\xe2\x86\x92Z"));

    const auto names = shownNames();
    for (int i = 1; i < names.size(); ++i)
        EXPECT_LE (names[i - 1].compareNatural (names[i]), 0) << names[i - 1] << " / " << names[i];
}

TEST_F (BrowseViewTest, SidebarCountsAreTheRealEntryCounts)
{
    ASSERT_EQ (impl().getCategoryRowCount(), (int) catalogue.categories.size() + 1);
    for (size_t i = 0; i < catalogue.categories.size(); ++i)
    {
        EXPECT_EQ (impl().getCategoryLabel ((int) i + 1), catalogue.categories[i].name);
        EXPECT_EQ (impl().getCategoryCount ((int) i + 1), (int) catalogue.categories[i].entries.size());
    }

    impl().selectCategory (2);
    EXPECT_EQ ((int) impl().getFiltered().size(), (int) catalogue.categories[1].entries.size());
}

TEST_F (BrowseViewTest, SearchLooksAtNameAndDescriptionIgnoringCase)
{
    impl().setSearchText ("   ");
    EXPECT_EQ (impl().getFiltered().size(), 68u);

    const auto& probe = catalogue.categories.front().entries.front();
    impl().setSearchText ("  " + probe.displayName.toUpperCase() + " ");
    const auto names = shownNames();
    EXPECT_TRUE (names.contains (probe.displayName));
    for (const auto* e : impl().getFiltered())
        EXPECT_TRUE (e->displayName.containsIgnoreCase (probe.displayName) || e->description.containsIgnoreCase (probe.displayName));

    // The search field drives the same filter.
    impl().getSearchField().setText ("zzzz-no-such-preset", true);
    pumpMessages();
    EXPECT_TRUE (impl().getFiltered().empty());
    EXPECT_EQ (impl().getSelectedIndex(), -1);
    EXPECT_EQ (impl().getSelectedEntry(), nullptr);
    EXPECT_TRUE (press (juce::KeyPress::returnKey));
    EXPECT_TRUE (loaded.isEmpty());
}

TEST_F (BrowseViewTest, RecentOrderIsTheManifestOrder)
{
    impl().toggleSort();
    EXPECT_EQ (impl().getSortButtonText(), juce::String::fromUTF8 ("SORT \xc2\xb7 RECENT"));

    const auto all = catalogue.allEntries();
    ASSERT_EQ (impl().getFiltered().size(), all.size());
    EXPECT_TRUE (std::equal (all.begin(), all.end(), impl().getFiltered().begin()));
}

TEST_F (BrowseViewTest, KeyboardSelectionScrollsAndStopsAtTheEnds)
{
    EXPECT_TRUE (press (juce::KeyPress::upKey));
    EXPECT_EQ (impl().getSelectedIndex(), 0);

    for (int i = 0; i < 80; ++i)
        press (juce::KeyPress::downKey);
    EXPECT_EQ (impl().getSelectedIndex(), 67);

    // 68 rows of 96 px, 900 - 128 visible.
    EXPECT_EQ (impl().getScrollOffset(), 68 * 96 - (900 - 128));

    const int offset = impl().getScrollOffset();
    impl().setSearchText (impl().getFiltered().front()->displayName);
    EXPECT_EQ (impl().getScrollOffset(), offset);

    EXPECT_FALSE (view->keyPressed (juce::KeyPress (juce::KeyPress::downKey, juce::ModifierKeys::shiftModifier, 0)));
}

TEST_F (BrowseViewTest, AuditionLoadsEveryClickWithoutClosing)
{
    auto& list = impl().getList();
    const auto* second = impl().getFiltered()[1];
    const float y = 96.0f + 84.0f + 40.0f; // row 1, on its AUDITION button

    processor.setPresetInfo ("before", "factory:init_clean.xml");
    setParam (processor, "filterCutoff", 55.0f);

    list.mouseDown (mouseAt (list, { 500.0f, y }));
    EXPECT_EQ (impl().getAuditionIndex(), 1);
    EXPECT_FALSE (processor.presetDirty.load());

    setParam (processor, "filterCutoff", 55.0f);
    list.mouseDown (mouseAt (list, { 500.0f, y }));
    EXPECT_EQ (impl().getAuditionIndex(), -1);
    EXPECT_FALSE (processor.presetDirty.load());

    EXPECT_EQ (closes, 0);
    EXPECT_TRUE (loaded.isEmpty());
    EXPECT_EQ (impl().getSelectedIndex(), 0);
    EXPECT_NE (second, nullptr);
}

TEST_F (BrowseViewTest, LoadPathsReportTheFileAndClose)
{
    auto& list = impl().getList();

    // A click selects, a double click loads.
    list.mouseDown (mouseAt (list, { 200.0f, 96.0f * 2 + 84.0f + 10.0f }));
    EXPECT_EQ (impl().getSelectedIndex(), 2);
    list.mouseDoubleClick (mouseAt (list, { 200.0f, 96.0f * 2 + 84.0f + 10.0f }, {}, 2));
    ASSERT_EQ (loaded.size(), 1);
    EXPECT_EQ (loaded[0], impl().getFiltered()[2]->xml);
    EXPECT_EQ (closes, 1);

    EXPECT_TRUE (press (juce::KeyPress::returnKey));
    EXPECT_EQ (loaded.size(), 2);
    EXPECT_EQ (closes, 2);

    impl().getLoadButton().triggerClick();
    pumpMessages();
    EXPECT_EQ (loaded.size(), 3);

    EXPECT_TRUE (press (juce::KeyPress::escapeKey));
    EXPECT_EQ (closes, 4);
}

TEST_F (BrowseViewTest, FavouriteIsWrittenToTheSettingsFileAtOnce)
{
    const auto* entry = impl().getSelectedEntry();
    ASSERT_NE (entry, nullptr);
    EXPECT_FALSE (impl().getFavouriteButtonState());

    // Another writer's key, written after the browser read the file, must survive the toggle.
    {
        juce::PropertiesFile other (ScopedUserHome::settingsFile(), {});
        other.setValue ("displayScale", 1.25);
        other.saveIfNeeded();
    }

    impl().getFavouriteButton().triggerClick();
    pumpMessages();
    EXPECT_TRUE (impl().getFavouriteButtonState());

    juce::PropertiesFile reread (ScopedUserHome::settingsFile(), {});
    EXPECT_TRUE (reread.getBoolValue ("fav_" + entry->xml));
    EXPECT_DOUBLE_EQ (reread.getDoubleValue ("displayScale"), 1.25);

    // Another browser sees it.
    BrowseView second (processor, catalogue);
    EXPECT_TRUE (second.getImpl().isFavourite (*entry));
}

TEST_F (BrowseViewTest, WithNothingSelectedTheStarFlipsButStoresNothing)
{
    impl().setSearchText ("zzzz-no-such-preset");
    impl().getFavouriteButton().triggerClick();
    pumpMessages();
    EXPECT_TRUE (impl().getFavouriteButtonState());
    EXPECT_FALSE (ScopedUserHome::settingsFile().loadFileAsString().contains ("fav_"));
}

TEST_F (BrowseViewTest, Snapshot)
{
    impl().getList().mouseMove (mouseAt (impl().getList(), { 500.0f, 96.0f + 84.0f + 40.0f }));
    juce::Image image (juce::Image::ARGB, 1284, 900, true);
    {
        juce::Graphics g (image);
        view->paintEntireComponent (g, false);
    }
    writePng (image, "browse-view.png");
    EXPECT_EQ (image.getPixelAt (5, 5).getAlpha(), 255);
}
