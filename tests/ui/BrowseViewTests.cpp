#include "WindowTestSupport.h"

#include "plugin/Palette.h"
#include "ui/browser/BrowseView.h"

#include <algorithm>
#include <cmath>

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
    EXPECT_EQ (impl().getScrollOffset(), impl().getMaxScrollOffset());

    // A search that leaves few rows brings them into view rather than scrolling past them.
    impl().setSearchText (impl().getFiltered().front()->displayName);
    ASSERT_FALSE (impl().getFiltered().empty());
    EXPECT_EQ (impl().getScrollOffset(), 0);

    EXPECT_FALSE (view->keyPressed (juce::KeyPress (juce::KeyPress::downKey, juce::ModifierKeys::shiftModifier, 0)));
}

namespace
{
struct KeptSoundProbe
{
    float cutoff;
    juce::String name, source;
    bool dirty;
    int learnedParameter;
    juce::MemoryBlock state;
};

KeptSoundProbe probe (QuillonAudioProcessor& p)
{
    KeptSoundProbe k { paramValue (p, "filterCutoff"), p.getPresetName(), p.getPresetSource(),
                       p.presetDirty.load(), p.getMidiLearnMapping (20), {} };
    p.getStateInformation (k.state);
    return k;
}

void learnController20 (QuillonAudioProcessor& p, const juce::String& parameterId)
{
    p.prepareToPlay (48000.0, 64);
    p.armMidiLearn (parameterId);
    juce::AudioBuffer<float> buffer (2, 64);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 20, 64), 0);
    p.processBlock (buffer, midi);
}
} // namespace

class BrowseAudition : public BrowseViewTest
{
protected:
    BrowseAudition()
    {
        view->onSoundChanged = [this] { ++soundChanges; };

        // The user's own unsaved sound: a user preset, edited, with a learned controller.
        processor.setPresetInfo ("my bass", "user:/home/me/my bass.xml");
        learnController20 (processor, "drive");
        setParam (processor, "filterCutoff", 55.0f);
        kept = probe (processor);
    }

    // Row i's AUDITION button.
    void audition (int row)
    {
        auto& list = impl().getList();
        list.mouseDown (mouseAt (list, { 500.0f, (float) (96 * row) + 84.0f + 40.0f }));
    }

    void expectKeptSoundBack()
    {
        const auto now = probe (processor);
        EXPECT_NEAR (now.cutoff, 55.0f, 0.01f);
        EXPECT_EQ (now.name, "my bass");
        EXPECT_EQ (now.source, "user:/home/me/my bass.xml");
        EXPECT_TRUE (now.dirty);
        EXPECT_EQ (now.learnedParameter, kept.learnedParameter);
        EXPECT_TRUE (now.state == kept.state) << "the restored state differs from the kept one";
        EXPECT_FALSE (processor.hasKeptSound());
    }

    KeptSoundProbe kept;
    int soundChanges = 0;
};

TEST_F (BrowseAudition, PlaysForNowAndSwitchingOffPutsTheUsersSoundBack)
{
    ASSERT_EQ (kept.learnedParameter, processor.indexOfParameter ("drive"));
    ASSERT_TRUE (kept.dirty);
    const auto* second = impl().getFiltered()[1];
    const auto* third = impl().getFiltered()[2];

    audition (1);
    EXPECT_EQ (impl().getAuditionIndex(), 1);
    EXPECT_TRUE (impl().isAuditioning());
    // What plays is named, and is not marked modified.
    EXPECT_EQ (processor.getPresetName(), second->displayName);
    EXPECT_EQ (processor.getPresetSource(), "factory:" + second->xml);
    EXPECT_FALSE (processor.presetDirty.load());
    EXPECT_EQ (soundChanges, 1);

    // A host saving meanwhile stores the user's sound, not the one on trial.
    juce::MemoryBlock hostSave;
    processor.getStateInformation (hostSave);
    EXPECT_TRUE (hostSave == kept.state);

    // Another row auditions in its place; the sound kept is still the user's.
    audition (2);
    EXPECT_EQ (impl().getAuditionIndex(), 2);
    EXPECT_EQ (processor.getPresetName(), third->displayName);

    // A search that hides the row keeps the audition on; showing it again lights its button.
    impl().setSearchText ("zzzz-no-such-preset");
    EXPECT_EQ (impl().getAuditionIndex(), -1);
    EXPECT_TRUE (impl().isAuditioning());
    impl().setSearchText ({});
    EXPECT_EQ (impl().getAuditionIndex(), 2);

    audition (2);
    EXPECT_EQ (impl().getAuditionIndex(), -1);
    EXPECT_FALSE (impl().isAuditioning());
    expectKeptSoundBack();
    EXPECT_EQ (soundChanges, 3);

    EXPECT_EQ (closes, 0);
    EXPECT_TRUE (loaded.isEmpty());
}

TEST_F (BrowseAudition, TheRowAuditionedIsSelectedSoDetailAndLoadTakeIt)
{
    ASSERT_EQ (impl().getSelectedIndex(), 0);
    const auto* heard = impl().getFiltered()[4];

    audition (4);
    EXPECT_EQ (impl().getSelectedIndex(), 4);
    EXPECT_EQ (impl().getSelectedEntry(), heard);
    impl().getLoadButton().triggerClick();
    pumpMessages();
    ASSERT_EQ (loaded.size(), 1);
    EXPECT_EQ (loaded[0], heard->xml);
    EXPECT_FALSE (processor.hasKeptSound());

    // Return after an audition loads the one heard too.
    const auto* next = impl().getFiltered()[2];
    audition (2);
    EXPECT_TRUE (press (juce::KeyPress::returnKey));
    ASSERT_EQ (loaded.size(), 2);
    EXPECT_EQ (loaded[1], next->xml);
}

namespace
{
// RMS of the processor's output over a number of 64-sample blocks, with MIDI at the first one.
float renderLevel (QuillonAudioProcessor& p, int blocks, const juce::MidiMessage* first = nullptr)
{
    juce::AudioBuffer<float> buffer (2, 64);
    double sum = 0.0;
    for (int b = 0; b < blocks; ++b)
    {
        juce::MidiBuffer midi;
        if (b == 0 && first != nullptr)
            midi.addEvent (*first, 0);
        p.processBlock (buffer, midi);
        for (int i = 0; i < 64; ++i)
            sum += (double) buffer.getSample (0, i) * buffer.getSample (0, i);
    }
    return (float) std::sqrt (sum / (64.0 * blocks));
}
} // namespace

TEST_F (BrowseAudition, AHeldNotePlaysOnWhenTheUsersSoundComesBack)
{
    constexpr int oneSecond = 750; // blocks of 64 at 48 kHz
    view->setVisible (true);
    const auto noteOn = juce::MidiMessage::noteOn (1, 45, (juce::uint8) 100);
    renderLevel (processor, 1, &noteOn);
    const float held = renderLevel (processor, oneSecond);
    ASSERT_GT (held, 1.0e-3f);

    // Switched off at its button, then ended by closing the browser.
    for (const bool byClosing : { false, true })
    {
        SCOPED_TRACE (byClosing ? "closing the browser" : "AUDITION off");
        audition (1);
        renderLevel (processor, oneSecond / 2);
        if (byClosing)
            view->setVisible (false);
        else
            audition (1);

        ASSERT_FALSE (processor.hasKeptSound());
        EXPECT_EQ (processor.getHeldNoteCount(), 1);
        EXPECT_GT (renderLevel (processor, oneSecond), 0.5f * held) << "the held note was cut";
        view->setVisible (true);
    }

    // Its note-off still ends it.
    const auto noteOff = juce::MidiMessage::noteOff (1, 45);
    renderLevel (processor, oneSecond, &noteOff);
    EXPECT_EQ (processor.getHeldNoteCount(), 0);
    EXPECT_LT (renderLevel (processor, 75), 1.0e-4f);
}

TEST_F (BrowseAudition, ClosingWithoutLoadRestoresAndLoadCommits)
{
    // Closed (Escape, the editor's view switch) while auditioning.
    view->setVisible (true);
    audition (3);
    view->setVisible (false);
    expectKeptSoundBack();

    // LOAD commits, whichever row is selected, and closing afterwards changes nothing.
    view->setVisible (true);
    audition (3);
    const auto* selected = impl().getSelectedEntry();
    impl().getLoadButton().triggerClick();
    pumpMessages();
    ASSERT_EQ (loaded.size(), 1);
    EXPECT_EQ (loaded[0], selected->xml);
    EXPECT_FALSE (processor.hasKeptSound());
    view->setVisible (false);
    EXPECT_FALSE (processor.presetDirty.load());
    EXPECT_NE (paramValue (processor, "filterCutoff"), 55.0f);

    // A host restoring a state during an audition wins over the kept sound.
    processor.setStateInformation (kept.state.getData(), (int) kept.state.getSize());
    view->setVisible (true);
    audition (1);
    juce::MemoryBlock other;
    {
        QuillonAudioProcessor elsewhere;
        setParam (elsewhere, "filterCutoff", 777.0f);
        elsewhere.getStateInformation (other);
    }
    processor.setStateInformation (other.getData(), (int) other.getSize());
    view->setVisible (false);
    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 777.0f, 0.5f);

    // An editor closed during an audition leaves the user's sound playing.
    processor.setStateInformation (kept.state.getData(), (int) kept.state.getSize());
    view->setVisible (true);
    audition (1);
    view.reset();
    expectKeptSoundBack();
}

namespace
{
// What a window does with a key: the focused component first, then each parent in turn.
bool deliverKey (juce::Component& focused, const juce::KeyPress& key)
{
    for (auto* target = &focused; target != nullptr; target = target->getParentComponent())
        if (target->keyPressed (key))
            return true;
    return false;
}
} // namespace

TEST_F (BrowseViewTest, BrowserKeysWorkWhateverHasTheFocusInside)
{
    juce::Component* focusable[] = { &impl().getSearchField(), &impl().getLoadButton(), &impl().getFavouriteButton(),
                                     impl().getList().getChildComponent (1) };
    ASSERT_NE (focusable[3], nullptr);

    for (auto* c : focusable)
    {
        SCOPED_TRACE (c->getName());
        const int before = impl().getSelectedIndex();
        EXPECT_TRUE (deliverKey (*c, juce::KeyPress (juce::KeyPress::downKey)));
        EXPECT_EQ (impl().getSelectedIndex(), before + 1);
        EXPECT_TRUE (deliverKey (*c, juce::KeyPress (juce::KeyPress::upKey)));
        EXPECT_TRUE (deliverKey (*c, juce::KeyPress (juce::KeyPress::downKey)));
        EXPECT_EQ (impl().getSelectedIndex(), before + 1);

        const int closesBefore = closes;
        EXPECT_TRUE (deliverKey (*c, juce::KeyPress (juce::KeyPress::escapeKey)));
        EXPECT_TRUE (deliverKey (*c, juce::KeyPress (juce::KeyPress::escapeKey, juce::ModifierKeys::shiftModifier, 0)));
        EXPECT_EQ (closes, closesBefore + 2);
    }

    // Return on SORT or the star works that button and loads nothing; from the search field and the
    // list it loads the selection.
    const auto sortText = impl().getSortButtonText();
    const bool star = impl().getFavouriteButtonState();
    EXPECT_TRUE (deliverKey (*focusable[3], juce::KeyPress (juce::KeyPress::returnKey)));
    pumpMessages();
    EXPECT_NE (impl().getSortButtonText(), sortText);
    EXPECT_TRUE (deliverKey (impl().getFavouriteButton(), juce::KeyPress (juce::KeyPress::returnKey)));
    pumpMessages();
    EXPECT_NE (impl().getFavouriteButtonState(), star);
    EXPECT_EQ (loaded.size(), 0);
    EXPECT_EQ (closes, 8);

    EXPECT_TRUE (deliverKey (impl().getSearchField(), juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_TRUE (deliverKey (impl().getList(), juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_EQ (loaded.size(), 2);

    // Typing still goes into the search field.
    auto& field = impl().getSearchField();
    EXPECT_TRUE (field.keyPressed (juce::KeyPress ('q', {}, 'q')));
    EXPECT_EQ (field.getText(), "q");
}

TEST_F (BrowseViewTest, WheelScrollsTheListWithinItsEnds)
{
    auto& list = impl().getList();
    const auto notch = [&list] (float deltaY, bool smooth = false)
    {
        juce::MouseWheelDetails wheel { 0.0f, deltaY, false, smooth, false };
        list.mouseWheelMove (mouseAt (list, { 300.0f, 400.0f }), wheel);
    };

    notch (-50.0f / 256.0f); // one notch down, as X11 reports it
    EXPECT_EQ (impl().getScrollOffset(), 50);
    notch (50.0f / 256.0f);
    EXPECT_EQ (impl().getScrollOffset(), 0);
    notch (1.0f);
    EXPECT_EQ (impl().getScrollOffset(), 0);

    // A trackpad's small steps add up instead of being lost.
    for (int i = 0; i < 40; ++i)
        notch (-0.002f, true);
    EXPECT_NEAR (impl().getScrollOffset(), 20, 1);

    for (int i = 0; i < 200; ++i)
        notch (-50.0f / 256.0f);
    EXPECT_EQ (impl().getScrollOffset(), impl().getMaxScrollOffset());

    // The last row can be reached and clicked by pointer.
    list.mouseDown (mouseAt (list, { 200.0f, 900.0f - 44.0f - 20.0f }));
    EXPECT_EQ (impl().getSelectedIndex(), 67);

    // The bottom margin shows no row and takes no click, even a double click.
    impl().scrollListBy (-10000);
    list.mouseDown (mouseAt (list, { 200.0f, 900.0f - 20.0f }));
    list.mouseDoubleClick (mouseAt (list, { 200.0f, 900.0f - 20.0f }, {}, 2));
    EXPECT_EQ (impl().getSelectedIndex(), 67);
    EXPECT_TRUE (loaded.isEmpty());
    EXPECT_EQ (closes, 0);

    // A taller list needs less scrolling: the offset follows.
    impl().scrollListBy (100000);
    view->setBounds (0, 0, 1284, 4000);
    EXPECT_EQ (impl().getScrollOffset(), impl().getMaxScrollOffset());
    EXPECT_EQ (impl().getMaxScrollOffset(), 68 * 96 - (4000 - 128));
    view->setBounds (0, 0, 1284, 900);
}

TEST_F (BrowseViewTest, ASearchAfterScrollingShowsItsMatches)
{
    impl().scrollListBy (100000);
    impl().setSearchText ("reese");
    ASSERT_FALSE (impl().getFiltered().empty());

    juce::Image image (juce::Image::ARGB, 1284, 900, true);
    {
        juce::Graphics g (image);
        view->paintEntireComponent (g, false);
    }
    writePng (image, "browse-view-search-after-scroll.png");

    // The first match's row is drawn where it belongs: its selection outline at y 84.
    EXPECT_EQ (impl().getScrollOffset(), 0);
    const auto outline = quillon::palette::get (quillon::palette::accentSelection);
    EXPECT_EQ (image.getPixelAt (204 + 300, 84).getRed(), outline.getRed());
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
